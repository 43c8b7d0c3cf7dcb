// The recording's track list for scripts and audio editors: a CUE sheet
// (--cue) and a label file (--labels, start and end in seconds, tab-separated,
// one line a track). Both are rewritten whole at every completed track, into
// a temporary file renamed over the old one, so that the files on disk are
// always complete and true up to the last completed track, even after the
// recorder was killed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedTrack {
  std::string path;    // the track file as the recorder named it
  int64_t firstFrame;  // its first frame in the recording
  int64_t frames;      // its length
};

/// The CUE sheet text: a FILE … WAVE, TRACK nn AUDIO and INDEX 01 00:00:00
/// per track file, with REM lines giving its first frame in the recording
/// and its length in frames. Paths in `cueFolder` are given by name alone.
std::string CueSheetText(const std::vector<ListedTrack>& tracks, int32_t rate, const std::string& cueFolder);

/// The label file text: "start<TAB>end<TAB>name" per track, seconds with six
/// decimals, the name being the track file's name.
std::string LabelFileText(const std::vector<ListedTrack>& tracks, int32_t rate);

/// Writes `text` to a temporary file beside `path` and renames it over
/// `path`. False with the reason in `why` when that fails.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& why);

/// The path of a file kept beside the track `trackPath` (a .wav): the same
/// path with `extension` (".cue", ".txt") in place of its own.
std::string BesideTrack(const std::string& trackPath, const std::string& extension);

class TrackList {
 public:
  /// Either path may be empty: that file is not written.
  TrackList(std::string cuePath, std::string labelsPath, int32_t rate);

  /// Writes both files with no track. False with the path and the reason in `why`.
  bool Start(std::string& why);
  /// Adds a completed track and rewrites both files. False as Start.
  bool Add(const ListedTrack& track, std::string& why);
  const std::vector<ListedTrack>& Tracks() const { return tracks_; }

 private:
  bool Rewrite(std::string& why);

  std::string cuePath_, labelsPath_;
  int32_t rate_;
  std::vector<ListedTrack> tracks_;
};
