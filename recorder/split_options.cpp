#include "recorder/split_options.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

std::optional<long long> ParseWhole(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> ParseSeconds(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || *end != '\0' || errno != 0 || !std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

namespace {

// Seconds within [low, high] (above `low` when `lowExcluded`) into `value`.
bool TakeSeconds(const std::string& text, double low, double high, bool lowExcluded, double& value) {
  const auto seconds = ParseSeconds(text);
  if (!seconds || *seconds < low || (lowExcluded && *seconds == low) || *seconds > high) return false;
  value = *seconds;
  return true;
}

}  // namespace

SplitOptionError CheckSplitOptions(const SplitOptionTexts& texts, SplitOptionTargets t, std::string& offending) {
  auto fail = [&offending](SplitOptionError error, const std::string& text) {
    offending = text;
    return error;
  };
  if (!texts.length.empty() && texts.length.back() == 's') {
    // Seconds: 1.5s.
    if (!TakeSeconds(texts.length.substr(0, texts.length.size() - 1), 0.1, 10, false, t.split.silenceSeconds)) {
      return fail(SplitOptionError::BadLength, texts.length);
    }
  } else if (!texts.length.empty()) {
    const auto length = ParseWhole(texts.length);
    if (!length || *length < 1 || *length > 100) return fail(SplitOptionError::BadLength, texts.length);
    t.lengthPos = static_cast<int>(*length);
  }
  if (!texts.level.empty()) {
    const auto level = ParseWhole(texts.level);
    if (!level || *level < 0 || *level > 15) return fail(SplitOptionError::BadLevel, texts.level);
    t.levelPos = static_cast<int>(*level);
  }
  if (!texts.silenceBelow.empty()) {
    if (!texts.level.empty()) return fail(SplitOptionError::LevelWithStillness, texts.level);
    t.split.levelRule = true;
    if (texts.silenceBelow == "auto") {
      t.split.automaticThreshold = true;
    } else if (!TakeSeconds(texts.silenceBelow, -120, 0, false, t.split.thresholdDb)) {
      return fail(SplitOptionError::BadSilenceBelow, texts.silenceBelow);
    }
  }
  if (!texts.leadIn.empty() && !TakeSeconds(texts.leadIn, 0, 10, false, t.split.leadInSeconds)) {
    return fail(SplitOptionError::BadLeadIn, texts.leadIn);
  }
  if (!texts.minTrack.empty() && !TakeSeconds(texts.minTrack, 0, 3600, false, t.split.minTrackSeconds)) {
    return fail(SplitOptionError::BadMinTrack, texts.minTrack);
  }
  if (!texts.stopAfterSilence.empty() &&
      !TakeSeconds(texts.stopAfterSilence, 0, 3600, true, t.split.stopAfterSilenceSeconds)) {
    return fail(SplitOptionError::BadStopAfterSilence, texts.stopAfterSilence);
  }
  return SplitOptionError::None;
}
