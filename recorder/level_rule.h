// The level rule for finding silences on analog sources (tape hiss, vinyl
// surface noise, radio): each 10 ms block's level is the RMS of its louder
// channel in dBFS. A silence begins at the first block below the threshold;
// it ends only when the level rises a few dB above the threshold
// (hysteresis) and stays there for a few blocks in a row, so that a click or
// a crackle neither ends a silence nor starts a track. The threshold is given
// in dBFS or found from the input's own noise floor as it goes.
#pragma once

#include <array>
#include <cstdint>

class LevelRule {
 public:
  /// Blocks per second: each block is a hundredth of a second.
  static constexpr int kBlocksPerSecond = 100;
  /// Blocks in a row above the threshold plus the hysteresis that end a silence (about 30 ms).
  static constexpr int kOnsetBlocks = 3;
  /// How far above the threshold sound must rise to end a silence.
  static constexpr double kHysteresisDb = 3.0;
  /// The automatic threshold: this far above the noise floor...
  static constexpr double kFloorMarginDb = 8.0;
  /// ...taken as this low share of the block levels heard so far...
  static constexpr double kFloorShare = 0.01;
  /// ...and kept within these bounds.
  static constexpr double kLowestThresholdDb = -70.0;
  static constexpr double kHighestThresholdDb = -30.0;
  /// The level of a block of digital silence (exactly zero), below any threshold.
  static constexpr double kSilentBlockDb = -200.0;

  /// Starts afresh for frames at `rate` Hz: the position is 0 and the input
  /// counts as silent from there until its first sound. `automatic`: the
  /// threshold follows the noise floor; otherwise it is `thresholdDb`.
  void Start(int32_t rate, bool automatic, double thresholdDb);

  /// Takes frames (16-bit stereo) up to the end of the current block, at
  /// most `count`; returns how many it took. When that completes the block,
  /// BlockDone() is true and the state below tells what the block did.
  uint32_t Take(const uint8_t* frames, uint32_t count);

  /// Frames as a wide input holds them: `channels` (1 or 2) little-endian
  /// samples of `bytesPerSample` bytes, signed integers (3 or 4 bytes) or,
  /// `floating`, 32-bit floats with full scale at 1.0.
  struct WideLayout {
    int bytesPerSample = 3;
    int channels = 2;
    bool floating = false;
  };
  /// Like Take, for the same frames as `layout` holds them: their full range
  /// is measured, not only their top 16 bits.
  uint32_t TakeWide(const uint8_t* frames, uint32_t count, const WideLayout& layout);

  /// True when the last Take completed a block.
  bool BlockDone() const { return blockDone_; }
  /// The completed block's first frame and its frame count.
  int64_t BlockStart() const { return blockStart_; }
  int64_t BlockEnd() const { return blockStart_ + blockFrames_; }
  /// The completed block's level in dBFS (kSilentBlockDb for digital silence).
  double BlockLevelDb() const { return blockDb_; }
  /// The threshold the completed block was judged by.
  double ThresholdDb() const { return thresholdDb_; }
  /// The noise floor measured so far (automatic threshold): kSilentBlockDb
  /// before any, or when the input's silences are digital silence.
  double FloorDb() const { return floorDb_; }

  /// True while a silence lasts (after the completed block).
  bool Silent() const { return silent_; }
  /// The first frame of the silence that lasts or just ended.
  int64_t SilenceStart() const { return silenceStart_; }
  /// True when the completed block ended a silence; Onset() is then the
  /// first frame of the sound that ended it.
  bool SilenceEnded() const { return ended_; }
  int64_t Onset() const { return onset_; }

 private:
  void EndBlock();
  void UpdateThreshold();

  int32_t blockFrames_ = 441;
  bool automatic_ = false;
  double givenDb_ = -40.0;
  double thresholdDb_ = -40.0;
  double floorDb_ = kSilentBlockDb;
  // The block being filled.
  uint32_t inBlock_ = 0;
  uint64_t sumLeft_ = 0, sumRight_ = 0;  // squares of each channel
  double wideLeft_ = 0, wideRight_ = 0;  // the same of wide frames, full scale 1
  // The last completed block.
  bool blockDone_ = false;
  int64_t blockStart_ = 0;
  double blockDb_ = kSilentBlockDb;
  int64_t nextStart_ = 0;
  // The silence.
  bool silent_ = true;
  bool ended_ = false;
  int64_t silenceStart_ = 0;
  int64_t onset_ = 0;
  int loudBlocks_ = 0;  // blocks in a row above the threshold and hysteresis, in a silence
  // Block levels heard so far, in quarter-decibel bins from -120 dBFS up to 0.
  static constexpr int kBins = 480;
  static constexpr double kBinDb = 0.25;
  std::array<uint64_t, kBins> histogram_{};
  uint64_t counted_ = 0;
  uint64_t silentBlocks_ = 0;  // blocks of digital silence
  int floorBin_ = 0;           // the floor's bin
  uint64_t below_ = 0;         // blocks below it, digital silence included
};
