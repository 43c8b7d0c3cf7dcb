// One connection to a sound server that speaks the PulseAudio protocol
// (PulseAudio itself, or PipeWire through pipewire-pulse), on libpulse's
// threaded main loop.
//
// Every wait on the server has a deadline: pa_threaded_mainloop_wait has
// none of its own, so a timer on the loop wakes the waiter when the time is
// up. A stalled server therefore costs at most the deadline, never a hang.
#pragma once

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "capture/input_devices.h"

class PulseClient {
 public:
  /// How long a connection, a listing or a stream set-up may take.
  static constexpr std::chrono::milliseconds kServerDeadline{2000};

  PulseClient() = default;
  ~PulseClient();
  PulseClient(const PulseClient&) = delete;
  PulseClient& operator=(const PulseClient&) = delete;

  /// Connects to the server named by the environment (PULSE_SERVER) or the
  /// user's default one, without starting a server. Returns true when the
  /// connection is ready within kServerDeadline; otherwise false with the
  /// reason in `why`.
  bool Connect(std::string& why);

  /// After a failed Connect: true when a server was there but did not
  /// answer in time (stalled, or busy), false when nothing answered at all.
  bool ServerSlow() const { return slow_; }

  /// Makes every wait on the server end early, as a failure, once
  /// `*stopRequests` is above 0 (a stop asked for by a signal). Null: waits
  /// run to their deadline.
  static void SetStopRequests(const std::atomic<int>* stopRequests) { stopRequests_ = stopRequests; }

  /// True while the connection is up (false once the server went away).
  bool Ready();

  /// Lists the server's sources (monitors of outputs included) into `inputs`,
  /// the default source marked. False with the reason in `why`.
  bool ListSources(std::vector<InputDevice>& inputs, std::string& why);

  pa_context* context() const { return context_; }
  pa_threaded_mainloop* mainloop() const { return mainloop_; }

  /// Holds the main loop's lock: the loop's thread runs no callback meanwhile.
  class Lock {
   public:
    explicit Lock(const PulseClient& client) : mainloop_(client.mainloop_) { pa_threaded_mainloop_lock(mainloop_); }
    ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    pa_threaded_mainloop* mainloop_;
  };

  /// With the lock held: waits until `done()` is true, kServerDeadline has
  /// passed or a stop was asked for (SetStopRequests). Whatever `done` looks at must be changed by callbacks that call
  /// Signal(). Returns done().
  bool WaitFor(const std::function<bool()>& done);

  /// Wakes a WaitFor; called from callbacks on the loop's thread.
  void Signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

  /// The text of the connection's last error.
  std::string ErrorText() const;

 private:
  static void OnContextState(pa_context* context, void* self);

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  bool running_ = false;  // the loop's thread is started
  bool slow_ = false;     // the last Connect ran out of time while the server was reached
  static inline const std::atomic<int>* stopRequests_ = nullptr;
};
