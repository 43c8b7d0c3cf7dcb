// The live input on Windows: the system's wave-input service, from the wave
// mapper's input or from the device named by its number or its name.
#include "capture/live_input.h"
#include "capture/winmm/winmm_wave_in.h"

// No sound server here: `keepWaiting` is never asked.
LiveInput ChooseLiveInput(const std::string& device, const SlowServerWait&) {
  LiveInput input;
  input.backend = LiveBackend::WindowsWaveIn;
  uint32_t number = WinmmWaveInService::kWinmmMapper;
  if (!device.empty()) {
    const std::vector<InputDevice> inputs = ListWinmmInputs();
    if (const InputDevice* found = FindInput(inputs, device)) number = static_cast<uint32_t>(found - inputs.data());
  }
  input.service = std::make_unique<WinmmWaveInService>(number);
  return input;
}

bool LiveInput::List(std::vector<InputDevice>& inputs, std::string&) const {
  inputs = ListWinmmInputs();
  return true;
}

const char* LiveInput::BackendName() const { return "wave-input service"; }
