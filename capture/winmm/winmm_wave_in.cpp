#include "capture/winmm/winmm_wave_in.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "capture/winmm/winmm_native.h"

static_assert(sizeof(WAVEHDR) == winmm::kHeaderSize, "WAVEHDR must keep the service's layout");
static_assert(offsetof(WAVEHDR, dwFlags) == winmm::kHeaderFlagsOffset, "WAVEHDR must keep the service's layout");
static_assert(offsetof(WAVEHDR, lpNext) == winmm::kHeaderNextOffset, "WAVEHDR must keep the service's layout");

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSilentDeviceLimit = std::chrono::seconds(2);
constexpr auto kFirstBufferLimit = std::chrono::seconds(10);
constexpr auto kWatchInterval = std::chrono::milliseconds(250);

}  // namespace

class WinmmWaveInService::Device : public WaveInDevice {
 public:
  Device(WaveInProc callback, uintptr_t instance) : callback_(callback), instance_(instance) {}
  ~Device() override { EndWatch(); }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  MMRESULT OpenNative(uint32_t device, uint32_t rate, uint16_t channels) {
    return winmm::Open(&native_, device, rate, channels, &route_);
  }

  MMRESULT Prepare(WAVEHDR* header) override { return winmm::Prepare(native_, header); }
  MMRESULT Unprepare(WAVEHDR* header) override { return winmm::Unprepare(native_, header); }
  MMRESULT AddBuffer(WAVEHDR* header) override {
    queued_.fetch_add(1);
    const MMRESULT result = winmm::AddBuffer(native_, header);
    if (result != MMSYSERR_NOERROR) queued_.fetch_sub(1);
    return result;
  }
  MMRESULT Start() override {
    const MMRESULT result = winmm::Start(native_);
    if (result == MMSYSERR_NOERROR) StartWatch();
    return result;
  }
  MMRESULT Stop() override {
    EndWatch();
    return winmm::Stop(native_);
  }
  MMRESULT Reset() override {
    EndWatch();
    return winmm::Reset(native_);
  }
  MMRESULT Close() override {
    EndWatch();
    return winmm::Close(native_);
  }

 private:
  // The service's thread: forwards each message to the ring's callback.
  static void FromService(void* context, uint32_t message, uintptr_t param1) {
    auto* self = static_cast<Device*>(context);
    if (message == MM_WIM_DATA) {
      self->queued_.fetch_sub(1);
      self->lastBuffer_.store(Clock::now().time_since_epoch().count());
      self->buffersBack_.store(true);
    }
    self->callback_(self, message, self->instance_, param1, 0);
  }

  void StartWatch() {
    EndWatch();
    lastBuffer_.store(Clock::now().time_since_epoch().count());
    buffersBack_.store(false);
    watching_ = true;
    watch_ = std::thread([this] { Watch(); });
  }

  void EndWatch() {
    {
      std::lock_guard<std::mutex> lock(watchMutex_);
      watching_ = false;
    }
    watchWake_.notify_all();
    if (watch_.joinable()) watch_.join();
  }

  // The watchdog's thread: reports the device lost once when it holds a
  // queued buffer too long.
  void Watch() {
    std::unique_lock<std::mutex> lock(watchMutex_);
    while (watching_) {
      watchWake_.wait_for(lock, kWatchInterval);
      if (!watching_) return;
      const auto limit = buffersBack_.load() ? kSilentDeviceLimit : kFirstBufferLimit;
      const Clock::time_point last{Clock::duration(lastBuffer_.load())};
      if (queued_.load() > 0 && Clock::now() - last > limit) {
        callback_(this, MM_WIM_ENDED, instance_, WIM_DEVICE_LOST, 0);
        return;
      }
    }
  }

  WaveInProc callback_;
  uintptr_t instance_;
  winmm::Route route_{&Device::FromService, this};
  void* native_ = nullptr;                  // the service's device, from open to close
  std::atomic<int> queued_{0};              // buffers with the service: added by the user-interface thread,
                                            // taken back on the service's thread
  std::atomic<Clock::rep> lastBuffer_{0};   // when the service last returned a buffer (service's thread)
  std::atomic<bool> buffersBack_{false};    // whether it returned any since the start
  std::mutex watchMutex_;                   // guards watching_ between the user-interface thread and the watchdog
  std::condition_variable watchWake_;
  bool watching_ = false;
  std::thread watch_;
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
  lastError_.clear();
  if (device_) {
    lastError_ = "the audio input is already open";
    return MMSYSERR_ERROR;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16) {
    lastError_ = "only 16-bit PCM can be captured";
    return MMSYSERR_INVALPARAM;
  }
  auto device = std::make_unique<Device>(callback, instance);
  const MMRESULT result = device->OpenNative(deviceNumber_, format.nSamplesPerSec, format.nChannels);
  if (result != MMSYSERR_NOERROR) {
    lastError_ = "cannot open the audio input (" + winmm::ErrorText(result) + ")";
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

std::string WinmmWaveInService::LastError() const { return lastError_; }
