#include "win/wave_in_setup.h"

#include "capture/live_input.h"

WaveInSetup::WaveInSetup(const std::string& device) {
  LiveInput input = ChooseLiveInput(device);
  if (!device.empty()) {
    std::vector<InputDevice> inputs;
    std::string why;
    if (input.List(inputs, why) && !FindInput(inputs, device)) {
      problem_ = std::string("The ") + input.BackendName() + " has no input named '" + device +
                 "' (tapewell-rec --list-devices lists them). The window records from the default input.";
    }
  }
  service_ = std::move(input.service);
  device_ = problem_.empty() ? device : std::string();
  SetWaveInService(service_.get());
}

WaveInSetup::~WaveInSetup() { SetWaveInService(nullptr); }

void WaveInSetup::Choose(const std::string& device) {
  if (device == device_) return;
  // The new input is in place before the one it replaces goes.
  std::unique_ptr<WaveInService> next = ChooseLiveInput(device).service;
  SetWaveInService(next.get());
  service_ = std::move(next);
  device_ = device;
}
