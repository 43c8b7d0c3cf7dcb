#include "capture/raw_frame_queue.h"

#include <algorithm>
#include <cstring>

void RawFrameQueue::Put(const uint8_t* frames, size_t count) {
  const size_t bytes = count * bytesPerFrame_;
  std::lock_guard<std::mutex> lock(mutex_);
  // The frames already taken make room once they are half the memory.
  if (head_ > 0 && head_ >= bytes_.size() / 2) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  bytes_.insert(bytes_.end(), frames, frames + bytes);
}

size_t RawFrameQueue::Take(uint8_t* into, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t n = std::min(count, (bytes_.size() - head_) / bytesPerFrame_);
  if (n == 0) return 0;
  std::memcpy(into, bytes_.data() + head_, n * bytesPerFrame_);
  head_ += n * bytesPerFrame_;
  gone_ += n;
  return n;
}

size_t RawFrameQueue::Drop(size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t n = std::min(count, (bytes_.size() - head_) / bytesPerFrame_);
  head_ += n * bytesPerFrame_;
  gone_ += n;
  return n;
}

size_t RawFrameQueue::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return (bytes_.size() - head_) / bytesPerFrame_;
}

size_t RawFrameQueue::Peek(uint64_t first, uint8_t* into, size_t count) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t waiting = (bytes_.size() - head_) / bytesPerFrame_;
  if (first < gone_ || first - gone_ >= waiting) return 0;
  const size_t skip = static_cast<size_t>(first - gone_);
  const size_t n = std::min(count, static_cast<size_t>(waiting) - skip);
  std::memcpy(into, bytes_.data() + head_ + skip * bytesPerFrame_, n * bytesPerFrame_);
  return n;
}
