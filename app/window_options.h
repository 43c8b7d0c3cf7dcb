// The window's long options, spelled as in tapewell-rec: --auto-track,
// --length N, --level P, --silence-below DB|auto, --lead-in SEC,
// --min-track SEC, --trim, --stop-after-silence SEC, --cue FILE and
// --labels FILE, each value in the next argument or attached with "=".
// They are taken out of the arguments before the short options are scanned,
// so that a value ("/home/me/side.cue", "-40") is never read as one.
#pragma once

#include <string>
#include <vector>

#include "recorder/split_options.h"
#include "recorder/split_settings.h"

/// What the long options set up; the defaults are the window's own.
struct WindowOptions {
  bool autoTrack = false;   // the automatic track numbering check box
  int lengthPos = 1;        // the silence length slider (tenths of a second)
  int levelPos = 7;         // the silence level slider (2^levelPos)
  SplitSettings split;      // the engine's split settings for every Record
  std::string cue, labels;  // the track list files, "" for none
  std::string device;       // the input (-d), "" for the default
};

/// What either window's Options dialog edits: how the next Record splits,
/// where it records from, and whether a track list is kept.
struct RecordingChoices {
  SplitSettings split;
  std::string device;          // the input's name; "" for the default input
  bool keepTrackList = false;  // a CUE sheet and a label file beside the tracks
};

/// Why the long options could not all be taken.
struct WindowOptionProblem {
  SplitOptionError error = SplitOptionError::None;  // a bad value
  std::string missingValue;                         // or the option whose value is missing
  std::string typed;                                // the bad value as typed
  bool Any() const { return error != SplitOptionError::None || !missingValue.empty(); }
};

/// Takes every long option the window knows, with its value, out of `args`
/// (the arguments after the program's name) and fills `options`; other
/// arguments stay, in order. Returns what was wrong, if anything: when a
/// value is bad, no slider position nor split setting is taken from them.
WindowOptionProblem TakeWindowOptions(std::vector<std::string>& args, WindowOptions& options);

/// The long options TakeWindowOptions knows, as "--name", in the order above.
const std::vector<std::string>& WindowLongOptions();
