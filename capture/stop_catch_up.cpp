#include "capture/stop_catch_up.h"

#include <algorithm>

void StopCatchUp::Request(WaveInService& service, int64_t handled, std::chrono::steady_clock::time_point when) {
  if (!active_) {
    active_ = true;
    service.MarkStop(when);
    return;
  }
  if (gaveUp_) return;
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
  return limit >= 0 && static_cast<int64_t>(service.FramesInRing()) >= limit;
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
