// The recorder behind the Win32 dialog: the shared RecorderEngine with the
// dialog's controls as its window. The dialog's window procedure (which
// sees <windows.h>) talks to it through this header only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/window_options.h"

class LevelMeter;

class DialogEngine {
 public:
  /// The engine for the dialog window `dialog` (its HWND).
  static std::unique_ptr<DialogEngine> Create(void* dialog);
  virtual ~DialogEngine() = default;

  /// The start-up steps that are the recorder's: port, rate, first name,
  /// serial format, the option scan of `commandLine`, the capture state and
  /// the control register's start-up read. Returns false when the register
  /// cannot be reached, with `reason` saying why in the UI's language (the
  /// boxes are then unchecked).
  virtual bool InitRecorder(const std::string& commandLine, std::string& reason) = 0;
  /// Copies the members into the controls (UpdateData(FALSE)).
  virtual void ShowMembers() = 0;
  /// The long options' settings for every Record: the automatic numbering
  /// check box (shown by ShowMembers), the split settings and the track list.
  virtual void SetStartOptions(const WindowOptions& options) = 0;
  /// What the Options dialog shows: the split settings and whether a track
  /// list is kept beside each take's first track (the input is WaveInSetup's).
  virtual RecordingChoices Choices() const = 0;
  /// Takes what the Options dialog gave, for the next Record.
  virtual void TakeChoices(const RecordingChoices& chosen) = 0;
  /// The input's level: fed by the take while recording.
  virtual LevelMeter& Meter() = 0;
  /// True while a take runs.
  virtual bool Recording() const = 0;
  /// The rate the next take records at, in Hz.
  virtual int Rate() const = 0;

  virtual void OnRecord() = 0;
  /// Stop: the take ends once everything captured before it is written; a
  /// second Stop gives up on what is left (counted as dropped).
  virtual void OnStop() = 0;
  virtual void OnTrackMark() = 0;
  virtual void OnRate32k() = 0;
  virtual void OnRate44k() = 0;
  virtual void OnRate48k() = 0;
  /// WM_BUFFER_DONE: WM_USER with wParam MM_WIM_DATA; returns 1.
  virtual intptr_t OnBufferDone(uintptr_t wParam, intptr_t lParam) = 0;
  /// The capture ended by itself (device lost).
  virtual void OnCaptureEnded(uintptr_t wParam) = 0;
  /// A click on either MPEG box: the register's read-modify-write. False with
  /// `why` when the card refused.
  virtual bool WriteControlRegister(std::string& why) = 0;
  /// Browse, before the browser: reads the controls and returns the initial
  /// selection (the folder without its trailing backslash).
  virtual std::string BeginBrowse() = 0;
  /// Browse, after it: `chosen` is the path picked (nothing when cancelled);
  /// the folder and the next free name are shown.
  virtual void EndBrowse(const std::optional<std::string>& chosen) = 0;
  /// The window is asked to close: true when it may close now; while a
  /// recording's stop catches up, false, and the window is sent WM_CLOSE
  /// again once the take has ended (a second close gives up on the rest).
  virtual bool StopBeforeClose() = 0;
  /// The window is closing: a running recording is stopped and its file completed.
  virtual void CloseRecording() = 0;

  /// WM_USER + wParam MM_WIM_DATA: the notice of a completed capture buffer.
  static bool IsBufferNotice(uint32_t message, uintptr_t wParam);
  /// The message number of the capture-ended notice (from WM_APP up).
  static uint32_t CaptureEndedMessage();
};
