#include "recorder/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Lowest and highest sample of each channel over `count` frames.
void MinMax(const uint8_t* frames, uint32_t count, int16_t low[2], int16_t high[2]) {
  uint32_t j = 0;
#if defined(__SSE2__)
  if (count >= 8) {
    // Eight samples a vector, left and right alternating: even lanes are left.
    __m128i lo0 = _mm_set1_epi16(INT16_MAX), hi0 = _mm_set1_epi16(INT16_MIN), lo1 = lo0, hi1 = hi0;
    for (; j + 8 <= count; j += 8) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j}));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j} + 16));
      lo0 = _mm_min_epi16(lo0, a);
      hi0 = _mm_max_epi16(hi0, a);
      lo1 = _mm_min_epi16(lo1, b);
      hi1 = _mm_max_epi16(hi1, b);
    }
    int16_t l[8], h[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(l), _mm_min_epi16(lo0, lo1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_max_epi16(hi0, hi1));
    for (int k = 0; k < 8; ++k) {
      low[k & 1] = std::min(low[k & 1], l[k]);
      high[k & 1] = std::max(high[k & 1], h[k]);
    }
  }
#endif
  for (; j < count; ++j) {
    int16_t sample[2];
    std::memcpy(sample, frames + 4 * size_t{j}, 4);
    for (int c = 0; c < 2; ++c) {
      low[c] = std::min(low[c], sample[c]);
      high[c] = std::max(high[c], sample[c]);
    }
  }
}

}  // namespace

void LevelMeter::Reset(int rate) {
  *this = LevelMeter{};
  sliceFrames_ = static_cast<uint32_t>(std::max(1, rate / 100));
  holdFrames_ = int64_t{std::max(1, rate)} * kHoldSeconds;
}

void LevelMeter::Measure(const uint8_t* frames, uint32_t count) {
  if (count > 0) measured_ = true;
  while (count > 0) {
    const uint32_t n = std::min(count, sliceFrames_ - inSlice_);
    int16_t low[2] = {INT16_MAX, INT16_MAX}, high[2] = {INT16_MIN, INT16_MIN};
    MinMax(frames, n, low, high);
    for (int c = 0; c < 2; ++c) {
      Channel& ch = channels_[c];
      ch.current = std::max({ch.current, -int32_t{low[c]}, int32_t{high[c]}});
      if (low[c] == INT16_MIN || high[c] == INT16_MAX) ch.clipAge = 0;
    }
    frames += 4 * size_t{n};
    count -= n;
    inSlice_ += n;
    if (inSlice_ == sliceFrames_) EndSlice();
  }
}

void LevelMeter::EndSlice() {
  for (Channel& ch : channels_) {
    ch.slices[nextSlot_] = ch.current;
    ch.holdAge += inSlice_;
    if (ch.current >= ch.hold || ch.holdAge > holdFrames_) {
      ch.hold = std::max(ch.current, ch.holdAge > holdFrames_ ? 0 : ch.hold);
      ch.holdAge = 0;
    }
    if (ch.clipAge >= 0) ch.clipAge += inSlice_;
    if (ch.clipAge > holdFrames_) ch.clipAge = -1;
    ch.current = 0;
  }
  nextSlot_ = (nextSlot_ + 1) % kSlicesPerWindow;
  inSlice_ = 0;
}

LevelMeter::Reading LevelMeter::Read(int channel) const {
  const Channel& ch = channels_[channel];
  Reading r;
  // The window is the last ten whole slices and the slice being filled.
  r.peak = std::max(ch.current, *std::max_element(ch.slices.begin(), ch.slices.end()));
  r.hold = std::max(ch.hold, r.peak);
  r.clipped = ch.clipAge >= 0;
  return r;
}

std::string LevelMeter::Decibels(int32_t magnitude) {
  if (magnitude <= 0) return "-inf";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(magnitude / 32768.0));
  return text;
}

std::string LevelMeter::Text() const {
  std::string text;
  for (int c = 0; c < 2; ++c) {
    const Reading r = Read(c);
    text += c ? "  R " : "L ";
    text += Decibels(r.peak) + " (" + Decibels(r.hold) + (r.clipped ? " CLIP)" : ")");
  }
  return text + " dBFS";
}
