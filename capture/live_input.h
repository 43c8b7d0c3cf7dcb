// The audio input a front end records from: the sound server's own protocol
// (PulseAudio, or PipeWire through pipewire-pulse) whenever a server answers,
// PortAudio (plain ALSA or JACK) otherwise. TAPEWELL_AUDIO=pulse or
// TAPEWELL_AUDIO=portaudio in the environment forces one of them. On Windows:
// the system's wave-input service (capture/winmm/live_input_win.cpp).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/input_devices.h"
#include "capture/wave_in.h"

enum class LiveBackend { SoundServer, PortAudio, WindowsWaveIn };

struct LiveInput {
  LiveBackend backend = LiveBackend::PortAudio;
  std::unique_ptr<WaveInService> service;
  /// Lists the backend's inputs into `inputs`; false with the reason in `why`.
  bool List(std::vector<InputDevice>& inputs, std::string& why) const;
  /// "sound server", "PortAudio audio system" or "wave-input service", for
  /// messages ("the ... has no input").
  const char* BackendName() const;
};

/// Asked each time a sound server was reached but did not answer in time:
/// true to try again, false to give up on it. PortAudio is never taken
/// instead, since its way to the same server would hang as well.
using SlowServerWait = std::function<bool()>;

/// Chooses the backend and makes its service, recording from the input
/// called `device` (empty: the default input; on Windows a device's number
/// or its name, and the wave mapper's input when none is called so).
/// PortAudio is chosen only when no sound server answers at all; a server
/// that answers slowly is waited for as long as `keepWaiting` says (empty:
/// not at all), and when given up on, it stays the backend and its Open
/// reports the reason.
LiveInput ChooseLiveInput(const std::string& device, const SlowServerWait& keepWaiting = {});

/// Makes the sound server backend's waits (connection, stream set-up) end
/// early once `*stopRequests` is above 0, so that a stop asked for by a
/// signal never waits on a stalled server. Null: waits run to their deadline.
void SetLiveInputStopRequests(const std::atomic<int>* stopRequests);
