#include "recorder/level_rule.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// Adds the squares of `count` stereo frames: of the left channel to `left`,
// of the right to `right`. A square is at most 2^30, so three of them add up
// in an unsigned 32-bit lane before the lanes are widened to 64 bits.
void AddSquaresPlain(const uint8_t* frames, uint32_t count, uint64_t& left, uint64_t& right) {
  for (uint32_t j = 0; j < count; ++j) {
    int16_t s[2];
    std::memcpy(s, frames + 4 * size_t{j}, 4);
    left += static_cast<uint64_t>(int64_t{s[0]} * s[0]);
    right += static_cast<uint64_t>(int64_t{s[1]} * s[1]);
  }
}

#if defined(__SSE2__)
uint64_t SumLanes(__m128i sum) {
  uint64_t lanes[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sum);
  return lanes[0] + lanes[1];
}

void AddSquaresSse2(const uint8_t* frames, uint32_t count, uint64_t& left, uint64_t& right) {
  const __m128i lowHalves = _mm_set1_epi32(0xFFFF), zero = _mm_setzero_si128();
  __m128i sumLeft = zero, sumRight = zero;
  uint32_t j = 0;
  for (; j + 12 <= count; j += 12) {
    __m128i l32 = zero, r32 = zero;
    for (uint32_t k = 0; k < 12; k += 4) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j + k}));
      const __m128i l = _mm_and_si128(x, lowHalves), r = _mm_srli_epi32(x, 16);
      l32 = _mm_add_epi32(l32, _mm_madd_epi16(l, l));
      r32 = _mm_add_epi32(r32, _mm_madd_epi16(r, r));
    }
    sumLeft = _mm_add_epi64(sumLeft, _mm_add_epi64(_mm_unpacklo_epi32(l32, zero), _mm_unpackhi_epi32(l32, zero)));
    sumRight = _mm_add_epi64(sumRight, _mm_add_epi64(_mm_unpacklo_epi32(r32, zero), _mm_unpackhi_epi32(r32, zero)));
  }
  left += SumLanes(sumLeft);
  right += SumLanes(sumRight);
  AddSquaresPlain(frames + 4 * size_t{j}, count - j, left, right);
}

// The eight 32-bit lanes of `lanes` added up in pairs as four 64-bit lanes.
__attribute__((target("avx2"))) inline __m256i Widen(__m256i lanes) {
  return _mm256_add_epi64(_mm256_cvtepu32_epi64(_mm256_castsi256_si128(lanes)),
                          _mm256_cvtepu32_epi64(_mm256_extracti128_si256(lanes, 1)));
}

__attribute__((target("avx2"))) void AddSquaresAvx2(const uint8_t* frames, uint32_t count, uint64_t& left,
                                                    uint64_t& right) {
  const __m256i lowHalves = _mm256_set1_epi32(0xFFFF), zero = _mm256_setzero_si256();
  __m256i sumLeft = zero, sumRight = zero;
  uint32_t j = 0;
  for (; j + 24 <= count; j += 24) {
    __m256i l32 = zero, r32 = zero;
    for (uint32_t k = 0; k < 24; k += 8) {
      const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + 4 * size_t{j + k}));
      const __m256i l = _mm256_and_si256(x, lowHalves), r = _mm256_srli_epi32(x, 16);
      l32 = _mm256_add_epi32(l32, _mm256_madd_epi16(l, l));
      r32 = _mm256_add_epi32(r32, _mm256_madd_epi16(r, r));
    }
    sumLeft = _mm256_add_epi64(sumLeft, Widen(l32));
    sumRight = _mm256_add_epi64(sumRight, Widen(r32));
  }
  uint64_t lanes[4];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), sumLeft);
  left += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), sumRight);
  right += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  AddSquaresSse2(frames + 4 * size_t{j}, count - j, left, right);
}
#endif

void AddSquares(const uint8_t* frames, uint32_t count, uint64_t& left, uint64_t& right) {
#if defined(__SSE2__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    AddSquaresAvx2(frames, count, left, right);
  } else {
    AddSquaresSse2(frames, count, left, right);
  }
#else
  AddSquaresPlain(frames, count, left, right);
#endif
}

// A wide sample at `at` as a share of full scale.
double WideSample(const uint8_t* at, const LevelRule::WideLayout& layout) {
  if (layout.floating) {
    float f;
    std::memcpy(&f, at, 4);
    return std::isfinite(f) ? f : 0.0;
  }
  // Little-endian, put in the top bytes of a 32-bit word to keep its sign.
  uint32_t word = 0;
  for (int b = 0; b < layout.bytesPerSample; ++b) word |= uint32_t{at[b]} << (8 * (4 - layout.bytesPerSample + b));
  return static_cast<int32_t>(word) / 2147483648.0;
}

}  // namespace

