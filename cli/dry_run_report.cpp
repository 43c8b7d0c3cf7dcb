#include "cli/dry_run_report.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli_text.h"
#include "cli/progress_line.h"

using enum CliTextId;

DryRunReport::DryRunReport(int32_t rate, int lengthPos, int levelPos, bool autoTrack, Language language)
    : rate_(rate),
      tenth_(rate / 10),
      splitLength_(rate / 10 * lengthPos),
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
        if (run >= tenth_ && run < splitLength_) notes_.push_back({start, run, -1});
      } else if (run >= splitLength_ && start > reportedEnd_) {
        // A quiet passage that only a higher level sees as a long silence;
        // the lowest such level ends first, so it is the one noted.
        notes_.push_back({start, run, q});
        reportedEnd_ = position_;
      }
      run = 0;
    }
  }
}

std::string DryRunReport::Time(int64_t frames) const { return RecordingTime(frames, rate_, true); }

std::string DryRunReport::Duration(int64_t frames) const {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(frames) / rate_);
  return text;
}

std::vector<std::string> DryRunReport::Lines(bool inputEnded) const {
  std::vector<std::pair<int64_t, std::string>> lines;
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
      if (n.level < 0) {
        lines.push_back({n.at, CliText(kRecDryTooShort, language_,
                                       {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                        Duration(splitLength_ - n.frames), Duration(splitLength_)})});
        continue;
      }
      // Not a reason when the passage did split (a long enough silence inside it).
      const bool split = std::any_of(tracks_.begin(), tracks_.end(), [&](const Track& t) {
        return t.cause == TrackStart::Silence && t.first > n.at && t.first <= n.at + n.frames;
      });
      if (split) continue;
      lines.push_back({n.at, CliText(kRecDryLevelTooLow, language_,
                                     {Time(n.at), std::to_string(n.at), Duration(n.frames),
                                      std::to_string(levelPos_), std::to_string(1 << levelPos_),
                                      std::to_string(n.level)})});
    }
  }
  std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (auto& [at, line] : lines) out.push_back(std::move(line));
  return out;
}
