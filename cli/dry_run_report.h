// tapewell-rec --dry-run: the tracks a recording of the input would make and,
// for each silence that did not split, why. The tracks come from the real
// engine (its track files are not written); the reasons from a look at the
// same frames at the other levels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recorder/recorder_engine.h"
#include "recorder/split_settings.h"
#include "recorder/string_table.h"

class DryRunReport {
 public:
  /// `rate`: the input's rate; `splitLength`: the silence length in frames
  /// (-l); `levelPos`, `autoTrack`: -p and -a; `split`: the rule and the rest.
  DryRunReport(int32_t rate, int64_t splitLength, int levelPos, bool autoTrack, const SplitSettings& split,
               Language language);

  /// A track began at `firstFrame` for `cause` (after `silenceFrames` still frames).
  void TrackStarted(TrackStart cause, int64_t firstFrame, int64_t silenceFrames);
  /// The track that began at `firstFrame` holds `frames` frames.
  void TrackCompleted(int64_t firstFrame, int64_t frames);
  /// Takes the next `count` stereo frames of the recording, in order.
  void Measure(const uint8_t* frames, uint32_t count);
  /// A silence from `start`, `frames` long, that did not split, and why.
  void SilenceNotSplit(int64_t start, int64_t frames, Unsplit why);
  /// The level rule's block at `blockStart`: its level and the threshold then.
  void LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb);
  /// The level rule's threshold and measured floor at the end (dBFS).
  void SetLevelRule(double thresholdDb, double floorDb);

  /// The report: a line per track and per silence that did not split, in
  /// the order of their positions; `inputEnded`: the last track ends with the input.
  std::vector<std::string> Lines(bool inputEnded) const;

 private:
  struct Track {
    TrackStart cause;
    int64_t first, frames, silence;
  };
  enum class Why { TooShort, LevelTooLow, InsideMinTrack, AboveThreshold };
  struct Note {
    int64_t at;  // first frame of the silence or quiet passage
    int64_t frames;
    Why why;
    int level;       // LevelTooLow: the lowest level (-p) that would split it
    double excessDb; // AboveThreshold: how far the level rises above the threshold
    double thresholdDb;
  };
  std::string Time(int64_t frames) const;
  std::string Duration(int64_t frames) const;
  std::string Shortfall(int64_t frames) const;
  void EndQuietPassage();

  int32_t rate_;
  int64_t tenth_, splitLength_;
  SplitSettings split_;
  double thresholdDb_ = 0, floorDb_ = 0;
  // The quiet passage the level rule's blocks are in: blocks less than
  // kQuietDb above the threshold, clicks let through.
  static constexpr double kQuietDb = 12.0;
  int64_t quietStart_ = -1, quietEnd_ = 0;
  int loudBlocks_ = 0;
  double recent_[LevelRule::kOnsetBlocks] = {};  // the last blocks' excess over the threshold
  int recentCount_ = 0;
  double sustainedExcess_ = -1e9;  // the highest excess held for kOnsetBlocks blocks in a row
  double quietThreshold_ = 0;
  int levelPos_;
  // A passage is a quiet one that did not split when a level at most this
  // many steps higher (16 times the threshold) sees it as a long silence;
  // higher still, music itself is "still".
  static constexpr int kHigherLevels = 4;
  int maxLevel_;
  bool autoTrack_;
  Language language_;
  std::vector<Track> tracks_;
  std::vector<Note> notes_;
  // The walk over the frames at every level from levelPos_ up.
  int64_t position_ = 0;
  int32_t prevLeft_ = 0, prevRight_ = 0;  // the engine, too, starts from a silent frame
  int64_t runs_[16] = {};                  // still frames up to the current one, by level
  int64_t reportedEnd_ = -1;               // end of the last quiet passage noted
};
