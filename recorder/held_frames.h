// Frames the engine has walked but not yet written: the frames of a silence
// are held back until the engine knows where a split falls, so that a track
// can start with a lead-in of its gap and a trim can leave silence out.
// Frames are numbered by their position in the recording.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

class HeldFrames {
 public:
  /// Empties the store; the next frame appended is at `position`. Keeps room
  /// for `capacity` stereo frames (more is taken when needed).
  void Reset(int64_t position, uint64_t capacity);

  /// Takes `count` stereo frames (4 bytes each) after the last, where they
  /// stand: they are handed out from there, without a copy, until Settle.
  void Lend(const uint8_t* frames, uint32_t count);
  /// Copies the lent frames not handed out yet into the store's own memory;
  /// the memory they were lent from may then go.
  void Settle();

  /// Position of the oldest frame held, and one past the newest.
  int64_t Begin() const { return begin_; }
  int64_t End() const { return begin_ + static_cast<int64_t>(size_ + lentLeft_); }

  /// Hands the frames held before position `upTo` to `out(frames, count)`
  /// in order (in a few pieces) and lets them go. Stops at the first piece
  /// `out` refuses (returns false) and returns false; the frames of a
  /// refused piece are let go all the same.
  template <class Out>
  bool Release(int64_t upTo, Out&& out) {
    while (begin_ < upTo && size_ + lentLeft_ > 0) {
      const uint64_t wanted = static_cast<uint64_t>(upTo - begin_);
      const uint8_t* at = lent_;
      uint64_t contiguous = lentLeft_;
      if (size_ > 0) {
        at = ring_.data() + 4 * head_;
        contiguous = std::min<uint64_t>(size_, ring_.size() / 4 - head_);
      }
      const auto n = static_cast<uint32_t>(std::min<uint64_t>({wanted, contiguous, UINT32_MAX}));
      Forget(n);
      if (!out(at, n)) return false;
    }
    return true;
  }

  /// Forgets the frames held from position `from` on (the recording ends before them).
  void ForgetFrom(int64_t from);

 private:
  void Append(const uint8_t* frames, uint32_t count);
  void Forget(uint64_t count);
  void Grow(uint64_t capacity);

  std::vector<uint8_t> ring_;  // 4 bytes a frame
  uint64_t head_ = 0;          // frame index in ring_ of the oldest frame
  uint64_t size_ = 0;          // frames held in ring_
  int64_t begin_ = 0;          // position of the oldest frame
  // Lent frames, after those in ring_.
  const uint8_t* lent_ = nullptr;
  uint64_t lentLeft_ = 0;
};
