// Whether the track file being written is still where the recorder put it.
// A file deleted or moved while it is open takes every frame written into it
// along: the writer's writes still succeed, so only a look at the path tells.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class TrackFileWatch {
 public:
  /// How often the path is looked at by default: a live capture buffer
  /// (8,192 frames, 186 ms at 44.1 kHz) is longer, so live recordings look at
  /// every buffer, while a fast replay's thousands of buffers a second cost a
  /// few looks rather than one file-system lookup each.
  static constexpr std::chrono::milliseconds kLookEvery{100};

  /// A watch that looks at the path at most once per `lookEvery` (0: at
  /// every StillThere) and answers from its last look in between.
  explicit TrackFileWatch(std::chrono::milliseconds lookEvery = kLookEvery) : lookEvery_(lookEvery) {}

  /// Remembers which file `path` names now (right after it was created).
  /// False when the path names nothing (the watch then reports it lost).
  bool Watch(const std::string& path);
  /// True while the remembered path still names the very file it named at
  /// Watch: not deleted, not moved, not replaced by another file. A change
  /// is seen at the first call after `lookEvery` has passed since the last
  /// look; once lost, the file stays lost until the next Watch.
  bool StillThere();
  /// As StillThere, but looks at the path now whatever the interval (before
  /// the file is closed, so that no late change goes unseen).
  bool LookNow();

 private:
  std::chrono::milliseconds lookEvery_;
  std::string path_;
  uint64_t device_ = 0;  // the file's identity at Watch
  uint64_t inode_ = 0;
  bool watching_ = false;  // false before Watch, and once the file is lost
  std::chrono::steady_clock::time_point lastLook_{};
};
