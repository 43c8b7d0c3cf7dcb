// The stillness rule's walk over a block of stereo frames: a frame is still
// when each channel moves by less than the threshold from the frame before.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct Stillness {
  int32_t run, prevLeft, prevRight;
};

/// Frame j's two samples, sign-extended.
inline void ReadFrame(const uint8_t* frames, uint32_t j, int32_t& left, int32_t& right) {
  int16_t sample[2];
  std::memcpy(sample, frames + 4 * size_t{j}, 4);
  left = sample[0];
  right = sample[1];
}

/// A frame is still when each channel moves by less than the threshold.
inline bool IsStill(int32_t prevLeft, int32_t prevRight, int32_t left, int32_t right, int32_t threshold) {
  return std::abs(prevLeft - left) < threshold && std::abs(prevRight - right) < threshold;
}

/// Walks frames [j, end) while nothing happens but the run counting: stops at
/// the first frame that would light the indicator (the run reaching `tenth`)
/// or end a run of at least `tenth` (clearing it, perhaps splitting), and
/// leaves that frame unhandled. Returns its index, or `end`. `state` follows.
uint32_t WalkQuietFrames(const uint8_t* frames, uint32_t j, uint32_t end, int32_t threshold, int32_t tenth,
                         Stillness& state);
