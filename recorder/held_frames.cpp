#include "recorder/held_frames.h"

#include <algorithm>
#include <cstring>

void HeldFrames::Reset(int64_t position, uint64_t capacity) {
  head_ = size_ = 0;
  lent_ = nullptr;
  lentLeft_ = 0;
  begin_ = position;
  if (ring_.size() / 4 < capacity) {
    ring_.clear();
    ring_.shrink_to_fit();
    ring_.resize(4 * capacity);
  }
}

void HeldFrames::Grow(uint64_t capacity) {
  std::vector<uint8_t> bigger(4 * capacity);
  const uint64_t frames = ring_.size() / 4;
  const uint64_t first = std::min(size_, frames - head_);
  std::memcpy(bigger.data(), ring_.data() + 4 * head_, 4 * first);
  std::memcpy(bigger.data() + 4 * first, ring_.data(), 4 * (size_ - first));
  ring_.swap(bigger);
  head_ = 0;
}

void HeldFrames::Append(const uint8_t* frames, uint32_t count) {
  uint64_t capacity = ring_.size() / 4;
  if (size_ + count > capacity) Grow(std::max<uint64_t>(size_ + count, 2 * capacity));
  capacity = ring_.size() / 4;
  uint64_t tail = (head_ + size_) % capacity;
  uint32_t done = 0;
  while (done < count) {
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(count - done, capacity - tail));
    std::memcpy(ring_.data() + 4 * tail, frames + 4 * size_t{done}, 4 * size_t{n});
    done += n;
    tail = (tail + n) % capacity;
  }
  size_ += count;
}

void HeldFrames::Lend(const uint8_t* frames, uint32_t count) {
  Settle();
  lent_ = frames;
  lentLeft_ = count;
}

void HeldFrames::Settle() {
  if (lentLeft_ > 0) Append(lent_, static_cast<uint32_t>(lentLeft_));
  lent_ = nullptr;
  lentLeft_ = 0;
}

// Lets go of the oldest `count` frames: the store's own first, then the lent.
void HeldFrames::Forget(uint64_t count) {
  const uint64_t own = std::min(count, size_);
  head_ = ring_.empty() ? 0 : (head_ + own) % (ring_.size() / 4);
  size_ -= own;
  const uint64_t lent = std::min(count - own, lentLeft_);
  lent_ += 4 * lent;
  lentLeft_ -= lent;
  begin_ += static_cast<int64_t>(own + lent);
}

void HeldFrames::ForgetFrom(int64_t from) {
  if (from >= End()) return;
  const uint64_t keep = from <= begin_ ? 0 : static_cast<uint64_t>(from - begin_);
  if (keep >= size_) {
    lentLeft_ = keep - size_;
  } else {
    size_ = keep;
    lentLeft_ = 0;
  }
}
