// What tapewell-rec says about a replay's input before it records: a layout
// it cannot keep (named, with a command that converts it to one it can),
// an input without frames, and a file that holds fewer frames than its
// header states.
#pragma once

#include <string>

#include "capture/replay/replay_input.h"
#include "recorder/string_table.h"

/// Why the input at `path` ("-": standard input) with `layout` cannot be
/// recorded, in `language`, or "" when it can.
std::string InputLayoutProblem(const std::string& path, const ReplayLayout& layout, Language language);

/// A command that turns the input at `path` into a layout that is kept: an
/// encoding that is kept keeps its bits and loses all channels but the first
/// two (named after it with "-stereo.wav" at the end); any other becomes
/// 16-bit PCM with at most two channels ("-16bit.wav"). sox for PCM, floats
/// and the like; ffmpeg for compressed formats, which Debian's sox cannot
/// read. For standard input, a filter for a pipe.
std::string ConversionCommand(const std::string& path, const ReplayLayout& layout);

/// The note for a file that holds fewer frames than its header states, or ""
/// when it holds them all.
std::string InputShortNote(const std::string& path, const ReplayLayout& layout, Language language);
