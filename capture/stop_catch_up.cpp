#include "capture/stop_catch_up.h"

#include <algorithm>
#include <cstdio>

void StopCatchUp::Request(WaveInService& service, int64_t handled, std::chrono::steady_clock::time_point when) {
  if (!active_) {
    active_ = true;
    firstAsked_ = when;
    keptSeen_ = service.FramesKept();
    keptSince_ = std::chrono::steady_clock::now();
    service.MarkStop(when);
    return;
  }
  // A stop delivered twice at once (timeout(1) signals the program and its
  // process group; a double click) is the same stop. The moments compared
  // are when each was asked for, not when the front end got to them: a loop
  // busy with a slow write may take two stops seconds apart together.
  if (gaveUp_ || when - firstAsked_ < kSameStop) return;
  gaveUp_ = true;
  // When the service has not told the stop point yet, everything it kept so
  // far counts: a few frames after the stop may be counted with them.
  int64_t limit = Limit(service);
  if (limit == WaveInService::kStopPointPending) limit = static_cast<int64_t>(service.FramesKept());
  givenUp_ = limit > handled ? static_cast<uint64_t>(limit - handled) : 0;
  service.CountGivenUp(givenUp_);
}

int64_t StopCatchUp::Limit(WaveInService& service) const {
  return active_ ? service.StopPoint() : WaveInService::kStopPointPending;
}

bool StopCatchUp::InRing(WaveInService& service) const {
  const int64_t limit = Limit(service);
  if (limit < 0) return false;
  const uint64_t kept = service.FramesKept(), inRing = service.FramesInRing();
  const auto now = std::chrono::steady_clock::now();
  if (kept != keptSeen_) {
    keptSeen_ = kept;
    keptSince_ = now;
  }
  // A source that stalled (a suspended device) delivers nothing more: what
  // it captured before the stop has all arrived, whatever its clock says.
  const bool sourceStalled = now - keptSince_ >= kSourceStalled && inRing == kept;
  return static_cast<int64_t>(inRing) >= limit || sourceStalled;
}

bool StopCatchUp::Clip(WaveInService& service, WAVEHDR* header, int64_t handled) const {
  const int64_t limit = Limit(service);
  if (limit < 0) return false;
  const int64_t frames = header->dwBytesRecorded / 4;
  if (handled + frames < limit) return false;
  header->dwBytesRecorded = static_cast<uint32_t>(std::max<int64_t>(limit - handled, 0) * 4);
  return true;
}

double StopCatchUp::SecondsLeft(WaveInService& service, int64_t handled, int32_t rate) const {
  const int64_t limit = Limit(service);
  if (limit < 0 || rate <= 0 || limit <= handled) return 0;
  return static_cast<double>(limit - handled) / rate;
}

double SecondsBehind(const WaveInService& service, int64_t handled, int32_t rate) {
  const auto kept = static_cast<int64_t>(service.FramesKept());
  if (rate <= 0 || kept <= handled) return 0;
  return static_cast<double>(kept - handled) / rate;
}

std::string TenthsOfSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}
