#include "cli/dry_run_report.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli_text.h"
#include "cli/progress_line.h"

using enum CliTextId;

DryRunReport::DryRunReport(int32_t rate, int64_t splitLength, int levelPos, bool autoTrack, const SplitSettings& split,
                           Language language)
    : rate_(rate),
      tenth_(rate / 10),
      splitLength_(splitLength),
      split_(split),
      levelPos_(levelPos),
      maxLevel_(std::min(15, levelPos + kHigherLevels)),
      autoTrack_(autoTrack),
      language_(language) {}

void DryRunReport::TrackStarted(TrackStart cause, int64_t firstFrame, int64_t silenceFrames) {
  tracks_.push_back({cause, firstFrame, -1, silenceFrames});
}

void DryRunReport::TrackCompleted(int64_t firstFrame, int64_t frames) {
  for (Track& t : tracks_) {
    if (t.first == firstFrame && t.frames < 0) t.frames = frames;
  }
}

void DryRunReport::Measure(const uint8_t* frames, uint32_t count) {
  if (split_.levelRule) return;  // the level rule tells its blocks instead
  for (uint32_t j = 0; j < count; ++j, ++position_) {
    int16_t sample[2];
    std::memcpy(sample, frames + 4 * size_t{j}, 4);
    const int32_t motion = std::max(std::abs(prevLeft_ - sample[0]), std::abs(prevRight_ - sample[1]));
    prevLeft_ = sample[0];
    prevRight_ = sample[1];
    // The frame is still at level q when it moves by less than 2^q.
    const int needed = std::bit_width(static_cast<uint32_t>(motion));
    for (int q = levelPos_; q <= maxLevel_; ++q) {
      int64_t& run = runs_[q];
      if (needed <= q) {
        ++run;
        continue;
      }
      const int64_t start = position_ - run;
      if (q == levelPos_) {
        // A silence the indicator showed that ended before the split length.
        if (run >= tenth_ && run < splitLength_) notes_.push_back({start, run, Why::TooShort, 0, 0, 0});
      } else if (run >= splitLength_ && start > reportedEnd_) {
        // A quiet passage that only a higher level sees as a long silence;
        // the lowest such level ends first, so it is the one noted.
        notes_.push_back({start, run, Why::LevelTooLow, q, 0, 0});
        reportedEnd_ = position_;
      }
      run = 0;
    }
  }
}

void DryRunReport::SilenceNotSplit(int64_t start, int64_t frames, Unsplit why) {
  if (why == Unsplit::InsideMinTrack) {
    notes_.push_back({start, frames, Why::InsideMinTrack, 0, 0, 0});
  } else if (split_.levelRule) {  // the stillness rule's short silences are found by Measure
    notes_.push_back({start, frames, Why::TooShort, 0, 0, 0});
  }
}

void DryRunReport::LevelMeasured(int64_t blockStart, double levelDb, double thresholdDb) {
  const double excess = levelDb - thresholdDb;
  const int64_t blockEnd = blockStart + rate_ / LevelRule::kBlocksPerSecond;
  if (excess >= kQuietDb) {
    // Sound: a passage ends once it has lasted as long as a silence must end.
    if (quietStart_ >= 0 && ++loudBlocks_ == LevelRule::kOnsetBlocks) EndQuietPassage();
    return;
  }
  if (quietStart_ < 0) {
    quietStart_ = blockStart;
    sustainedExcess_ = -1e9;
    recentCount_ = 0;
  }
  loudBlocks_ = 0;
  quietEnd_ = blockEnd;
  quietThreshold_ = thresholdDb;
  recent_[recentCount_++ % LevelRule::kOnsetBlocks] = excess;
  if (recentCount_ >= LevelRule::kOnsetBlocks) {
    sustainedExcess_ = std::max(sustainedExcess_, *std::min_element(recent_, recent_ + LevelRule::kOnsetBlocks));
  }
}

// A quiet passage long enough to split that did not: noted with how far its
// level rose above the threshold, unless it was a silence after all.
void DryRunReport::EndQuietPassage() {
  const int64_t frames = quietEnd_ - quietStart_;
  if (frames >= splitLength_ && sustainedExcess_ > -LevelRule::kHysteresisDb) {
    notes_.push_back({quietStart_, frames, Why::AboveThreshold, 0, sustainedExcess_, quietThreshold_});
  }
  quietStart_ = -1;
  loudBlocks_ = 0;
}

