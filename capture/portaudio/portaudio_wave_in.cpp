#include "capture/portaudio/portaudio_wave_in.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "capture/capture_feed.h"

namespace {
constexpr unsigned long kFramesPerCallback = 8192;

// Keeps standard error quiet while the audio libraries probe their back ends
// (ALSA and JACK print every device and server they do not find); failures
// still come back as PortAudio results.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && devnull >= 0) dup2(devnull, STDERR_FILENO);
    if (devnull >= 0) close(devnull);
  }
  ~QuietStderr() {
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};
// The input device called `name`, or paNoDevice.
PaDeviceIndex FindInputDevice(const std::string& name) {
  for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info && info->maxInputChannels > 0 && info->name && name == info->name) return i;
  }
  return paNoDevice;
}
constexpr auto kSilentDeviceTimeout = std::chrono::seconds(2);
// How long a stop may wait for the audio library before the stream is left
// to a thread of its own: Stop must return whatever the sound server does.
constexpr auto kStopDeadline = std::chrono::milliseconds(1000);
// A stream may take a while to deliver its first frames (a sound server
// setting up its own stream); until then it is given longer.
constexpr auto kFirstFramesTimeout = std::chrono::seconds(10);
// The delivery thread looks at the watchdog this often when nothing arrives.
constexpr auto kWatchdogTick = std::chrono::milliseconds(100);
}  // namespace

// What the audio library's callback reaches: it is allocated on its own and
// outlives the device when a stream cannot be stopped in time, so that a
// late callback finds the gate closed and touches no buffer.
struct CallbackGate {
  std::atomic<bool> closed{false};
  std::atomic<int> inside{0};  // callbacks running past the gate
  PortAudioWaveInService::Device* device = nullptr;
};

class PortAudioWaveInService::Device : public WaveInDevice {
 public:
  Device(PortAudioWaveInService& service, WaveInProc callback, uintptr_t instance)
      : service_(service),
        callback_(callback),
        instance_(instance),
        gate_(std::make_shared<CallbackGate>()),
        feed_(this, callback, instance, service.droppedFrames_) {
    gate_->device = this;
  }
  ~Device() override {
    StopStreamAndDelivery();
    CloseStream();
  }

  PaError OpenStream(const WAVEFORMATEX& format, const std::string& deviceName) {
    PaStreamParameters in{};
    in.device = deviceName.empty() ? Pa_GetDefaultInputDevice() : FindInputDevice(deviceName);
    if (in.device == paNoDevice) return paInvalidDevice;
    in.channelCount = 2;
    in.sampleFormat = paInt16;
    in.suggestedLatency = Pa_GetDeviceInfo(in.device)->defaultHighInputLatency;
    PaError err = Pa_OpenStream(&stream_, &in, nullptr, format.nSamplesPerSec, kFramesPerCallback, paNoFlag,
                                &Device::AudioCallback, gate_.get());
    if (err == paNoError) Pa_SetStreamFinishedCallback(stream_, &Device::StreamFinished);
    rate_ = format.nSamplesPerSec;
    if (err == paNoError && !feed_.ReserveSlack(rate_)) err = paInsufficientMemory;
    return err;
  }

  MMRESULT Prepare(WAVEHDR* header) override {
    return MarkPrepared(header);
  }
  MMRESULT Unprepare(WAVEHDR* header) override {
    return MarkUnprepared(header);
  }
  MMRESULT AddBuffer(WAVEHDR* header) override { return feed_.Add(header); }
  MMRESULT Start() override {
    if (running_) return MMSYSERR_NOERROR;
    ended_ = false;
    running_ = true;
    if (Pa_StartStream(stream_) != paNoError) {
      running_ = false;
      return MMSYSERR_ERROR;
    }
    feed_.StartDelivery(kWatchdogTick, [this](uint64_t seen, auto idle) { return Lost(seen, idle); });
    return MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    StopStreamAndDelivery();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    StopStreamAndDelivery();
    // The audio callback no longer runs: this thread owns every buffer now.
    feed_.ReturnAll();
    return MMSYSERR_NOERROR;
  }
  // The frames taken from the library by now, and those it holds that were
  // captured before now (at most a callback's worth, estimated from the
  // stream's clock against the end of the last block's capture time), less
  // those captured since `when`.
  void MarkStop(std::chrono::steady_clock::time_point when) {
    int64_t pending = 0;
    const double end = lastAdcEnd_.load();
    if (stream_ && end > 0) {
      const double now = Pa_GetStreamTime(stream_);
      if (now > end) pending = std::min<int64_t>(std::llround((now - end) * rate_), 2 * kFramesPerCallback);
    }
    stopSeen_ = CaptureFeed::FramesAt(static_cast<int64_t>(feed_.FramesSeen()) + pending,
                                      std::chrono::steady_clock::now(), when, rate_);
  }
  int64_t StopPoint() const { return std::max<int64_t>(stopSeen_ - static_cast<int64_t>(feed_.FramesLost()), 0); }
  uint64_t FramesKept() const { return feed_.FramesSeen() - feed_.FramesLost(); }
  uint64_t FramesInRing() const { return FramesKept() - feed_.SlackFrames(); }

