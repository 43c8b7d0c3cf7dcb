#include "capture/live_input.h"

#include <cstdlib>
#include <cstring>

#include "capture/portaudio/portaudio_wave_in.h"
#include "capture/pulse/pulse_client.h"
#include "capture/pulse/pulse_wave_in.h"

LiveInput ChooseLiveInput(const std::string& device, const SlowServerWait& keepWaiting) {
  const char* forced = std::getenv("TAPEWELL_AUDIO");
  const bool onlyPortAudio = forced && std::strcmp(forced, "portaudio") == 0;
  const bool onlyPulse = forced && std::strcmp(forced, "pulse") == 0;
  LiveInput input;
  if (!onlyPortAudio) {
    auto pulse = std::make_unique<PulseWaveInService>(device);
    bool connected = pulse->Connect();
    while (!connected && pulse->ServerSlow() && keepWaiting && keepWaiting()) connected = pulse->Connect();
    if (connected || onlyPulse || pulse->ServerSlow()) {
      input.backend = LiveBackend::SoundServer;
      input.service = std::move(pulse);
      return input;
    }
  }
  input.backend = LiveBackend::PortAudio;
  input.service = std::make_unique<PortAudioWaveInService>(device);
  return input;
}

bool LiveInput::List(std::vector<InputDevice>& inputs, std::string& why) const {
  if (backend == LiveBackend::PortAudio) return ListPortAudioInputs(inputs, why);
  auto* pulse = static_cast<PulseWaveInService*>(service.get());
  if (pulse->ListInputs(inputs)) return true;
  why = pulse->LastError();
  return false;
}

const char* LiveInput::BackendName() const {
  return backend == LiveBackend::SoundServer ? "sound server" : "PortAudio audio system";
}

void SetLiveInputStopRequests(const std::atomic<int>* stopRequests) { PulseClient::SetStopRequests(stopRequests); }