void LevelRule::Start(int32_t rate, bool automatic, double thresholdDb) {
  *this = LevelRule{};
  blockFrames_ = std::max(1, rate / kBlocksPerSecond);
  automatic_ = automatic;
  givenDb_ = thresholdDb;
  thresholdDb_ = automatic ? kLowestThresholdDb : thresholdDb;
}

uint32_t LevelRule::Take(const uint8_t* frames, uint32_t count) {
  const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(blockFrames_) - inBlock_);
  AddSquares(frames, n, sumLeft_, sumRight_);
  inBlock_ += n;
  blockDone_ = inBlock_ == static_cast<uint32_t>(blockFrames_);
  if (blockDone_) EndBlock();
  return n;
}

uint32_t LevelRule::TakeWide(const uint8_t* frames, uint32_t count, const WideLayout& layout) {
  const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(blockFrames_) - inBlock_);
  const size_t frameBytes = size_t{static_cast<uint32_t>(layout.bytesPerSample * layout.channels)};
  for (uint32_t j = 0; j < n; ++j) {
    const uint8_t* frame = frames + frameBytes * j;
    const double left = WideSample(frame, layout);
    const double right = layout.channels == 2 ? WideSample(frame + layout.bytesPerSample, layout) : left;
    wideLeft_ += left * left;
    wideRight_ += right * right;
  }
  inBlock_ += n;
  blockDone_ = inBlock_ == static_cast<uint32_t>(blockFrames_);
  if (blockDone_) EndBlock();
  return n;
}

void LevelRule::EndBlock() {
  // A block is measured either way, 16-bit or wide, never both.
  const double louder = std::max(static_cast<double>(std::max(sumLeft_, sumRight_)) / (32768.0 * 32768.0),
                                 std::max(wideLeft_, wideRight_));
  blockDb_ = louder == 0 ? kSilentBlockDb : 10.0 * std::log10(louder / blockFrames_);
  blockStart_ = nextStart_;
  nextStart_ += blockFrames_;
  inBlock_ = 0;
  sumLeft_ = sumRight_ = 0;
  wideLeft_ = wideRight_ = 0;
  if (automatic_) UpdateThreshold();

  ended_ = false;
  if (!silent_) {
    if (blockDb_ < thresholdDb_) {
      silent_ = true;
      silenceStart_ = blockStart_;
      loudBlocks_ = 0;
    }
    return;
  }
  if (blockDb_ < thresholdDb_ + kHysteresisDb) {
    loudBlocks_ = 0;  // a click or a crackle ends nothing
    return;
  }
  if (loudBlocks_++ == 0) onset_ = blockStart_;
  if (loudBlocks_ == kOnsetBlocks) {
    silent_ = false;
    ended_ = true;
    loudBlocks_ = 0;
  }
}

// The floor is a low share of the block levels heard so far, so clicks and
// the music itself leave it alone; the threshold sits a margin above it.
// A source with enough digital silence (a digital source's gaps) has no
// floor above it: the threshold is then the lowest.
void LevelRule::UpdateThreshold() {
  if (blockDb_ > kSilentBlockDb) {
    const int bin = std::clamp(static_cast<int>(std::floor((blockDb_ + kBins * kBinDb) / kBinDb)), 0, kBins - 1);
    ++histogram_[static_cast<size_t>(bin)];
    ++counted_;
    if (bin < floorBin_) ++below_;
  } else {
    ++silentBlocks_;
    ++below_;
  }
  // The floor's bin is the lowest whose blocks, with all below it, make up
  // the share: it moves a bin or two at a time as blocks come in.
  const uint64_t all = counted_ + silentBlocks_;
  const auto wanted = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(kFloorShare * all)));
  if (silentBlocks_ >= wanted) {
    floorDb_ = kSilentBlockDb;
    thresholdDb_ = kLowestThresholdDb;
    return;
  }
  while (floorBin_ < kBins - 1 && below_ + histogram_[static_cast<size_t>(floorBin_)] < wanted) {
    below_ += histogram_[static_cast<size_t>(floorBin_++)];
  }
  while (floorBin_ > 0 && below_ - silentBlocks_ > 0 &&
         below_ - histogram_[static_cast<size_t>(floorBin_ - 1)] >= wanted) {
    below_ -= histogram_[static_cast<size_t>(--floorBin_)];
  }
  floorDb_ = -kBins * kBinDb + (floorBin_ + 0.5) * kBinDb;
  thresholdDb_ = std::clamp(floorDb_ + kFloorMarginDb, kLowestThresholdDb, kHighestThresholdDb);
}