  MMRESULT Close() override {
    StopStreamAndDelivery();
    if (feed_.HoldsBuffers()) return WAVERR_STILLPLAYING;
    CloseStream();
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

  /// Frames an input overflow lost, from the gap in the stream's capture
  /// times (seconds) against the frames that came between them; 0 when the
  /// times say nothing usable. Audio thread; also used by the tests.
  static uint64_t OverflowFrames(double previousAdcTime, double adcTime, uint64_t previousFrames, uint32_t rate) {
    if (!(previousAdcTime > 0) || !(adcTime > previousAdcTime) || rate == 0) return 0;
    const double expected = static_cast<double>(previousFrames) / rate;
    const double gap = adcTime - previousAdcTime - expected;
    if (!(gap > 0) || gap > 3600) return 0;
    return static_cast<uint64_t>(gap * rate + 0.5);
  }

 private:
  static int AudioCallback(const void* input, void*, unsigned long frameCount, const PaStreamCallbackTimeInfo* time,
                           PaStreamCallbackFlags flags, void* userData) {
    auto* gate = static_cast<CallbackGate*>(userData);
    gate->inside.fetch_add(1);
    if (!gate->closed.load()) {
      Device* self = gate->device;
      if (flags & paInputOverflow) self->CountOverflow(time ? time->inputBufferAdcTime : 0);
      self->previousAdcTime_ = time ? time->inputBufferAdcTime : 0;
      self->previousFrames_ = frameCount;
      self->Capture(static_cast<const uint8_t*>(input), frameCount, time ? time->inputBufferAdcTime : 0);
    }
    gate->inside.fetch_sub(1);
    return gate->closed.load() ? paAbort : paContinue;
  }
  static void StreamFinished(void* userData) {
    auto* gate = static_cast<CallbackGate*>(userData);
    gate->inside.fetch_add(1);
    if (!gate->closed.load() && gate->device->running_) {
      gate->device->ended_ = true;
      gate->device->feed_.Wake();
    }
    gate->inside.fetch_sub(1);
  }

  // Audio thread: an overflow below us lost frames; count them with the
  // dropped ones (at least one, when the stream's times cannot tell how many).
  void CountOverflow(double adcTime) {
    service_.overflows_.fetch_add(1, std::memory_order_relaxed);
    const uint64_t lost = OverflowFrames(previousAdcTime_, adcTime, previousFrames_, rate_);
    service_.droppedFrames_.fetch_add(lost > 0 ? lost : 1, std::memory_order_relaxed);
  }

  // Runs on the audio thread: no allocation, no lock, no I/O. The feed puts
  // what finds no buffer into its slack.
  void Capture(const uint8_t* input, unsigned long frameCount, double adcTime) {
    if (input) {
      feed_.Pour(input, size_t{frameCount} * 4);
    } else {
      feed_.Lose(frameCount);  // the library had no frames to give
    }
    if (adcTime > 0) lastAdcEnd_.store(adcTime + static_cast<double>(frameCount) / rate_);
  }

  // The delivery thread: whether the stream ended or stopped delivering.
  bool Lost(uint64_t seen, std::chrono::steady_clock::duration idle) {
    const auto timeout = seen > 0 ? kSilentDeviceTimeout : kFirstFramesTimeout;
    if (!ended_ && idle <= timeout) return false;
    service_.lost_.store(ended_ ? LostHow::Ended : seen > 0 ? LostHow::Stalled : LostHow::NeverStarted);
    return true;
  }

  // Ends the capture: after the gate is closed no callback touches a buffer,
  // then the stream is stopped, waiting for the audio library no longer than
  // kStopDeadline. A stream that does not stop by then (a stalled sound
  // server) is left to a thread of its own, which closes it if it ever can.
  void StopStreamAndDelivery() {
    if (running_) {
      running_ = false;
      CloseGate();
      if (stream_ && !StopWithDeadline()) stream_ = nullptr;  // no longer ours
    }
    feed_.StopDelivery();
  }

  void CloseGate() {
    gate_->closed.store(true);
    // A callback past the gate only copies memory: it leaves within microseconds.
    while (gate_->inside.load() != 0) std::this_thread::yield();
  }

  // True when the stream stopped in time and is still ours to close.
  bool StopWithDeadline() {
    struct Stopper {
      std::mutex mutex;
      std::condition_variable done;
      bool finished = false;
    };
    auto stopper = std::make_shared<Stopper>();
    PaStream* stream = stream_;
    std::shared_ptr<CallbackGate> gate = gate_;  // kept alive for as long as the stream may call it
    std::thread([stopper, stream, gate] {
      // Whatever the abort answers, the stream is closed after it.
      static_cast<void>(Pa_AbortStream(stream));
      std::lock_guard<std::mutex> lock(stopper->mutex);
      stopper->finished = true;
      stopper->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(stopper->mutex);
    if (stopper->done.wait_for(lock, kStopDeadline, [&] { return stopper->finished; })) return true;
    service_.wedged_ = true;  // the library may still hold the stream: never terminate it
    return false;
  }

  void CloseStream() {
    if (stream_) Pa_CloseStream(stream_);
    stream_ = nullptr;
  }

  PortAudioWaveInService& service_;
  WaveInProc callback_;
  uintptr_t instance_;
  std::shared_ptr<CallbackGate> gate_;
  PaStream* stream_ = nullptr;
  uint32_t rate_ = 0;
  double previousAdcTime_ = 0;     // audio thread only
  uint64_t previousFrames_ = 0;    // audio thread only
  CaptureFeed feed_;               // the queued buffers: poured into by the audio thread
  std::atomic<double> lastAdcEnd_{0};  // capture time (stream clock) of the end of the last block
  int64_t stopSeen_ = 0;           // user-interface thread: frames seen up to MarkStop
  std::atomic<bool> running_{false}, ended_{false};
};

PortAudioWaveInService::PortAudioWaveInService(std::string deviceName) : deviceName_(std::move(deviceName)) {}

bool ListPortAudioInputs(std::vector<InputDevice>& inputs, std::string& why) {
  QuietStderr quiet;
  setenv("JACK_NO_START_SERVER", "1", 0);
  const PaError err = Pa_Initialize();
  if (err != paNoError) {
    why = std::string("audio system: ") + Pa_GetErrorText(err);
    return false;
  }
  const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
  inputs.clear();
  for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxInputChannels <= 0 || !info->name) continue;
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    InputDevice input;
    input.name = info->name;
    input.description = std::string(api && api->name ? api->name : "PortAudio") + " input, " +
                        std::to_string(info->maxInputChannels) + " channels";
    input.isDefault = i == defaultInput;
    inputs.push_back(std::move(input));
  }
  // The listing is complete; a library that fails to shut down loses nothing.
  static_cast<void>(Pa_Terminate());
  return true;
}

PortAudioWaveInService::~PortAudioWaveInService() {
  device_.reset();
  // A stream left to its own thread would make the library's teardown wait for it.
  if (initialized_ && !wedged_) Pa_Terminate();
}

uint64_t PortAudioWaveInService::OverflowFramesForTest(double previousAdcTime, double adcTime,
                                                       uint64_t previousFrames, uint32_t rate) {
  return Device::OverflowFrames(previousAdcTime, adcTime, previousFrames, rate);
}

MMRESULT PortAudioWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                      uintptr_t instance) {
  if (device_) {
    lastError_ = "the audio input is already open";
    return MMSYSERR_ERROR;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 2 || format.wBitsPerSample != 16) {
    lastError_ = "only 16-bit stereo PCM is captured";
    return MMSYSERR_INVALPARAM;
  }
  QuietStderr quiet;
  if (!initialized_) {
    // PortAudio's JACK back end would otherwise try to launch a JACK server.
    setenv("JACK_NO_START_SERVER", "1", 0);
    const PaError err = Pa_Initialize();
    if (err != paNoError) {
      lastError_ = std::string("audio system: ") + Pa_GetErrorText(err);
      return MMSYSERR_ERROR;
    }
    initialized_ = true;
  }
  droppedFrames_ = 0;
  overflows_ = 0;
  lastError_.clear();
  lost_ = LostHow::No;
  if (wedged_) {
    lastError_ = "the audio input did not stop when asked; restart the program to record again";
    return MMSYSERR_ERROR;
  }
  auto device = std::make_unique<Device>(*this, callback, instance);
  const PaError err = device->OpenStream(format, deviceName_);
  if (err != paNoError) {
    lastError_ = err == paInvalidDevice && !deviceName_.empty() ? "no audio input device is called '" + deviceName_ + "'"
                 : err == paInvalidDevice ? std::string("no audio input device was found (is a sound server running?)")
                                        : std::string("audio input: ") + Pa_GetErrorText(err);
    return MMSYSERR_BADDEVICEID;
  }
  device_ = std::move(device);
  *handle = device_.get();
  callback(*handle, MM_WIM_OPEN, instance, 0, 0);
  return MMSYSERR_NOERROR;
}

std::string PortAudioWaveInService::LastError() const {
  switch (lost_.load()) {
    case LostHow::Ended: return "the audio input stopped (the device was removed or the sound server went away)";
    case LostHow::Stalled: return "the audio input delivered no frames for 2 s (was the device or sound server suspended?)";
    case LostHow::NeverStarted: return "the audio input delivered no frames within 10 s of the start (is the device or sound server suspended?)";
    case LostHow::No: break;
  }
  return lastError_;
}

void PortAudioWaveInService::MarkStop(std::chrono::steady_clock::time_point when) {
  if (device_) device_->MarkStop(when);
}

int64_t PortAudioWaveInService::StopPoint() { return device_ ? device_->StopPoint() : kStopAtOnce; }

uint64_t PortAudioWaveInService::FramesKept() const { return device_ ? device_->FramesKept() : 0; }

uint64_t PortAudioWaveInService::FramesInRing() const { return device_ ? device_->FramesInRing() : 0; }

void PortAudioWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}
