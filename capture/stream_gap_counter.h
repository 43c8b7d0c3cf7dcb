// Frames a live stream lost before they reached the program: a sound server
// whose buffer for a stalled client is full drops what does not fit without
// a word (and the stream's own indices skip nothing). The gap shows only
// against the clock: the frames received fall behind the frames the time
// passed says were captured.
//
// Only moments when the library holds nothing more for us tell, and even
// then a read may come late (never early): so the shortfall taken as usual is
// the least of the last one to two seconds, and a larger one counts only
// once it has stopped shrinking (the server may still be sending what it kept
// during a stall), at the least it came to while it held.
#pragma once

#include <chrono>
#include <cstdint>

class StreamGapCounter {
 public:
  using Clock = std::chrono::steady_clock;

  /// `rate`: frames per second of the stream. A shortfall beyond the usual
  /// one smaller than `threshold` is jitter and never counted; a larger one
  /// counts once it has held for `settle`.
  explicit StreamGapCounter(int rate, std::chrono::milliseconds threshold = std::chrono::milliseconds(100),
                            std::chrono::milliseconds settle = std::chrono::milliseconds(2000))
      : rate_(rate), thresholdFrames_(rate * threshold.count() / 1000.0), settle_(settle) {}

  /// Told at a moment when every frame the library had received was taken:
  /// `now`, and the frames received in all so far, holes included. Returns
  /// the frames newly found missing.
  uint64_t CaughtUp(Clock::time_point now, uint64_t received);

 private:
  double rate_;
  double thresholdFrames_;
  Clock::duration settle_;
  bool started_ = false;
  Clock::time_point start_{};
  double counted_ = 0;         // frames found missing so far
  // The least shortfall of this second and of the one before.
  double thisSecondLeast_ = 0, lastSecondLeast_ = 0;
  Clock::time_point secondStart_{};
  bool suspect_ = false;       // a shortfall beyond the threshold is being watched
  double suspectExcess_ = 0;   // its least size so far
  Clock::time_point suspectSince_{};
};
