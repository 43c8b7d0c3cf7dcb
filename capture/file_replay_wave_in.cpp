#include "capture/file_replay_wave_in.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/uio.h>
#endif

#include <algorithm>
#include <climits>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "wavefile/wavefile.h"

namespace {

// What a replay needs to know of its input file.
struct InputLayout {
  int32_t rate = 0, bits = 0, channels = 0;
  int32_t dataOffset = 0;  // bytes before the first frame
  int64_t frames = 0;      // frames the file really holds, within the reader's reach
};

int InspectLayout(const std::string& path, InputLayout& layout) {
  uint32_t dataSize;
  int result = WaveProbe(path.c_str(), layout.rate, layout.bits, layout.channels, dataSize, layout.dataOffset);
  if (result != WAVE_OK) return result;
  if ((layout.bits != 8 && layout.bits != 16) || (layout.channels != 1 && layout.channels != 2)) return WAVE_ERR_FORMAT;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return WAVE_ERR_NOFILE;
  // A header may promise more than the file holds (a recording cut short).
  const int64_t bytes = std::min<int64_t>(dataSize, std::max<int64_t>(0, int64_t(st.st_size) - layout.dataOffset));
  // The reader reaches the first 2 GiB of the data.
  layout.frames = std::min<int64_t>(bytes, int64_t{INT32_MAX} + 1) / ((layout.bits / 8) * layout.channels);
  return WAVE_OK;
}

// A file descriptor, closed when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

class FileReplayWaveInService::Device : public WaveInDevice {
 public:
  /// `direct`: the file descriptor of a 16-bit stereo input, whose data bytes
  /// are the frames themselves and are read straight into the buffers
  /// (-1: other layouts, converted through the reader).
  Device(WaveInProc callback, uintptr_t instance, const InputLayout& layout, bool paced, int direct)
      : callback_(callback),
        instance_(instance),
        rate_(layout.rate),
        frames_(layout.frames),
        dataOffset_(layout.dataOffset),
        paced_(paced),
        direct_(direct) {}
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

  // Unpaced: every queued buffer, on the calling thread, filled in one go.
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
  static constexpr size_t kMaxBatch = 16;  // more than the ring ever queues

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

  // Copies the next frames into `count` buffers (not yet delivered), one
  // after the other from the current position; frames[k] tells how many
  // buffer k got. What cannot be read reads as silence, as from the reader.
  void Fill(WAVEHDR* const* headers, uint32_t* frames, size_t count) {
    int64_t at = position_;
#ifdef _WIN32
    // Windows has no scattered read: every buffer comes through the reader.
    for (size_t k = 0; k < count; ++k) {
      frames[k] = static_cast<uint32_t>(std::clamp<int64_t>(frames_ - at, 0, headers[k]->dwBufferLength / 4));
      WaveGetFrames(static_cast<int32_t>(at), frames[k], reinterpret_cast<int16_t*>(headers[k]->lpData));
      at += frames[k];
    }
#else
    iovec parts[kMaxBatch];
    for (size_t k = 0; k < count; ++k) {
      frames[k] = static_cast<uint32_t>(std::clamp<int64_t>(frames_ - at, 0, headers[k]->dwBufferLength / 4));
      if (direct_.get() < 0) {
        WaveGetFrames(static_cast<int32_t>(at), frames[k], reinterpret_cast<int16_t*>(headers[k]->lpData));
      }
      parts[k] = {headers[k]->lpData, size_t{frames[k]} * 4};
      at += frames[k];
    }
    if (direct_.get() < 0) return;
    // One read for the whole batch, resumed after a short one.
    off_t offset = dataOffset_ + off_t{position_} * 4;
    iovec* part = parts;
    size_t left = count;
    while (left > 0) {
      const ssize_t got = ::preadv(direct_.get(), part, static_cast<int>(left), offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // the file shrank or cannot be read
      offset += got;
      size_t done = static_cast<size_t>(got);
      while (left > 0 && done >= part->iov_len) {
        done -= part->iov_len;
        ++part;
        --left;
      }
      if (left > 0) {
        part->iov_base = static_cast<char*>(part->iov_base) + done;
        part->iov_len -= done;
      }
    }
    for (; left > 0; ++part, --left) std::memset(part->iov_base, 0, part->iov_len);
#endif
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
  off_t dataOffset_;
  bool paced_;
  UniqueFd direct_;
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
  InputLayout layout;
  const int result = InspectLayout(path, layout);
  if (result != WAVE_OK) return result;
  rate = layout.rate;
  frames = layout.frames;
  return WAVE_OK;
}

MMRESULT FileReplayWaveInService::Open(HWAVEIN* handle, const WAVEFORMATEX& format, WaveInProc callback,
                                       uintptr_t instance) {
  if (device_) return MMSYSERR_ERROR;
  InputLayout layout;
  if (InspectLayout(path_, layout) != WAVE_OK || layout.rate <= 0) return MMSYSERR_BADDEVICEID;
  if (format.nSamplesPerSec != static_cast<uint32_t>(layout.rate) || format.nChannels != 2 ||
      format.wBitsPerSample != 16) {
    return MMSYSERR_INVALPARAM;  // a replay delivers the file at its own rate
  }
  int direct = -1;
#ifdef _WIN32
  const bool straight = false;  // no scattered read: the reader serves every layout
#else
  const bool straight = layout.bits == 16 && layout.channels == 2;
#endif
  if (straight) {
#ifndef _WIN32
    direct = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (direct < 0) return MMSYSERR_BADDEVICEID;
  } else {
    int32_t openRate, bits, channels;
    uint32_t dataSize;
    if (WaveOpenRead(path_.c_str(), openRate, bits, channels, dataSize) != WAVE_OK) return MMSYSERR_BADDEVICEID;
  }
  droppedFrames_ = 0;
  device_ = std::make_unique<Device>(callback, instance, layout, paced_, direct);
  *handle = device_.get();
  callback(*handle, MM_WIM_OPEN, instance, 0, 0);
  return MMSYSERR_NOERROR;
}

size_t FileReplayWaveInService::DeliverQueued() { return device_ ? device_->DeliverQueued() : 0; }

void FileReplayWaveInService::Release(HWAVEIN handle) {
  if (handle == device_.get()) device_.reset();
}
