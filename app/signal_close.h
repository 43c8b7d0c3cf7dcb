// SignalClose: ends the window cleanly on SIGINT, SIGTERM or SIGHUP (Ctrl-C
// in the terminal that started it, a logout, a closed terminal), so that a
// recording in progress is completed rather than cut off.
#pragma once

#include <csignal>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

class SignalClose {
 public:
  /// While the object lives, each of the three signals calls `close` on the
  /// user-interface thread (from its event loop). The signal handler only
  /// writes a byte to a pipe. If the pipe cannot be made, `why` names the
  /// cause and the signals keep their old actions.
  SignalClose(std::function<void()> close, std::string& why);
  /// Puts back the signals' previous actions and closes the pipe.
  ~SignalClose();
  SignalClose(const SignalClose&) = delete;
  SignalClose& operator=(const SignalClose&) = delete;

  /// True when the three signals are caught.
  bool Active() const { return active_; }

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  std::function<void()> close_;
  int pipe_[2] = {-1, -1};  // written by the handler, read by the user-interface thread
  struct sigaction saved_[3] = {};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool active_ = false;
};
