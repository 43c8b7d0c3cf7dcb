#include "capture/portaudio_wave_in.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <semaphore>
#include <thread>

#include "capture/spsc_queue.h"

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
// A stream may take a while to deliver its first frames (a sound server
// setting up its own stream); until then it is given longer.
constexpr auto kFirstFramesTimeout = std::chrono::seconds(10);
}  // namespace

class PortAudioWaveInService::Device : public WaveInDevice {
 public:
  Device(PortAudioWaveInService& service, WaveInProc callback, uintptr_t instance)
      : service_(service), callback_(callback), instance_(instance) {}
  ~Device() override { StopStreamAndDelivery(); if (stream_) Pa_CloseStream(stream_); }

  PaError OpenStream(const WAVEFORMATEX& format, const std::string& deviceName) {
    PaStreamParameters in{};
    in.device = deviceName.empty() ? Pa_GetDefaultInputDevice() : FindInputDevice(deviceName);
    if (in.device == paNoDevice) return paInvalidDevice;
    in.channelCount = 2;
    in.sampleFormat = paInt16;
    in.suggestedLatency = Pa_GetDeviceInfo(in.device)->defaultHighInputLatency;
    PaError err = Pa_OpenStream(&stream_, &in, nullptr, format.nSamplesPerSec, kFramesPerCallback, paNoFlag,
                                &Device::AudioCallback, this);
    if (err == paNoError) Pa_SetStreamFinishedCallback(stream_, &Device::StreamFinished);
    return err;
  }

  MMRESULT Prepare(WAVEHDR* header) override {
    return MarkPrepared(header);
  }
  MMRESULT Unprepare(WAVEHDR* header) override {
    return MarkUnprepared(header);
  }
  MMRESULT AddBuffer(WAVEHDR* header) override {
    if (MMRESULT r = MarkQueued(header); r != MMSYSERR_NOERROR) return r;
    return added_.Push(header) ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
  }
  MMRESULT Start() override {
    if (running_) return MMSYSERR_NOERROR;
    ended_ = false;
    running_ = true;
    if (Pa_StartStream(stream_) != paNoError) {
      running_ = false;
      return MMSYSERR_ERROR;
    }
    quit_ = false;
    delivery_ = std::thread([this] { DeliveryLoop(); });
    return MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    StopStreamAndDelivery();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    StopStreamAndDelivery();
    // The audio callback no longer runs: this thread owns every buffer now.
    if (current_) {
      Complete(current_, filledBytes_);
      current_ = nullptr;
    }
    WAVEHDR* header = nullptr;
    while (added_.Pop(header)) Complete(header, 0);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    StopStreamAndDelivery();
    if (current_ || added_.Size() > 0) return WAVERR_STILLPLAYING;
    if (stream_) Pa_CloseStream(stream_);
    stream_ = nullptr;
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

 private:
  static int AudioCallback(const void* input, void*, unsigned long frameCount, const PaStreamCallbackTimeInfo*,
                           PaStreamCallbackFlags, void* userData) {
    static_cast<Device*>(userData)->Capture(static_cast<const uint8_t*>(input), frameCount);
    return paContinue;
  }
  static void StreamFinished(void* userData) {
    auto* self = static_cast<Device*>(userData);
    if (self->running_) {
      self->ended_ = true;
      self->wake_.release();
    }
  }

  // Runs on the audio thread: no allocation, no lock, no I/O.
  void Capture(const uint8_t* input, unsigned long frameCount) {
    framesSeen_.fetch_add(frameCount, std::memory_order_relaxed);
    if (!input) {
      service_.droppedFrames_.fetch_add(frameCount, std::memory_order_relaxed);
      return;
    }
    size_t remaining = size_t{frameCount} * 4;
    while (remaining > 0) {
      if (!current_) {
        if (!added_.Pop(current_)) {
          service_.droppedFrames_.fetch_add(remaining / 4, std::memory_order_relaxed);
          return;
        }
        filledBytes_ = 0;
      }
      const size_t room = (current_->dwBufferLength & ~3u) - filledBytes_;
      const size_t n = std::min(remaining, room);
      std::memcpy(current_->lpData + filledBytes_, input, n);
      input += n;
      remaining -= n;
      filledBytes_ += static_cast<uint32_t>(n);
      if (n == room) {
        current_->dwBytesRecorded = filledBytes_;
        done_.Push(current_);
        current_ = nullptr;
        wake_.release();
      }
    }
  }

  // The delivery thread: returns full buffers through the device callback
  // and reports a device that stopped delivering frames.
  void DeliveryLoop() {
    auto lastProgress = std::chrono::steady_clock::now();
    uint64_t lastSeen = framesSeen_.load();
    bool lostReported = false;
    for (;;) {
      wake_.try_acquire_for(std::chrono::milliseconds(100));
      WAVEHDR* header = nullptr;
      while (done_.Pop(header)) Complete(header, header->dwBytesRecorded);
      if (quit_) break;
      const auto now = std::chrono::steady_clock::now();
      const uint64_t seen = framesSeen_.load(std::memory_order_relaxed);
      if (seen != lastSeen) {
        lastSeen = seen;
        lastProgress = now;
      }
      const auto timeout = seen > 0 ? kSilentDeviceTimeout : kFirstFramesTimeout;
      if (!lostReported && (ended_ || now - lastProgress > timeout)) {
        lostReported = true;
        callback_(this, MM_WIM_ENDED, instance_, WIM_DEVICE_LOST, 0);
      }
    }
  }

  void Complete(WAVEHDR* header, uint32_t bytes) {
    ReturnBuffer(callback_, this, instance_, header, bytes);
  }

  void StopStreamAndDelivery() {
    if (running_) {
      running_ = false;
      if (stream_) Pa_StopStream(stream_);
    }
    if (delivery_.joinable()) {
      quit_ = true;
      wake_.release();
      delivery_.join();
    }
  }

  PortAudioWaveInService& service_;
  WaveInProc callback_;
  uintptr_t instance_;
  PaStream* stream_ = nullptr;
  SpscQueue<WAVEHDR*, 16> added_;  // queued by the user-interface thread, taken by the audio thread
  SpscQueue<WAVEHDR*, 16> done_;   // filled by the audio thread, returned by the delivery thread
  WAVEHDR* current_ = nullptr;     // audio thread only while the stream runs
  uint32_t filledBytes_ = 0;
  std::atomic<uint64_t> framesSeen_{0};
  std::atomic<bool> running_{false}, ended_{false}, quit_{false};
  std::counting_semaphore<1 << 20> wake_{0};
  std::thread delivery_;
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
  Pa_Terminate();
  return true;
}

PortAudioWaveInService::~PortAudioWaveInService() {
  device_.reset();
  if (initialized_) Pa_Terminate();
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

void PortAudioWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}
