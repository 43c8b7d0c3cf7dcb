// The slack below the capture ring (capture/capture_feed.h): a first-in
// first-out store of bytes, reserved once when the device opens and used by
// one thread only (the audio thread). Its memory is reserved, not touched:
// pages are only brought in when a stall of the thread that hands buffers
// back actually fills it, so a recording without stalls costs no memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class ElasticBuffer {
 public:
  /// Reserves `capacity` bytes. False when the memory cannot be had.
  bool Reserve(size_t capacity);
  /// Bytes held.
  size_t Size() const { return size_; }
  /// Appends up to `count` bytes of `data` (zeros when it is null); returns how many fit.
  size_t Put(const uint8_t* data, size_t count);
  /// The oldest bytes held that lie in one piece: sets `data` and returns
  /// their count (0 when empty).
  size_t Front(const uint8_t*& data) const;
  /// Forgets the `count` oldest bytes (at most Size()).
  void Pop(size_t count);

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_ = 0;
  size_t head_ = 0;  // index of the oldest byte
  size_t size_ = 0;
};
