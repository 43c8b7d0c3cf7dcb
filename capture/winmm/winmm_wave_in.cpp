#include "capture/winmm/winmm_wave_in.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

#include "capture/capture_feed.h"
#include "capture/spsc_queue.h"
#include "capture/stream_gap_counter.h"
#include "capture/winmm/winmm_native.h"

static_assert(sizeof(WAVEHDR) == winmm::kHeaderSize, "WAVEHDR must keep the service's layout");
static_assert(offsetof(WAVEHDR, dwFlags) == winmm::kHeaderFlagsOffset, "WAVEHDR must keep the service's layout");
static_assert(offsetof(WAVEHDR, lpNext) == winmm::kHeaderNextOffset, "WAVEHDR must keep the service's layout");

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSilentDeviceLimit = std::chrono::seconds(2);
constexpr auto kFirstBufferLimit = std::chrono::seconds(10);
// The delivery thread looks at the watchdog this often when nothing arrives.
constexpr auto kWatchdogTick = std::chrono::milliseconds(250);
// The device's own buffers, a tenth of a second each: 3.2 s queued on the
// device at all times but the moment one is handed on.
constexpr size_t kDeviceBuffers = 32;
constexpr uint32_t kDeviceBuffersPerSecond = 10;
// How long a stop waits for the service to give back its buffers.
constexpr auto kReturnDeadline = std::chrono::seconds(2);

}  // namespace

