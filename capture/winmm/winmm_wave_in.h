// The wave-input layer over the system's own wave-input service on Windows
// (winmm): the wave mapper's default input or a device chosen by number,
// 16-bit stereo.
//
// The service fills buffers of the layer's own (3.2 s of them, always
// queued); a pump thread pours each one it returns into the capture feed
// (capture/capture_feed.h), which fills the ring's buffers in order and
// keeps what finds none in the slack below them, and queues it again at
// once. A writer that stalls on the disk therefore never leaves the service
// without a buffer; only frames that do not fit into the slack are lost, and
// counted. A stop knows how many frames were captured before it (the
// service's position), so the take ends there, however long the disk takes.
//
// The service reports no lost device, so a watchdog does: a device that
// returns no buffer for 2 s (10 s before its first; time this process did
// not run at all is not counted) is reported as lost (MM_WIM_ENDED,
// WIM_DEVICE_LOST).
#pragma once

#include <atomic>
#include <chrono>
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
  void MarkStop(std::chrono::steady_clock::time_point when) override;
  int64_t StopPoint() override;
  uint64_t FramesKept() const override;
  uint64_t FramesInRing() const override;
  /// The service's own words for the last failure, with what to check.
  std::string LastError() const override;

  class Device;

 private:
  uint32_t deviceNumber_;
  std::unique_ptr<Device> device_;
  std::string lastError_;
  enum class LostHow { No, Stalled, NeverStarted };
  std::atomic<LostHow> lost_{LostHow::No};  // set by the delivery thread when it reports the device lost
};
