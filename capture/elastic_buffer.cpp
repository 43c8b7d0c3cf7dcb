#include "capture/elastic_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

bool ElasticBuffer::Reserve(size_t capacity) {
  // Default-initialised: the allocator maps fresh pages and nothing writes
  // them until frames arrive.
  bytes_.reset(new (std::nothrow) uint8_t[capacity]);
  capacity_ = bytes_ ? capacity : 0;
  head_ = size_ = 0;
  return bytes_ != nullptr;
}

size_t ElasticBuffer::Put(const uint8_t* data, size_t count) {
  const size_t n = std::min(count, capacity_ - size_);
  size_t tail = (head_ + size_) % (capacity_ ? capacity_ : 1);
  for (size_t done = 0; done < n;) {
    const size_t piece = std::min(n - done, capacity_ - tail);
    if (data) {
      std::memcpy(bytes_.get() + tail, data + done, piece);
    } else {
      std::memset(bytes_.get() + tail, 0, piece);
    }
    done += piece;
    tail = (tail + piece) % capacity_;
  }
  size_ += n;
  return n;
}

size_t ElasticBuffer::Front(const uint8_t*& data) const {
  data = bytes_.get() + head_;
  return std::min(size_, capacity_ - head_);
}

void ElasticBuffer::Pop(size_t count) {
  count = std::min(count, size_);
  head_ = capacity_ ? (head_ + count) % capacity_ : 0;
  size_ -= count;
}
