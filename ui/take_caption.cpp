#include "ui/take_caption.h"

#include <cstdio>
#include <cstring>

#include "cli/cli_text.h"

std::string TakeStatusText(const std::string& pattern, int64_t frames, int32_t rate, int track, uint64_t dropped) {
  char time[32] = "--:--:--";
  if (rate > 0) {
    const long long seconds = frames / rate;
    std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '3') {
      const char which = pattern[++i];
      out += which == '1' ? std::string(time) : which == '2' ? std::to_string(track) : std::to_string(dropped);
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string TenthsOfSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
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
