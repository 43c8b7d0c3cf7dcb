// The terminal recorder's progress line: recording time, track number, input
// level, the file being written and the frames dropped. On a terminal it is
// fitted to the width so that it never wraps; elsewhere it is a plain line.
#pragma once

#include <cstdint>
#include <string>

struct ProgressParts {
  int64_t frames = 0;    // frames recorded so far
  int32_t rate = 44100;  // Hz
  std::string track;     // "track 3", in the user's language
  std::string level;     // the level meter's text, or empty
  std::string path;      // the file being written
  std::string dropped;   // "dropped 0", in the user's language
  std::string note;      // "disk 6.2 s behind", or empty
};

/// "HH:MM:SS" for `frames` at `rate` Hz, with ".mmm" when `millis`; hours
/// go past 99 when they must. "--:--:--" for a rate of 0 or less.
std::string RecordingTime(int64_t frames, int32_t rate, bool millis);

/// Every part, separated by two blanks: the plain status line.
std::string PlainProgressLine(const ProgressParts& parts);

/// The line for a terminal `columns` wide, at most columns - 1 columns (the
/// cursor never reaches the last column, so nothing wraps): the path is
/// shortened from the left ("…" and its end) first, then the level and then
/// the path are left out, and what still does not fit is cut. Empty when
/// `columns` is below 2.
std::string FittedProgressLine(const ProgressParts& parts, int columns);

