// Whether the track file being written is still where the recorder put it.
// A file deleted or moved while it is open takes every frame written into it
// along: the writer's writes still succeed, so only a look at the path tells.
#pragma once

#include <cstdint>
#include <string>

class TrackFileWatch {
 public:
  /// Remembers which file `path` names now (right after it was created).
  /// False when the path names nothing (the watch then reports it lost).
  bool Watch(const std::string& path);
  /// True while the remembered path still names the very file it named at
  /// Watch: not deleted, not moved, not replaced by another file.
  bool StillThere() const;

 private:
  std::string path_;
  uint64_t device_ = 0;  // the file's identity at Watch
  uint64_t inode_ = 0;
  bool watching_ = false;
};
