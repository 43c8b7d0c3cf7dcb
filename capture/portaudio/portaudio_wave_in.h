// The wave-input layer over PortAudio: the system's default input device,
// 16-bit stereo, 8,192-frame callbacks.
//
// The audio callback copies frames into the oldest queued buffer and passes
// full buffers to a delivery thread through a lock-free queue; it allocates
// nothing, takes no lock and does no I/O. Frames that arrive while no buffer
// is queued are dropped and counted. The delivery thread returns buffers
// through the device callback and watches the device: a stream that fails,
// finishes, or stops delivering frames for 2 s (10 s before its first frames)
// is reported as lost. Overflows the library reports are counted with the
// dropped frames. Stopping never waits on the audio library for more than a
// second: a stream that will not stop is left to a thread of its own.
#pragma once

#include <atomic>
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
  void MarkStop(std::chrono::steady_clock::time_point when) override;
  int64_t StopPoint() override;
  uint64_t FramesKept() const override;
  uint64_t FramesInRing() const override;

  std::string LastError() const override;

  /// The frames an input overflow lost, from the capture times (seconds) of
  /// the callback before it and of the one reporting it, and the frames the
  /// earlier one delivered; 0 when the times tell nothing usable.
  static uint64_t OverflowFramesForTest(double previousAdcTime, double adcTime, uint64_t previousFrames,
                                        uint32_t rate);

  class Device;

 private:
  std::unique_ptr<Device> device_;
  std::string deviceName_;
  std::string lastError_;
  bool initialized_ = false;
  bool wedged_ = false;  // a stream did not stop in time and was left to its own thread
  enum class LostHow { No, Ended, Stalled, NeverStarted };
  std::atomic<LostHow> lost_{LostHow::No};  // set by the delivery thread when it reports the device lost
};
