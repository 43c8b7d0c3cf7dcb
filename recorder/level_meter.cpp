#include "recorder/level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TAPEWELL_METER_AVX2 1
#endif

namespace {

#if defined(__SSE2__)
// Folds the eight lanes (left, right, left, right...) so that lanes 0 and 1
// hold the left and the right result.
inline __m128i FoldMax(__m128i v) {
  v = _mm_max_epi16(v, _mm_shuffle_epi32(v, 0x4E));
  return _mm_max_epi16(v, _mm_shuffle_epi32(v, 0xB1));
}
inline __m128i FoldMin(__m128i v) {
  v = _mm_min_epi16(v, _mm_shuffle_epi32(v, 0x4E));
  return _mm_min_epi16(v, _mm_shuffle_epi32(v, 0xB1));
}
#endif

#if defined(TAPEWELL_METER_AVX2)
// MinMax's wide path, where the processor has AVX2: sixteen frames in two
// vectors an iteration. Returns the frames it took (a multiple of 16).
__attribute__((target("avx2"))) uint32_t MinMaxWide(const uint8_t* frames, uint32_t count, int16_t low[2],
                                                    int16_t high[2]) {
  if (count < 16) return 0;
  const __m256i* v = reinterpret_cast<const __m256i*>(frames);
  __m256i lo = _mm256_loadu_si256(v), hi = lo;
  uint32_t j = 0;
  for (; j + 16 <= count; j += 16, v += 2) {
    const __m256i a = _mm256_loadu_si256(v), b = _mm256_loadu_si256(v + 1);
    lo = _mm256_min_epi16(lo, _mm256_min_epi16(a, b));
    hi = _mm256_max_epi16(hi, _mm256_max_epi16(a, b));
  }
  const __m128i lo128 = _mm_min_epi16(_mm256_castsi256_si128(lo), _mm256_extracti128_si256(lo, 1));
  const __m128i hi128 = _mm_max_epi16(_mm256_castsi256_si128(hi), _mm256_extracti128_si256(hi, 1));
  const uint32_t l = static_cast<uint32_t>(_mm_cvtsi128_si32(FoldMin(lo128)));
  const uint32_t h = static_cast<uint32_t>(_mm_cvtsi128_si32(FoldMax(hi128)));
  low[0] = std::min(low[0], static_cast<int16_t>(l & 0xFFFF));
  low[1] = std::min(low[1], static_cast<int16_t>(l >> 16));
  high[0] = std::max(high[0], static_cast<int16_t>(h & 0xFFFF));
  high[1] = std::max(high[1], static_cast<int16_t>(h >> 16));
  return j;
}
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

#endif

// Lowest and highest sample of each channel over `count` frames.
inline void MinMax(const uint8_t* frames, uint32_t count, int16_t low[2], int16_t high[2]) {
  uint32_t j = 0;
#if defined(TAPEWELL_METER_AVX2)
  if (kHasAvx2) j = MinMaxWide(frames, count, low, high);
#endif
#if defined(__SSE2__)
  if (count - j >= 16) {
    // Sixteen frames an iteration in four vectors of eight samples each.
    const __m128i* v = reinterpret_cast<const __m128i*>(frames + 4 * size_t{j});
    __m128i lo0 = _mm_loadu_si128(v), hi0 = lo0, lo1 = lo0, hi1 = lo0;
    for (; j + 16 <= count; j += 16, v += 4) {
      const __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1);
      const __m128i c = _mm_loadu_si128(v + 2), d = _mm_loadu_si128(v + 3);
      lo0 = _mm_min_epi16(lo0, _mm_min_epi16(a, b));
      hi0 = _mm_max_epi16(hi0, _mm_max_epi16(a, b));
      lo1 = _mm_min_epi16(lo1, _mm_min_epi16(c, d));
      hi1 = _mm_max_epi16(hi1, _mm_max_epi16(c, d));
    }
    const uint32_t l = static_cast<uint32_t>(_mm_cvtsi128_si32(FoldMin(_mm_min_epi16(lo0, lo1))));
    const uint32_t h = static_cast<uint32_t>(_mm_cvtsi128_si32(FoldMax(_mm_max_epi16(hi0, hi1))));
    low[0] = std::min(low[0], static_cast<int16_t>(l & 0xFFFF));
    low[1] = std::min(low[1], static_cast<int16_t>(l >> 16));
    high[0] = std::max(high[0], static_cast<int16_t>(h & 0xFFFF));
    high[1] = std::max(high[1], static_cast<int16_t>(h >> 16));
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
  const bool clipLight = clipLight_;  // lit until the user puts it out, across takes
  *this = LevelMeter{};
  clipLight_ = clipLight;
  // About 20 ms, in whole runs of 16 frames so that the vector loops leave no
  // rest: 880 frames at 44.1 kHz, 960 at 48 kHz, 640 at 32 kHz.
  sliceFrames_ = static_cast<uint32_t>(std::max(16, (rate / 50 + 8) / 16 * 16));
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
      if (low[c] == INT16_MIN || high[c] == INT16_MAX) {
        ch.clipAge = 0;
        clipLight_ = true;
      }
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
  // The window is the last five whole slices and the slice being filled.
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
