#include "capture/file_replay_wave_in.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "wavefile/wavefile.h"

class FileReplayWaveInService::Device : public WaveInDevice {
 public:
  Device(WaveInProc callback, uintptr_t instance, int32_t rate, int64_t frames, bool paced)
      : callback_(callback), instance_(instance), rate_(rate), frames_(frames), paced_(paced) {}
  ~Device() override {
    StopThread();
    WaveCloseRead();
  }

  MMRESULT Prepare(WAVEHDR* header) override {
    return MarkPrepared(header);
  }
  MMRESULT Unprepare(WAVEHDR* header) override {
    return MarkUnprepared(header);
  }
  MMRESULT AddBuffer(WAVEHDR* header) override {
    if (MMRESULT r = MarkQueued(header); r != MMSYSERR_NOERROR) return r;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(header);
    }
    if (paced_) wake_.notify_one();
    return MMSYSERR_NOERROR;
  }

  MMRESULT Start() override {
    started_ = true;
    if (paced_ && !thread_.joinable()) {
      quit_ = false;
      thread_ = std::thread([this] { Replay(); });
    }
    return MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    StopThread();
    started_ = false;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    StopThread();
    started_ = false;
    std::deque<WAVEHDR*> left;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      left.swap(queue_);
    }
    for (WAVEHDR* header : left) ReturnBuffer(callback_, this, instance_, header, 0);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    StopThread();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queue_.empty()) return WAVERR_STILLPLAYING;
    }
    WaveCloseRead();
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

  // Unpaced: every queued buffer, on the calling thread.
  size_t DeliverQueued() {
    if (paced_ || !started_ || ended_) return 0;
    size_t delivered = 0;
    for (;;) {
      WAVEHDR* header = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty()) return delivered;
        header = queue_.front();
        queue_.pop_front();
      }
      ++delivered;
      if (!FillAndComplete(header)) return delivered;
    }
  }

 private:
  // The replay thread: fills the oldest queued buffer with the next frames.
  void Replay() {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      WAVEHDR* header = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) return;
        header = queue_.front();
        queue_.pop_front();
      }
      const uint32_t n = Fill(header);
      // A live input hands a buffer over once its last frame has been heard.
      const auto due = start + std::chrono::microseconds((position_ + n) * 1000000 / rate_);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_until(lock, due, [this] { return quit_.load(); })) {
          queue_.push_front(header);  // not delivered: it goes back for the reset
          return;
        }
      }
      if (!Complete(header, n)) return;
    }
  }

  // Copies the next frames into a buffer (not yet delivered); returns how many.
  uint32_t Fill(WAVEHDR* header) {
    const uint32_t capacity = header->dwBufferLength / 4;
    const uint32_t n = static_cast<uint32_t>(std::min<int64_t>(capacity, frames_ - position_));
    WaveGetFrames(static_cast<int32_t>(position_), n, reinterpret_cast<int16_t*>(header->lpData));
    return n;
  }

  // Delivers a buffer filled with `n` frames; after the file's last frame the
  // device reports the end. Returns false once the file has ended.
  bool Complete(WAVEHDR* header, uint32_t n) {
    position_ += n;
    ReturnBuffer(callback_, this, instance_, header, n * 4);
    if (position_ < frames_) return true;
    ended_ = true;
    callback_(this, MM_WIM_ENDED, instance_, WIM_END_OF_INPUT, 0);
    return false;
  }

  bool FillAndComplete(WAVEHDR* header) { return Complete(header, Fill(header)); }

  void StopThread() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  WaveInProc callback_;
  uintptr_t instance_;
  int32_t rate_;
  int64_t frames_;
  bool paced_;
  int64_t position_ = 0;       // next frame to deliver: the replay thread's while it runs
  bool started_ = false;       // thread that starts and stops the device only
  bool ended_ = false;         // the delivering thread only
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<WAVEHDR*> queue_;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

FileReplayWaveInService::FileReplayWaveInService(std::string path, bool paced)
    : path_(std::move(path)), paced_(paced) {}

FileReplayWaveInService::~FileReplayWaveInService() = default;

int FileReplayWaveInService::Inspect(const std::string& path, int32_t& rate, int64_t& frames) {
  int32_t probeRate, bits, channels, offset;
  uint32_t dataSize;
  int result = WaveProbe(path.c_str(), probeRate, bits, channels, dataSize, offset);
  if (result != WAVE_OK) return result;
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return WAVE_ERR_FORMAT;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return WAVE_ERR_NOFILE;
  // A header may promise more than the file holds (a recording cut short).
  const int64_t bytes = std::min<int64_t>(dataSize, std::max<int64_t>(0, int64_t(st.st_size) - offset));
  rate = probeRate;
  // The reader reaches the first 2 GiB of the data.
  frames = std::min<int64_t>(bytes, int64_t{INT32_MAX} + 1) / ((bits / 8) * channels);
  return WAVE_OK;
}

MMRESULT FileReplayWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                       uintptr_t instance) {
  if (device_) return MMSYSERR_ERROR;
  int32_t rate = 0;
  int64_t frames = 0;
  if (Inspect(path_, rate, frames) != WAVE_OK || rate <= 0) return MMSYSERR_BADDEVICEID;
  if (format.nSamplesPerSec != static_cast<uint32_t>(rate) || format.nChannels != 2 || format.wBitsPerSample != 16) {
    return MMSYSERR_INVALPARAM;  // a replay delivers the file at its own rate
  }
  int32_t openRate, bits, channels;
  uint32_t dataSize;
  if (WaveOpenRead(path_.c_str(), openRate, bits, channels, dataSize) != WAVE_OK) return MMSYSERR_BADDEVICEID;
  droppedFrames_ = 0;
  device_ = std::make_unique<Device>(callback, instance, rate, frames, paced_);
  *handle = device_.get();
  callback(*handle, MM_WIM_OPEN, instance, 0, 0);
  return MMSYSERR_NOERROR;
}

size_t FileReplayWaveInService::DeliverQueued() { return device_ ? device_->DeliverQueued() : 0; }

void FileReplayWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}
