// The audio input a front end records from: the sound server's own protocol
// (PulseAudio, or PipeWire through pipewire-pulse) whenever a server answers,
// PortAudio (plain ALSA or JACK) otherwise. TAPEWELL_AUDIO=pulse or
// TAPEWELL_AUDIO=portaudio in the environment forces one of them. On Windows:
// the system's wave-input service (capture/live_input_win.cpp).
#pragma once

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

/// Chooses the backend and makes its service, recording from the input
/// called `device` (empty: the default input; on Windows a device's number
/// or its name, and the wave mapper's input when none is called so).
LiveInput ChooseLiveInput(const std::string& device);
