#include "capture/replay/file_replay_wave_in.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class FileReplayWaveInService::Device : public WaveInDevice {
 public:
  /// `input`: open, in a layout that is kept; it outlives the device.
  Device(WaveInProc callback, uintptr_t instance, ReplayInput& input, bool paced)
      : callback_(callback), instance_(instance), input_(input), rate_(input.Layout().rate), paced_(paced) {}
  ~Device() override { StopThread(); }

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
    callback_(this, MM_WIM_CLOSE, instance_, 0, 0);
    return MMSYSERR_NOERROR;
  }

  // Unpaced: every queued buffer, on the calling thread, filled in one go
  // (one read of a file for all of them).
  size_t DeliverQueued() {
    if (paced_ || !started_ || ended_) return 0;
    WAVEHDR* batch[kMaxBatch];
    size_t count = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (count < kMaxBatch && !queue_.empty()) {
        batch[count++] = queue_.front();
        queue_.pop_front();
      }
    }
    uint32_t frames[kMaxBatch];
    Fill(batch, frames, count);
    for (size_t k = 0; k < count; ++k) {
      if (!Complete(batch[k], frames[k])) {
        // The file ended: buffers past its end wait in the queue for the reset.
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t rest = count; rest > k + 1; --rest) queue_.push_front(batch[rest - 1]);
        return k + 1;
      }
    }
    return count;
  }

 private:
  static constexpr size_t kMaxBatch = kMaxReadPieces;  // more than the ring ever queues

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
      uint32_t n = 0;
      Fill(&header, &n, 1);
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

  // Reads the next frames into `count` buffers (not yet delivered), one
  // after the other; frames[k] tells how many buffer k got. A buffer that
  // is not filled holds the input's last frames; those after it get none.
  void Fill(WAVEHDR* const* headers, uint32_t* frames, size_t count) {
    int16_t* buffers[kMaxBatch];
    uint32_t want[kMaxBatch];
    for (size_t k = 0; k < count; ++k) {
      buffers[k] = reinterpret_cast<int16_t*>(headers[k]->lpData);
      want[k] = headers[k]->dwBufferLength / 4;
    }
    input_.ReadStereo(buffers, want, frames, count);
  }

  // Delivers a buffer filled with `n` frames; one that is not full holds the
  // input's last frames, after which the device reports the end. Returns
  // false once the input has ended.
  bool Complete(WAVEHDR* header, uint32_t n) {
    const bool full = n == header->dwBufferLength / 4;
    position_ += n;
    ReturnBuffer(callback_, this, instance_, header, n * 4);
    if (full) return true;
    ended_ = true;
    callback_(this, MM_WIM_ENDED, instance_, WIM_END_OF_INPUT, 0);
    return false;
  }

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
  ReplayInput& input_;         // read by the delivering thread only
  int32_t rate_;
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

FileReplayWaveInService::FileReplayWaveInService(std::unique_ptr<ReplayInput> input, bool paced)
    : input_(std::move(input)), paced_(paced) {}

FileReplayWaveInService::~FileReplayWaveInService() = default;

MMRESULT FileReplayWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                       uintptr_t instance) {
  // The input is read once, from its start: one device per replay.
  if (device_ || opened_) return MMSYSERR_ERROR;
  if (!input_ || input_->Layout().keptBits == 0 || input_->Layout().rate <= 0) return MMSYSERR_BADDEVICEID;
  if (format.nSamplesPerSec != static_cast<uint32_t>(input_->Layout().rate) || format.nChannels != 2 ||
      format.wBitsPerSample != 16) {
    return MMSYSERR_INVALPARAM;  // a replay delivers the input at its own rate
  }
  opened_ = true;
  droppedFrames_ = 0;
  device_ = std::make_unique<Device>(callback, instance, *input_, paced_);
  *handle = device_.get();
  callback(*handle, MM_WIM_OPEN, instance, 0, 0);
  return MMSYSERR_NOERROR;
}

size_t FileReplayWaveInService::DeliverQueued() { return device_ ? device_->DeliverQueued() : 0; }

void FileReplayWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}