// The service fills buffers of the device's own, kept queued on it; a pump
// thread of ours pours each one it returns into the feed (the ring's buffers,
// or the slack below them) and queues it again at once. Nothing on that path
// waits for the ring, so a stall of the thread that writes never leaves the
// service without a buffer.
class WinmmWaveInService::Device : public WaveInDevice {
 public:
  Device(WinmmWaveInService& service, WaveInProc callback, uintptr_t instance)
      : service_(service), callback_(callback), instance_(instance),
        feed_(this, callback, instance, service.droppedFrames_) {}
  ~Device() override {
    EndCapture();
    CloseNative();
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  /// Opens the service's device, reserves the slack and queues the device's
  /// own buffers. Returns the MMRESULT; `why` names the step that failed.
  MMRESULT OpenNative(uint32_t device, uint32_t rate, std::string& why) {
    rate_ = rate;
    gaps_ = StreamGapCounter(static_cast<int>(rate));
    if (!feed_.ReserveSlack(rate)) {
      why = "not enough memory for the recording's slack";
      return MMSYSERR_NOMEM;
    }
    MMRESULT result = winmm::Open(&native_, device, rate, 2, &route_);
    if (result != MMSYSERR_NOERROR) {
      native_ = nullptr;
      why = "cannot open the audio input (" + winmm::ErrorText(result) + ")";
      return result;
    }
    const uint32_t bytes = rate / kDeviceBuffersPerSecond * 4;
    for (size_t i = 0; i < kDeviceBuffers && result == MMSYSERR_NOERROR; ++i) {
      blocks_[i] = std::make_unique<char[]>(bytes);
      headers_[i] = WAVEHDR{};
      headers_[i].lpData = blocks_[i].get();
      headers_[i].dwBufferLength = bytes;
      result = winmm::Prepare(native_, &headers_[i]);
      if (result == MMSYSERR_NOERROR) prepared_ = i + 1;
      if (result == MMSYSERR_NOERROR) result = Queue(&headers_[i]);
    }
    if (result != MMSYSERR_NOERROR) {
      why = "cannot queue the audio input's buffers (" + winmm::ErrorText(result) + ")";
      CloseNative();
    }
    return result;
  }

  MMRESULT Prepare(WAVEHDR* header) override { return MarkPrepared(header); }
  MMRESULT Unprepare(WAVEHDR* header) override { return MarkUnprepared(header); }
  MMRESULT AddBuffer(WAVEHDR* header) override { return feed_.Add(header); }
  MMRESULT Start() override {
    if (!native_) return MMSYSERR_INVALHANDLE;
    if (pump_.joinable()) return MMSYSERR_NOERROR;
    pumpQuit_ = false;
    pump_ = std::thread([this] { Pump(); });
    feed_.StartDelivery(kWatchdogTick, [this](uint64_t seen, auto idle) { return Lost(seen, idle); });
    const MMRESULT result = winmm::Start(native_);
    if (result != MMSYSERR_NOERROR) EndCapture();
    return result;
  }
  MMRESULT Stop() override {
    EndCapture();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    EndCapture();
    // The pump and the delivery thread have ended: this thread owns every buffer now.
    feed_.ReturnAll();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    EndCapture();
    if (feed_.HoldsBuffers()) return WAVERR_STILLPLAYING;
    return CloseNative();
  }

  // -- the user-interface thread: where a take asked to end ends. Captured
  // before the stop is what the service had put into the device's buffers by
  // then (its position), whether or not the pump has poured it yet; frames
  // still inside the service (a period's worth) are left out. When the
  // service tells no position, what the pump has poured is counted back to
  // `when` by the clock.
  void MarkStop(Clock::time_point when) {
    if (stopMarked_) return;
    stopMarked_ = true;
    const uint64_t seen = feed_.FramesSeen();
    int64_t captured = static_cast<int64_t>(seen);
    uint32_t position = 0;
    if (native_ && winmm::Position(native_, &position) == MMSYSERR_NOERROR) {
      // The position counts from the start modulo 2^32; the frames it is
      // ahead of the pump are at most the device's buffers.
      const uint32_t ahead = position - static_cast<uint32_t>(seen);
      if (ahead <= kDeviceBuffers * (rate_ / kDeviceBuffersPerSecond)) captured += ahead;
    }
    stopSeen_ = CaptureFeed::FramesAt(captured, Clock::now(), when, rate_);
  }
  int64_t StopPoint() const {
    if (!stopMarked_) return kStopAtOnce;
    return std::max<int64_t>(stopSeen_ - static_cast<int64_t>(feed_.FramesLost()), 0);
  }
  uint64_t FramesKept() const { return feed_.FramesSeen() - feed_.FramesLost(); }
  uint64_t FramesInRing() const { return FramesKept() - feed_.SlackFrames(); }

 private:
  // The service's thread: the service allows little more than signalling
  // here, so a returned buffer is only handed to the pump.
  static void FromService(void* context, uint32_t message, uintptr_t param1) {
    auto* self = static_cast<Device*>(context);
    if (message == MM_WIM_DATA) {
      // Never full: it holds at most the device's own buffers.
      static_cast<void>(self->returned_.Push(reinterpret_cast<WAVEHDR*>(param1)));
      self->pumpWake_.release();
      return;
    }
    self->callback_(self, message, self->instance_, param1, 0);
  }

  // Queues one of the device's own buffers with the service, unless the
  // capture is ending. Pump thread, or the opening thread before it runs.
  MMRESULT Queue(WAVEHDR* header) {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (ending_) return MMSYSERR_NOERROR;
    header->dwBytesRecorded = 0;
    header->dwFlags &= ~WHDR_DONE;
    const MMRESULT result = winmm::AddBuffer(native_, header);
    if (result == MMSYSERR_NOERROR) onDevice_.fetch_add(1);
    return result;
  }

  // The pump thread: pours each buffer the service returns into the feed,
  // in order, and queues it again; once the capture ends, it stays until the
  // service has returned every buffer (or kReturnDeadline passed).
  void Pump() {
    Clock::time_point quitAt{};
    for (;;) {
      pumpWake_.try_acquire_for(kWatchdogTick);
      WAVEHDR* header = nullptr;
      while (returned_.Pop(header)) {
        onDevice_.fetch_sub(1);
        if (header->dwBytesRecorded > 0) {
          feed_.Pour(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded & ~3u);
        }
        if (Queue(header) != MMSYSERR_NOERROR) queueFailed_ = true;
      }
      if (!pumpQuit_) CountServiceGaps();
      if (queueFailed_ && onDevice_.load() == 0) feed_.Wake();
      if (!pumpQuit_) continue;
      if (quitAt == Clock::time_point{}) quitAt = Clock::now();
      if (onDevice_.load() == 0 || Clock::now() - quitAt > kReturnDeadline) return;
    }
  }

  // The pump thread: frames the service lost before they reached the
  // device's buffers (this process stood still longer than the service
  // keeps frames for it), found against the clock from the service's
  // position: what it has captured into the buffers so far.
  void CountServiceGaps() {
    uint32_t position = 0;
    if (winmm::Position(native_, &position) != MMSYSERR_NOERROR) return;
    captured_ += static_cast<uint32_t>(position - lastPosition_);
    lastPosition_ = position;
    if (captured_ == 0) return;  // the clock starts with the first frames
    const uint64_t lost = gaps_.Told(Clock::now(), captured_, 0);  // its position is all it has
    if (lost > 0) service_.droppedFrames_.fetch_add(lost, std::memory_order_relaxed);
  }

  // The delivery thread: whether the device stopped delivering (or no
  // buffer could be queued on it any more).
  bool Lost(uint64_t seen, Clock::duration idle) {
    const auto limit = seen > 0 ? kSilentDeviceLimit : kFirstBufferLimit;
    if (!(queueFailed_ && onDevice_.load() == 0) && idle <= limit) return false;
    service_.lost_.store(seen > 0 ? LostHow::Stalled : LostHow::NeverStarted);
    return true;
  }

  // Ends the capture: the service gives back every buffer with what it
  // holds, the pump pours it, then the pump and the delivery thread end.
  void EndCapture() {
    {
      std::lock_guard<std::mutex> lock(queueMutex_);
      ending_ = true;
    }
    pumpQuit_ = true;  // no more gaps looked for: the position restarts at the reset
    if (native_) static_cast<void>(winmm::Reset(native_));
    if (pump_.joinable()) {
      pumpWake_.release();
      pump_.join();
    }
    feed_.StopDelivery();
  }

  MMRESULT CloseNative() {
    if (!native_) return MMSYSERR_NOERROR;
    for (size_t i = 0; i < prepared_; ++i) static_cast<void>(winmm::Unprepare(native_, &headers_[i]));
    prepared_ = 0;
    const MMRESULT result = winmm::Close(native_);
    if (result == MMSYSERR_NOERROR) native_ = nullptr;
    return result;
  }

  WinmmWaveInService& service_;
  WaveInProc callback_;
  uintptr_t instance_;
  winmm::Route route_{&Device::FromService, this};
  void* native_ = nullptr;  // the service's device, from open to close
  uint32_t rate_ = 0;
  std::array<std::unique_ptr<char[]>, kDeviceBuffers> blocks_;
  std::array<WAVEHDR, kDeviceBuffers> headers_{};  // the device's own buffers
  size_t prepared_ = 0;
  SpscQueue<WAVEHDR*, 64> returned_;      // from the service's thread to the pump
  std::counting_semaphore<1 << 20> pumpWake_{0};
  std::mutex queueMutex_;                 // keeps a buffer from being queued once the capture ends
  bool ending_ = false;                   // guarded by queueMutex_
  std::atomic<int> onDevice_{0};          // the device's buffers queued with the service
  std::atomic<bool> pumpQuit_{false}, queueFailed_{false};
  std::thread pump_;
  CaptureFeed feed_;                      // the ring's buffers and the slack: poured into by the pump
  StreamGapCounter gaps_{48000};          // pump thread: the service's losses
  uint64_t captured_ = 0;                 // likewise: the service's position, unwrapped
  uint32_t lastPosition_ = 0;
  bool stopMarked_ = false;               // user-interface thread
  int64_t stopSeen_ = 0;                  // likewise: frames captured before the stop
};

static_assert(WinmmWaveInService::kWinmmMapper == winmm::kMapper);

std::vector<InputDevice> ListWinmmInputs() {
  const std::vector<std::string> names = winmm::DeviceNames();
  const uint32_t preferred = winmm::PreferredDevice();
  std::vector<InputDevice> inputs;
  for (size_t i = 0; i < names.size(); ++i) {
    InputDevice input;
    input.name = std::to_string(i);
    input.description = names[i];
    input.alias = names[i];
    input.isDefault = i == preferred;
    inputs.push_back(input);
  }
  return inputs;
}

WinmmWaveInService::WinmmWaveInService(uint32_t device) : deviceNumber_(device) {}
WinmmWaveInService::~WinmmWaveInService() = default;

MMRESULT WinmmWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                  uintptr_t instance) {
  droppedFrames_.store(0);
  overflows_.store(0);
  lost_.store(LostHow::No);
  lastError_.clear();
  if (device_) {
    lastError_ = "the audio input is already open";
    return MMSYSERR_ERROR;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 2 || format.wBitsPerSample != 16) {
    lastError_ = "only 16-bit stereo PCM is captured";
    return MMSYSERR_INVALPARAM;
  }
  auto device = std::make_unique<Device>(*this, callback, instance);
  const MMRESULT result = device->OpenNative(deviceNumber_, format.nSamplesPerSec, lastError_);
  if (result != MMSYSERR_NOERROR) {
    if (result == MMSYSERR_NOMEM) return result;
    if (winmm::DeviceCount() == 0) {
      lastError_ += ": Windows knows no recording device; connect one or enable it under Sound settings";
    } else {
      lastError_ += deviceNumber_ == kWinmmMapper
                        ? ": check that the default recording device is enabled and that apps may use the microphone"
                        : ": check that input " + std::to_string(deviceNumber_) +
                              " (tapewell-rec --list-devices) is enabled and that apps may use the microphone";
    }
    return result;
  }
  *handle = device.get();
  device_ = std::move(device);
  return MMSYSERR_NOERROR;
}

void WinmmWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}

std::string WinmmWaveInService::LastError() const {
  switch (lost_.load()) {
    case LostHow::Stalled: return "the audio input delivered nothing for 2 s (was the device removed or disabled?)";
    case LostHow::NeverStarted:
      return "the audio input delivered nothing within 10 s of the start (is the device disabled, or may apps not use the microphone?)";
    case LostHow::No: break;
  }
  return lastError_;
}

void WinmmWaveInService::MarkStop(std::chrono::steady_clock::time_point when) {
  if (device_) device_->MarkStop(when);
}

int64_t WinmmWaveInService::StopPoint() { return device_ ? device_->StopPoint() : kStopAtOnce; }

uint64_t WinmmWaveInService::FramesKept() const { return device_ ? device_->FramesKept() : 0; }

uint64_t WinmmWaveInService::FramesInRing() const { return device_ ? device_->FramesInRing() : 0; }
