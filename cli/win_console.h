// The console of tapewell-rec on Windows, with no Windows type in sight (the
// recorder's own headers re-create names that <windows.h> also declares).
#pragma once

#include <atomic>

namespace winconsole {

/// An auto-reset event for waking the main loop; null when it cannot be made.
void* CreateWakeEvent();
/// Sets the event; safe from any thread.
void SetWakeEvent(void* event);
void CloseWakeEvent(void* event);

/// Ctrl-C, Ctrl-Break, closing the console window, log-off and shut-down
/// each call `onStop` (on the handler's own thread) and set `wakeEvent`; the
/// process is not ended by them, so the recording completes its files.
void InstallStopHandler(void (*onStop)(), void* wakeEvent);

/// Single key presses from the console, without waiting for Enter or echoing
/// them; the console's modes are restored when the object goes. Standard
/// output takes UTF-8 and the terminal's escape sequences while it lives.
class ConsoleSession {
 public:
  explicit ConsoleSession(bool readKeys);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;
  /// Whether keys are read from a console (false for a pipe or a file).
  bool ReadsKeys() const { return keysActive_; }

 private:
  bool keysActive_ = false;
  unsigned long savedInputMode_ = 0;
  bool outputModeSaved_ = false;
  unsigned long savedOutputMode_ = 0;
  unsigned savedOutputCodePage_ = 0;
};

/// Waits up to `milliseconds` for `wakeEvent`, or for console input too when
/// `withKeys`.
void Wait(void* wakeEvent, bool withKeys, unsigned milliseconds);

/// The next key pressed in the console, or 0 when none is waiting. Enter is '\n'.
char TakeKey();

/// Whether standard output is a console.
bool StdoutIsConsole();

}  // namespace winconsole
