#include "ui/take_caption.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/cli_text.h"

namespace {

// `frames` at `rate` Hz as HH:MM:SS; "--:--:--" without a rate.
std::string ClockTime(int64_t frames, int32_t rate) {
  char time[32] = "--:--:--";
  if (rate > 0) {
    const long long seconds = frames / rate;
    std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  return time;
}

}  // namespace

std::string TakeStatusText(const std::string& pattern, int64_t frames, int32_t rate, int track, uint64_t dropped) {
  return FillTableStrings(pattern, {ClockTime(frames, rate), std::to_string(track), std::to_string(dropped)});
}

std::string SilenceLengthText(const std::string& pattern, int position) {
  char seconds[16];
  std::snprintf(seconds, sizeof seconds, "%d.%d", position / 10, position % 10);
  return FillTableStrings(pattern, {seconds});
}

std::string SilenceLevelText(const std::string& pattern, int position) {
  const long threshold = 1L << position;
  char dbfs[16];
  std::snprintf(dbfs, sizeof dbfs, "%.1f", 20.0 * std::log10(static_cast<double>(threshold) / 32768.0));
  return FillTableStrings(pattern, {std::to_string(threshold), std::to_string(position), dbfs});
}

std::string TakeProgressNote(WaveInService& service, const StopCatchUp& catchUp, int64_t handled, int32_t rate,
                             Language language) {
  if (const double left = catchUp.SecondsLeft(service, handled, rate); left >= 0.5) {
    return CliText(CliTextId::kTakeWritingLast, language, {TenthsOfSeconds(left)});
  }
  if (const double behind = SecondsBehind(service, handled, rate); behind >= kBehindSeconds) {
    return CliText(CliTextId::kRecDiskBehind, language, {TenthsOfSeconds(behind)});
  }
  return "";
}

std::string TakeFailureReason(RecordingEnd end, Language language, const std::string& path, int fileErrno,
                              const std::string& captureError) {
  using enum CliTextId;
  switch (end) {
    case RecordingEnd::CreateFailed:
    case RecordingEnd::WriteFailed: {
      const std::string why = fileErrno ? std::strerror(fileErrno) : CliText(kRecOutOfMemory, language);
      return CliText(end == RecordingEnd::CreateFailed ? kRecCannotCreate : kRecCannotWrite, language, {path, why});
    }
    case RecordingEnd::CaptureFailed: return captureError;
    default: return "";
  }
}
