// The recorder engine with a terminal for a window: the file line and the
// silence indicator become lines on standard output whenever they change,
// and on a terminal a progress line is kept up to date in place.
#pragma once

#include <cstdio>
#include <string>

#include "cli/wakeup_queue.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/string_table.h"

class TerminalRecorder : public RecorderEngine {
 public:
  TerminalRecorder(const NamingServices& naming, Language language, std::FILE* out, bool progress);

  int lengthPos = 1;  // silence length, tenths of a second
  int levelPos = 7;   // silence level, threshold 2^level
  WakeupQueue queue;
  /// The input level shown in the progress line (fed only on a terminal);
  /// reset with the capture rate before each recording.
  LevelMeter meter;

  /// Frames handed to the engine so far in this recording.
  int64_t framesHandled = 0;
  /// Redraws the progress line (only on a terminal). `dropped`: frames lost so far.
  void ShowProgress(uint64_t dropped);
  /// Ends the progress line so that ordinary lines follow cleanly.
  void EndProgress();
  /// Prints one event line.
  void PrintLine(const std::string& text);

 protected:
  void UpdateData(bool saveAndValidate) override;
  void SetSilentLampText(const std::string& text) override;
  int SilenceLengthPos() override { return lengthPos; }
  int SilenceLevelPos() override { return levelPos; }
  std::string LoadString(int id) override { return LoadTableString(id, language_); }
  HWND NoticeWindow() override { return &queue; }

 private:
  Language language_;
  std::FILE* out_;
  bool progress_;
  bool progressShown_ = false;
  std::string shownFile_;
  std::string lamp_;
};
