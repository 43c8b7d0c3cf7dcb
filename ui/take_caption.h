// What the window says about a take while it runs, after it and when it
// fails: the caption's status (recording time, track number, frames
// dropped), its summary of the take, the reason a recording could not start
// or go on, as tapewell-rec prints it, and the sliders' values in seconds
// and dBFS. No widget here: the dialog shows the results.
#pragma once

#include <cstdint>
#include <string>

#include "capture/stop_catch_up.h"
#include "recorder/recorder_engine.h"
#include "recorder/string_table.h"

/// `pattern` (string IDS_TAKE_STATUS: %1 time, %2 track, %3 dropped; or
/// IDS_TAKE_SUMMARY: %1 length, %2 tracks, %3 dropped) filled with the
/// recording time of `frames` at `rate` Hz as HH:MM:SS, `track` and `dropped`.
std::string TakeStatusText(const std::string& pattern, int64_t frames, int32_t rate, int track, uint64_t dropped);

/// `pattern` (string IDS_LENGTH_VALUE: %1 seconds) filled with the silence
/// length of slider position `position` (tenths of a second): "1.5".
std::string SilenceLengthText(const std::string& pattern, int position);

/// `pattern` (string IDS_LEVEL_VALUE: %1 threshold, %2 power, %3 dBFS)
/// filled for slider position `position` (the threshold is 2^position of a
/// 16-bit sample's full scale): "128", "7", "-48.2".
std::string SilenceLevelText(const std::string& pattern, int position);

/// What the caption and the progress line add about a running take with
/// `handled` frames written at `rate` Hz, in `language`: what is still to be
/// written after a stop ("writing the last 7.4 s…"), else how far the disk
/// is behind when that is kBehindSeconds or more ("disk 6.2 s behind"), else "".
std::string TakeProgressNote(WaveInService& service, const StopCatchUp& catchUp, int64_t handled, int32_t rate,
                             Language language);

/// Why a recording ended in `end`, in `language`, or "" when it did not fail:
/// the track file `path` and the system's reason (`fileErrno`, 0 for out of
/// memory) when it could not be created or written, else `captureError` (the
/// capture backend's last error) when the capture failed.
std::string TakeFailureReason(RecordingEnd end, Language language, const std::string& path, int fileErrno,
                              const std::string& captureError);
