#include "capture/fake/fake_wave_in.h"

#include <algorithm>
#include <cstring>

class FakeWaveInService::Device : public WaveInDevice {
 public:
  Device(FakeWaveInService& service, WaveInProc callback, uintptr_t instance)
      : service_(service), callback_(callback), instance_(instance) {}

  MMRESULT Prepare(WAVEHDR* header) override {
    if (service_.failPrepareCalls.count(service_.prepareCalls++)) return MMSYSERR_NOMEM;
    return MarkPrepared(header);
  }
  MMRESULT Unprepare(WAVEHDR* header) override {
    ++service_.unprepareCalls;
    return MarkUnprepared(header);
  }
  MMRESULT AddBuffer(WAVEHDR* header) override {
    if (service_.failAddBufferCalls.count(service_.addBufferCalls++)) return MMSYSERR_NOMEM;
    if (MMRESULT r = MarkQueued(header); r != MMSYSERR_NOERROR) return r;
    queue.push_back(header);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Start() override {
    ++service_.starts;
    return service_.failStart ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    ++service_.stops;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    ++service_.resets;
    while (!queue.empty()) Complete(0);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    if (!queue.empty()) return WAVERR_STILLPLAYING;
    ++service_.closes;
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

  // Returns the oldest queued buffer as done with `bytes` recorded.
  void Complete(uint32_t bytes) {
    WAVEHDR* header = queue.front();
    queue.pop_front();
    ReturnBuffer(callback_, this, instance_, header, bytes);
  }
  void Send(uint32_t uMsg, uintptr_t param) { callback_(this, uMsg, instance_, param, 0); }

  std::deque<WAVEHDR*> queue;

 private:
  FakeWaveInService& service_;
  WaveInProc callback_;
  uintptr_t instance_;
};

FakeWaveInService::FakeWaveInService() = default;
FakeWaveInService::~FakeWaveInService() = default;

MMRESULT FakeWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                 uintptr_t instance) {
  lastFormat = format;
  if (failOpen || device_) return MMSYSERR_ERROR;
  ++opens;
  droppedFrames_ = 0;
  device_ = std::make_unique<Device>(*this, callback, instance);
  *handle = device_.get();
  device_->Send(MM_WIM_OPEN, 0);
  return MMSYSERR_NOERROR;
}

void FakeWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}

size_t FakeWaveInService::QueuedBuffers() const { return device_ ? device_->queue.size() : 0; }

bool FakeWaveInService::Deliver(const void* bytes, uint32_t byteCount) {
  if (!device_ || device_->queue.empty()) {
    droppedFrames_ += byteCount / 4;
    return false;
  }
  WAVEHDR* header = device_->queue.front();
  const uint32_t n = std::min(byteCount, header->dwBufferLength);
  if (n > 0) std::memcpy(header->lpData, bytes, n);
  device_->Complete(n);
  return true;
}

void FakeWaveInService::Vanish() { SendMessage(MM_WIM_ENDED, WIM_DEVICE_LOST); }

void FakeWaveInService::SendMessage(uint32_t uMsg, uintptr_t dwParam1) {
  if (device_) device_->Send(uMsg, dwParam1);
}
