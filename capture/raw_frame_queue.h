// A replay's frames as its input holds them (24-bit, 32-bit or float, mono
// or stereo, little-endian), kept beside the 16-bit stereo frames the engine
// analyses, so that a track writer can write the input's own bytes. The
// replay puts each frame in as it delivers it; the writer takes them out in
// the same order, on another thread when the replay is paced. Its memory
// grows as far as the writer lags behind (the engine may hold back many
// seconds of frames before it writes them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

class RawFrameQueue {
 public:
  /// A queue of frames of `bytesPerFrame` bytes each (3 to 8).
  explicit RawFrameQueue(uint32_t bytesPerFrame) : bytesPerFrame_(bytesPerFrame) {}
  RawFrameQueue(const RawFrameQueue&) = delete;
  RawFrameQueue& operator=(const RawFrameQueue&) = delete;

  uint32_t BytesPerFrame() const { return bytesPerFrame_; }

  /// Appends `count` frames (count × BytesPerFrame bytes) from `frames`.
  void Put(const uint8_t* frames, size_t count);
  /// Moves up to `count` of the oldest frames into `into`, which holds
  /// count × BytesPerFrame bytes. Returns how many were there to move.
  size_t Take(uint8_t* into, size_t count);
  /// Drops up to `count` of the oldest frames. Returns how many were dropped.
  size_t Drop(size_t count);
  /// Frames waiting.
  size_t Frames() const;
  /// Copies, without taking them, up to `count` frames into `into` from the
  /// frame numbered `first` (the first frame ever put is 0). Returns how many
  /// were there to copy: 0 once that frame was taken or dropped.
  size_t Peek(uint64_t first, uint8_t* into, size_t count) const;

 private:
  const uint32_t bytesPerFrame_;
  mutable std::mutex mutex_;
  std::vector<uint8_t> bytes_;  // under mutex_: the frames waiting start at head_
  size_t head_ = 0;
  uint64_t gone_ = 0;  // under mutex_: frames taken or dropped so far
};
