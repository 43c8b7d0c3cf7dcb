#include "recorder/level_rule.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Adds the squares of `count` stereo frames: of the left channel to `left`,
// of both channels to `all`.
void AddSquares(const uint8_t* frames, uint32_t count, uint64_t& left, uint64_t& all) {
  uint32_t j = 0;
#if defined(__SSE2__)
  // Four frames at a time: a lane's L*L + R*R reaches 2^31 at the most, so
  // the lanes are summed as unsigned and widened to 64 bits every step.
  const __m128i lowHalves = _mm_set1_epi32(0xFFFF);
  __m128i sumLeft = _mm_setzero_si128(), sumAll = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  auto widenAdd = [&](__m128i& sum, __m128i lanes) {
    sum = _mm_add_epi64(sum, _mm_unpacklo_epi32(lanes, zero));
    sum = _mm_add_epi64(sum, _mm_unpackhi_epi32(lanes, zero));
  };
  for (; j + 4 <= count; j += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 4 * size_t{j}));
    const __m128i l = _mm_and_si128(x, lowHalves);
    widenAdd(sumAll, _mm_madd_epi16(x, x));
    widenAdd(sumLeft, _mm_madd_epi16(l, l));
  }
  uint64_t lanes[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sumLeft);
  left += lanes[0] + lanes[1];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sumAll);
  all += lanes[0] + lanes[1];
#endif
  for (; j < count; ++j) {
    int16_t s[2];
    std::memcpy(s, frames + 4 * size_t{j}, 4);
    const uint64_t l = static_cast<uint64_t>(int64_t{s[0]} * s[0]);
    left += l;
    all += l + static_cast<uint64_t>(int64_t{s[1]} * s[1]);
  }
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
  AddSquares(frames, n, sumLeft_, sumAll_);
  inBlock_ += n;
  blockDone_ = inBlock_ == static_cast<uint32_t>(blockFrames_);
  if (blockDone_) EndBlock();
  return n;
}

void LevelRule::EndBlock() {
  const uint64_t louder = std::max(sumLeft_, sumAll_ - sumLeft_);
  blockDb_ = louder == 0 ? kSilentBlockDb
                         : 10.0 * std::log10(static_cast<double>(louder) / blockFrames_ / (32768.0 * 32768.0));
  blockStart_ = nextStart_;
  nextStart_ += blockFrames_;
  inBlock_ = 0;
  sumLeft_ = sumAll_ = 0;
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
