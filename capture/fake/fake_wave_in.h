// A scriptable wave-input service for tests: it fails chosen calls, delivers
// given blocks into the queued buffers on the caller's thread, and can vanish.
#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "capture/wave_in.h"

class FakeWaveInService : public WaveInService {
 public:
  FakeWaveInService();
  ~FakeWaveInService() override;
  // Script: which calls fail (counted from 0 since the service was made).
  bool failOpen = false;
  std::set<int> failPrepareCalls;
  std::set<int> failAddBufferCalls;
  bool failStart = false;
  /// What LastError says (a backend's reason for a failure).
  std::string lastError;

  // What happened.
  WAVEFORMATEX lastFormat{};
  int opens = 0, closes = 0, starts = 0, stops = 0, resets = 0;
  int prepareCalls = 0, addBufferCalls = 0, unprepareCalls = 0;

  MMRESULT Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback, uintptr_t instance) override;
  void Release(HWAVEIN handle) override;
  std::string LastError() const override { return lastError; }

  bool IsOpen() const { return device_ != nullptr; }
  size_t QueuedBuffers() const;

  /// Fills the oldest queued buffer with up to its length of `bytes` and
  /// returns it through the callback. When nothing is queued the frames are
  /// counted as dropped and false is returned.
  bool Deliver(const void* bytes, uint32_t byteCount);
  /// The device reports that it vanished (MM_WIM_ENDED, WIM_DEVICE_LOST).
  void Vanish();
  /// Sends a device message of any kind through the callback.
  void SendMessage(uint32_t uMsg, uintptr_t dwParam1);

 private:
  class Device;
  std::unique_ptr<Device> device_;
};
