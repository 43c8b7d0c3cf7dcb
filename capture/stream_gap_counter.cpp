#include "capture/stream_gap_counter.h"

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
    // Latency jitter and clock drift: followed slowly, never counted.
    suspect_ = false;
    usualShortfall_ += excess / 16;
    return 0;
  }
  if (!suspect_ || excess < suspectExcess_ - thresholdFrames_ / 2) {
    // New, or still shrinking: frames kept for us are still arriving.
    suspect_ = true;
    suspectExcess_ = excess;
    suspectSince_ = now;
    excessSum_ = 0;
    excessCount_ = 0;
    return 0;
  }
  // Settled: its size is the mean over the moments since, as the usual
  // shortfall is a mean over the moments before.
  excessSum_ += excess;
  ++excessCount_;
  if (now - suspectSince_ < settle_) return 0;
  const auto lost = static_cast<uint64_t>(std::llround(excessSum_ / excessCount_));
  usualShortfall_ += static_cast<double>(lost);
  suspect_ = false;
  return lost;
}
