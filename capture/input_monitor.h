// Listens to the input outside a take, for a level meter: a few buffers
// queued on a device of its own; each filled buffer is posted to a window as
// kMonitorNotice (lParam the header) and handed back by Handle on that
// window's thread. Nothing is written anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_ring.h"
#include "capture/message_window.h"
#include "capture/wave_in.h"

/// The notice a monitor posts for each filled buffer.
inline constexpr uint32_t kMonitorNotice = kFirstPrivateMessage + 2;

class InputMonitor {
 public:
  InputMonitor() = default;
  InputMonitor(const InputMonitor&) = delete;
  InputMonitor& operator=(const InputMonitor&) = delete;
  ~InputMonitor() { Stop(); }

  /// Opens a device of `service` for 16-bit stereo at `rate` Hz, its notices
  /// posted to `window`, and starts it. False with the reason in `why`
  /// (nothing stays open).
  bool Start(WaveInService& service, int rate, HWND window, std::string& why);
  /// Takes one kMonitorNotice: gives the buffer's frames to `take` and queues
  /// the buffer again. A notice that is not of the running device's buffers
  /// (one posted before a Stop) is passed over.
  void Handle(intptr_t lParam, const std::function<void(const uint8_t*, uint32_t)>& take);
  /// Stops and closes the device; the buffers are no longer the device's.
  void Stop();
  bool Running() const { return device_ != nullptr; }

 private:
  static void Callback(HWAVEIN device, uint32_t message, uintptr_t instance, uintptr_t header, uintptr_t);

  static constexpr int kBuffers = 4;
  static constexpr uint32_t kBufferBytes = 4 * 2048;  // 2048 frames: about 46 ms at 44.1 kHz
  WaveInService* service_ = nullptr;
  HWAVEIN device_ = nullptr;
  std::array<WAVEHDR, kBuffers> headers_{};
  std::vector<char> data_ = std::vector<char>(size_t{kBuffers} * kBufferBytes);
};
