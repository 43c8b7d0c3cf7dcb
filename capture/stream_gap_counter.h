// Frames a live stream lost before they reached the program: a sound server
// whose buffer for a stalled client is full drops what does not fit without
// a word (and the stream's own indices skip nothing). The gap shows only
// against the clock: the frames the server delivered or still holds for us
// fall behind the frames the time passed says were captured.
//
// What our reads alone show is no measure: a process short of CPU reads
// late, and the frames the server kept for it meanwhile come in bursts,
// seconds behind the clock, without one missing. So the server is asked,
// now and then, what it holds for us; its answer, at the moment the server
// gave it, with the frames it sent before it, is what it has for us by that
// moment, however late the answer is read. The source's own latency moves
// that a little: the shortfall taken as usual is the least of the last one to
// two seconds, and a larger one counts only once it has stopped shrinking,
// at the least it came to while it held.
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

  /// The server's answer to "what do you hold for us?": given at `at`, it held
  /// `held` frames beyond the `received` ones taken from the stream in all
  /// (holes included) by the time the answer was read, which are every frame
  /// the server sent before answering. Answers come in the order asked.
  /// Returns the frames newly found missing.
  uint64_t Told(Clock::time_point at, uint64_t received, uint64_t held);

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