void DryRunReport::SetLevelRule(double thresholdDb, double floorDb) {
  thresholdDb_ = thresholdDb;
  floorDb_ = floorDb;
}

std::string DryRunReport::Time(int64_t frames) const { return RecordingTime(frames, rate_, true); }

std::string DryRunReport::Duration(int64_t frames) const {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(frames) / rate_);
  return text;
}

// A shortfall in seconds, or in frames where milliseconds would round it to nothing.
std::string DryRunReport::Shortfall(int64_t frames) const {
  if (frames * 1000 >= rate_ / 2) return CliText(kRecDrySeconds, language_, {Duration(frames)});
  return CliText(frames == 1 ? kRecDryOneFrame : kRecDryFrames, language_, {std::to_string(frames)});
}

std::vector<std::string> DryRunReport::Lines(bool inputEnded) const {
  std::vector<std::pair<int64_t, std::string>> lines;
  auto decibels = [](double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", db);
    return std::string(text);
  };
  if (split_.levelRule) {
    if (split_.automaticThreshold) {
      const std::string floor = floorDb_ <= LevelRule::kSilentBlockDb ? CliText(kRecDryNoFloor, language_)
                                                                       : decibels(floorDb_) + " dBFS";
      lines.push_back({-2, CliText(kRecDryThresholdAuto, language_, {decibels(thresholdDb_), floor})});
    } else {
      lines.push_back({-2, CliText(kRecDryThreshold, language_, {decibels(thresholdDb_)})});
    }
  }
  int number = 0;
  for (const Track& t : tracks_) {
    ++number;
    std::string cause;
    switch (t.cause) {
      case TrackStart::Record: cause = CliText(kRecDryStartRecording, language_); break;
      case TrackStart::Silence: cause = CliText(kRecDryStartSilence, language_, {Duration(t.silence)}); break;
      case TrackStart::Mark: cause = CliText(kRecDryStartMark, language_); break;
      case TrackStart::FileFull: cause = CliText(kRecDryStartLimit, language_); break;
    }
    const int64_t frames = std::max<int64_t>(t.frames, 0);
    std::string line = CliText(kRecDryTrack, language_,
                               {std::to_string(number), Time(t.first), std::to_string(t.first), Time(frames),
                                std::to_string(frames), cause});
    if (inputEnded && number == static_cast<int>(tracks_.size())) line += CliText(kRecDryEndsWithInput, language_);
    lines.push_back({t.first, line});
  }
  if (!autoTrack_) {
    lines.push_back({-1, CliText(kRecDryNoAutoTrack, language_)});
  } else {
    for (const Note& n : notes_) {
      if (n.why == Why::TooShort) {
        lines.push_back({n.at, CliText(kRecDryTooShort, language_,
                                       {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                        Shortfall(splitLength_ - n.frames), Duration(splitLength_)})});
        continue;
      }
      if (n.why == Why::InsideMinTrack) {
        lines.push_back({n.at, CliText(kRecDryInsideMinTrack, language_,
                                       {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                        Duration(std::llround(split_.minTrackSeconds * rate_))})});
        continue;
      }
      // Not a reason when the passage did split or was noted as a silence
      // (a long enough silence inside it).
      const bool split = std::any_of(tracks_.begin(), tracks_.end(), [&](const Track& t) {
        return t.cause == TrackStart::Silence && t.first > n.at && t.first <= n.at + n.frames;
      });
      const bool silence = std::any_of(notes_.begin(), notes_.end(), [&](const Note& other) {
        return (other.why == Why::TooShort || other.why == Why::InsideMinTrack) && other.at >= n.at &&
               other.at < n.at + n.frames && other.frames * 2 >= n.frames;
      });
      if (split || silence) continue;
      if (n.why == Why::LevelTooLow) {
        lines.push_back({n.at, CliText(kRecDryLevelTooLow, language_,
                                       {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                        std::to_string(levelPos_), std::to_string(1 << levelPos_),
                                        std::to_string(n.level)})});
        continue;
      }
      // The threshold at which the passage would have stayed a silence.
      const double splitsAt = std::ceil(n.thresholdDb + n.excessDb - LevelRule::kHysteresisDb + 0.5);
      lines.push_back({n.at, CliText(kRecDryAboveThreshold, language_,
                                     {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                      decibels(std::max(0.0, n.excessDb)), decibels(n.thresholdDb),
                                      decibels(splitsAt)})});
    }
  }
  std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (auto& [at, line] : lines) out.push_back(std::move(line));
  return out;
}
