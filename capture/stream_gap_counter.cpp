#include "capture/stream_gap_counter.h"

#include <algorithm>
#include <cmath>

uint64_t StreamGapCounter::CaughtUp(Clock::time_point now, uint64_t received) {
  if (!started_) {
    started_ = true;
    start_ = now;
    usualShortfall_ = -static_cast<double>(received);
    return 0;
  }
  const double captured = rate_ * std::chrono::duration<double>(now - start_).count();
  const double excess = captured - static_cast<double>(received) - usualShortfall_;
  if (excess <= thresholdFrames_) {
    // Jitter and drift, never counted. A read is only ever late, never
    // early, so the least shortfall is the truest: it is taken at once, and
    // a larger one only crept towards (the clocks drifting apart).
    suspect_ = false;
    usualShortfall_ += excess < 0 ? excess : excess / 256;
    return 0;
  }
  if (!suspect_ || excess < suspectExcess_ - thresholdFrames_ / 2) {
    // New, or still shrinking: frames kept for us are still arriving.
    suspect_ = true;
    suspectExcess_ = excess;
    suspectSince_ = now;
    return 0;
  }
  // Settled: its size is the least seen since, as the usual shortfall is
  // the least before.
  suspectExcess_ = std::min(suspectExcess_, excess);
  if (now - suspectSince_ < settle_) return 0;
  const auto lost = static_cast<uint64_t>(std::llround(suspectExcess_));
  usualShortfall_ += static_cast<double>(lost);
  suspect_ = false;
  return lost;
}
