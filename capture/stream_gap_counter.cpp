#include "capture/stream_gap_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>

uint64_t StreamGapCounter::Told(Clock::time_point at, uint64_t received, uint64_t held) {
  const double had = static_cast<double>(received + held);
  if (!started_) {
    started_ = true;
    start_ = secondStart_ = at;
    thisSecondLeast_ = -had;
    lastSecondLeast_ = std::numeric_limits<double>::infinity();
    return 0;
  }
  // Frames captured but neither received nor held by the server, less those
  // already counted missing: what is still in the source, and what went
  // missing since.
  const double shortfall = rate_ * std::chrono::duration<double>(at - start_).count() - had - counted_;
  const double excess = shortfall - std::min(thisSecondLeast_, lastSecondLeast_);
  if (excess <= thresholdFrames_) {
    suspect_ = false;
    if (at - secondStart_ >= std::chrono::seconds(1)) {
      lastSecondLeast_ = thisSecondLeast_;
      thisSecondLeast_ = shortfall;
      secondStart_ = at;
    } else {
      thisSecondLeast_ = std::min(thisSecondLeast_, shortfall);
    }
    return 0;
  }
  if (!suspect_ || excess < suspectExcess_ - thresholdFrames_ / 2) {
    // New, or still shrinking: frames kept for us are still arriving.
    suspect_ = true;
    suspectExcess_ = excess;
    suspectSince_ = at;
    return 0;
  }
  suspectExcess_ = std::min(suspectExcess_, excess);
  if (at - suspectSince_ < settle_) return 0;
  const auto lost = static_cast<uint64_t>(std::llround(suspectExcess_));
  counted_ += static_cast<double>(lost);
  suspect_ = false;
  return lost;
}
