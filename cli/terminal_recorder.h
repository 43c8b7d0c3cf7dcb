// The recorder engine with a terminal for a window: the file line and the
// silence indicator become event lines on standard output whenever they
// change, each with the recording time and the frame position where it
// happened, and a progress line shows on standard error. Everything goes
// through an OutputWriter, so a reader that stops reading never holds up the
// buffers.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/output_writer.h"
#include "cli/wakeup_queue.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/string_table.h"

class DryRunReport;
class TrackList;

/// How the progress line shows: not at all, redrawn in place on a terminal,
/// or as a plain line every few seconds.
enum class ProgressMode { Off, InPlace, Plain };

class TerminalRecorder : public RecorderEngine {
 public:
  TerminalRecorder(const NamingServices& naming, Language language, OutputWriter& output, ProgressMode progress);

  /// Seconds between two plain progress lines.
  static constexpr int kPlainProgressSeconds = 5;

  int lengthPos = 1;  // silence length, tenths of a second
  int levelPos = 7;   // silence level, threshold 2^level
  WakeupQueue queue;
  /// The input level shown in the progress line (fed only when it shows);
  /// reset with the capture rate before each recording.
  LevelMeter meter;
  /// Frames handed to the engine so far in this recording.
  int64_t framesHandled = 0;
  /// The terminal's width for the in-place progress line.
  int columns = 80;
  /// Said at the end of the progress line when not empty ("disk 6.2 s behind").
  std::string progressNote;
  /// When set, told of every completed track (--cue, --labels).
  TrackList* trackList = nullptr;
  /// When set, a dry run: told of the tracks and the frames, and no event line is printed.
  DryRunReport* dryRun = nullptr;
  /// Why the last rewrite of the track list failed, or "" (the recording goes
  /// on, and the next track change tries again).
  std::string trackListError;
  bool trackListTold = false;  // a failed rewrite of the track list was said

  /// Shows the progress line when it is due. `dropped`: frames lost so far.
  void ShowProgress(uint64_t dropped);
  /// Takes the progress line away so that ordinary lines follow cleanly.
  void EndProgress();
  /// Prints one event line with the current recording time and frame position.
  void PrintLine(const std::string& text);
  /// Prints one event line with the recording time and position of `frame`.
  void PrintLineAt(const std::string& text, int64_t frame);

 protected:
  void UpdateData(bool saveAndValidate) override;
  void SetSilentLampText(const std::string& text) override;
  int SilenceLengthPos() override { return lengthPos; }
  int SilenceLevelPos() override { return levelPos; }
  std::string LoadString(int id) override { return LoadTableString(id, language_); }
  HWND NoticeWindow() override { return &queue; }
  void TrackStarted(TrackStart cause, int64_t silenceFrames) override;
  void TrackCompleted(const std::string& path, int64_t firstFrame, int64_t frames) override;
  void RecordingEnded(RecordingEnd why) override;
  void FramesWalked(const uint8_t* frames, uint32_t count) override;
  void SilenceNotSplit(int64_t start, int64_t frames, Unsplit why) override;
  void LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb) override;

 private:
  Language language_;
  OutputWriter& output_;
  ProgressMode progress_;
  std::chrono::steady_clock::time_point nextPlain_{};
  std::string shownFile_;
  std::string lamp_;
};
