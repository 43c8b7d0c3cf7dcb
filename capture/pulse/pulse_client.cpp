#include "capture/pulse/pulse_client.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>

#include <algorithm>

namespace {

// How often a waiter looks whether a stop was asked for.
constexpr pa_usec_t kStopLookUsec = 100 * 1000;

void WakeWaiter(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* mainloop) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

bool Finished(pa_operation* operation) {
  return !operation || pa_operation_get_state(operation) != PA_OPERATION_RUNNING;
}

}  // namespace

PulseClient::~PulseClient() {
  if (context_) {
    {
      Lock lock(*this);
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);  // closes the socket; waits for nothing
      pa_context_unref(context_);
    }
    context_ = nullptr;
  }
  if (mainloop_) {
    if (running_) pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
  }
}

void PulseClient::OnContextState(pa_context*, void* self) { static_cast<PulseClient*>(self)->Signal(); }

bool PulseClient::Connect(std::string& why) {
  if (mainloop_) {
    why = "already connected";
    return false;
  }
  mainloop_ = pa_threaded_mainloop_new();
  if (!mainloop_) {
    why = "out of memory for the sound server's main loop";
    return false;
  }
  pa_threaded_mainloop_set_name(mainloop_, "tapewell-pulse");
  context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Tapewell");
  if (!context_) {
    why = "out of memory for the sound server connection";
    return false;
  }
  pa_context_set_state_callback(context_, &PulseClient::OnContextState, this);
  // No server is started on our behalf: without one, PortAudio takes over.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    why = ErrorText();
    return false;
  }
  if (pa_threaded_mainloop_start(mainloop_) < 0) {
    why = "cannot start a thread for the sound server connection";
    return false;
  }
  running_ = true;
  Lock lock(*this);
  const bool settled = WaitFor([this] {
    const pa_context_state_t state = pa_context_get_state(context_);
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (!settled) {
    // Still on the way (connecting, authorizing): something is there.
    slow_ = PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
    why = "the sound server did not answer within 2 s";
    return false;
  }
  if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
    why = ErrorText();
    return false;
  }
  return true;
}

bool PulseClient::Ready() {
  if (!context_) return false;
  Lock lock(*this);
  return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseClient::WaitFor(const std::function<bool()>& done) {
  const pa_usec_t deadline =
      pa_rtclock_now() + static_cast<pa_usec_t>(std::chrono::microseconds(kServerDeadline).count());
  // The timer wakes the waiter at the deadline, and before it every 100 ms
  // to look for a stop.
  pa_time_event* timer = pa_context_rttime_new(context_, pa_rtclock_now() + kStopLookUsec, &WakeWaiter, mainloop_);
  bool ok = done();
  while (!ok && pa_rtclock_now() < deadline && !(stopRequests_ && stopRequests_->load() > 0)) {
    pa_threaded_mainloop_wait(mainloop_);
    ok = done();
    if (timer) pa_context_rttime_restart(context_, timer, std::min(deadline, pa_rtclock_now() + kStopLookUsec));
  }
  if (timer) pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
  return ok;
}

std::string PulseClient::ErrorText() const {
  return context_ ? pa_strerror(pa_context_errno(context_)) : "no connection";
}

bool PulseClient::ListSources(std::vector<InputDevice>& inputs, std::string& why) {
  struct Listing {
    PulseClient* client;
    std::string defaultSource;
    std::vector<InputDevice> sources;
  } listing{this, {}, {}};
  if (!Ready()) {
    why = "not connected to a sound server";
    return false;
  }
  Lock lock(*this);
  pa_operation* server = pa_context_get_server_info(
      context_,
      [](pa_context*, const pa_server_info* info, void* data) {
        auto* l = static_cast<Listing*>(data);
        if (info && info->default_source_name) l->defaultSource = info->default_source_name;
        l->client->Signal();
      },
      &listing);
  pa_operation* sources = pa_context_get_source_info_list(
      context_,
      [](pa_context*, const pa_source_info* info, int, void* data) {
        auto* l = static_cast<Listing*>(data);
        if (info) {
          InputDevice input;
          input.name = info->name ? info->name : "";
          input.description = info->description ? info->description : "";
          input.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
          l->sources.push_back(std::move(input));
        }
        l->client->Signal();
      },
      &listing);
  const bool complete = WaitFor([&] { return Finished(server) && Finished(sources); });
  // An unfinished query must not call back into `listing` once it is gone.
  for (pa_operation* operation : {server, sources}) {
    if (!operation) continue;
    if (!complete) pa_operation_cancel(operation);
    pa_operation_unref(operation);
  }
  if (!server || !sources) {
    why = ErrorText();
    return false;
  }
  if (!complete) {
    why = "the sound server did not list its inputs within 2 s";
    return false;
  }
  for (InputDevice& input : listing.sources) input.isDefault = input.name == listing.defaultSource;
  inputs = std::move(listing.sources);
  return true;
}
