// The wave-input layer over the system's own wave-input service on Windows
// (winmm): the wave mapper's default input or a device chosen by number,
// 16-bit stereo. The ring's
// headers go to the service as they are; it fills them in queue order and
// returns them through its callback, which only forwards to the ring's.
//
// The service reports no lost device, so a watchdog does: a device that
// returns no buffer for 2 s while one is queued (10 s before its first) is
// reported as lost (MM_WIM_ENDED, WIM_DEVICE_LOST).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/input_devices.h"
#include "capture/wave_in.h"

/// The service's input devices: each one's number as its name, its own name
/// (waveInGetDevCapsW) as description and alias, and the wave mapper's
/// preferred device marked as the default.
std::vector<InputDevice> ListWinmmInputs();

class WinmmWaveInService : public WaveInService {
 public:
  /// Device number kWinmmMapper records from the wave mapper's input (the one
  /// chosen in Windows' sound settings), any other from that device.
  static constexpr uint32_t kWinmmMapper = 0xFFFFFFFFu;
  explicit WinmmWaveInService(uint32_t device = kWinmmMapper);
  ~WinmmWaveInService() override;

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;
  /// The service's own words for the last failure, with what to check.
  std::string LastError() const override;

  class Device;

 private:
  uint32_t deviceNumber_;
  std::unique_ptr<Device> device_;
  std::string lastError_;
};
