#include "capture/stream_gap_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>

uint64_t StreamGapCounter::CaughtUp(Clock::time_point now, uint64_t received) {
  if (!started_) {
    started_ = true;
    start_ = secondStart_ = now;
    thisSecondLeast_ = -static_cast<double>(received);
    lastSecondLeast_ = std::numeric_limits<double>::infinity();
    return 0;
  }
  // Frames captured but not received, less those already counted missing:
  // what is in flight, and what went missing since.
  const double shortfall =
      rate_ * std::chrono::duration<double>(now - start_).count() - static_cast<double>(received) - counted_;
  const double excess = shortfall - std::min(thisSecondLeast_, lastSecondLeast_);
  if (excess <= thresholdFrames_) {
    suspect_ = false;
    if (now - secondStart_ >= std::chrono::seconds(1)) {
      lastSecondLeast_ = thisSecondLeast_;
      thisSecondLeast_ = shortfall;
      secondStart_ = now;
    } else {
      thisSecondLeast_ = std::min(thisSecondLeast_, shortfall);
    }
    return 0;
  }
  if (!suspect_ || excess < suspectExcess_ - thresholdFrames_ / 2) {
    // New, or still shrinking: frames kept for us are still arriving.
    suspect_ = true;
    suspectExcess_ = excess;
    suspectSince_ = now;
    return 0;
  }
  suspectExcess_ = std::min(suspectExcess_, excess);
  if (now - suspectSince_ < settle_) return 0;
  const auto lost = static_cast<uint64_t>(std::llround(suspectExcess_));
  counted_ += static_cast<double>(lost);
  suspect_ = false;
  return lost;
}
