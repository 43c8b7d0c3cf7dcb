// The wave-input layer over PortAudio: the system's default input device,
// 16-bit stereo, 8,192-frame callbacks.
//
// The audio callback copies frames into the oldest queued buffer and passes
// full buffers to a delivery thread through a lock-free queue; it allocates
// nothing, takes no lock and does no I/O. Frames that arrive while no buffer
// is queued are dropped and counted. The delivery thread returns buffers
// through the device callback and watches the device: a stream that fails,
// finishes, or stops delivering frames for 2 s (10 s before its first frames)
// is reported as lost.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture/input_devices.h"
#include "capture/wave_in.h"

/// PortAudio's input devices into `inputs` (the default one marked); false
/// with the reason in `why`.
bool ListPortAudioInputs(std::vector<InputDevice>& inputs, std::string& why);

class PortAudioWaveInService : public WaveInService {
 public:
  /// `deviceName`: the input device to record (a name ListPortAudioInputs
  /// gives), or empty for the default input.
  explicit PortAudioWaveInService(std::string deviceName = {});
  ~PortAudioWaveInService() override;

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;

  std::string LastError() const override { return lastError_; }

  class Device;

 private:
  std::unique_ptr<Device> device_;
  std::string deviceName_;
  std::string lastError_;
  bool initialized_ = false;
};
