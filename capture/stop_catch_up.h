// Ending a take without losing what was captured before the stop.
//
// A stop (Stop, closing the window, q, a signal) marks the moment on the
// wave-input service, which tells how many frames were captured before it:
// in the ring, in the slack below it and in the sound server's stream. The
// front end goes on handling buffers, however long the disk takes, until
// that many are written, and ends the take there. A second stop gives up on
// the frames not written yet: they are counted as dropped and the take ends
// at once. A service that keeps nothing below the ring (a replay) ends at
// once, with the buffers the ring holds.
#pragma once

#include <cstdint>
#include <string>

#include "capture/wave_in.h"

class StopCatchUp {
 public:
  /// A stop asked for at `when` while `handled` frames of the take were
  /// written: the first marks the stop on `service`; a second gives up on the frames
  /// captured before it and not written, counts them as dropped on
  /// `service` and makes GaveUp true (a request asked for within half a
  /// second of the first is the same stop, delivered twice).
  void Request(WaveInService& service, int64_t handled,
               std::chrono::steady_clock::time_point when = std::chrono::steady_clock::now());
  /// True from the first request on.
  bool Active() const { return active_; }
  /// True once a second request gave up.
  bool GaveUp() const { return gaveUp_; }
  /// The frames given up on.
  uint64_t GivenUp() const { return givenUp_; }
  /// While active: the frames the take ends at, or WaveInService's
  /// kStopPointPending (not known yet) or kStopAtOnce.
  int64_t Limit(WaveInService& service) const;
  /// True when every frame before the limit has reached the ring's buffers,
  /// or the source has delivered nothing for kSourceStalled and all it did
  /// deliver is in the ring (it stalled: its clock may count frames that
  /// never come): the take can end now with the buffers the ring holds
  /// (Stop's way), rather than wait until the one being filled is full.
  bool InRing(WaveInService& service) const;
  /// Before `header` is handled with `handled` frames before it: cuts it at
  /// the limit. True when the take is complete with it.
  bool Clip(WaveInService& service, WAVEHDR* header, int64_t handled) const;
  /// Seconds still to write at `rate` Hz with `handled` written; 0 when not known.
  double SecondsLeft(WaveInService& service, int64_t handled, int32_t rate) const;

 private:
  /// Stops asked for this soon after the first are the same stop.
  static constexpr std::chrono::milliseconds kSameStop{500};
  /// A source that delivers nothing this long after a stop has stalled.
  static constexpr std::chrono::milliseconds kSourceStalled{500};

  bool active_ = false;
  bool gaveUp_ = false;
  std::chrono::steady_clock::time_point firstAsked_{};
  // What the source had delivered when last looked at, and since when.
  mutable uint64_t keptSeen_ = 0;
  mutable std::chrono::steady_clock::time_point keptSince_{};
  uint64_t givenUp_ = 0;
};

/// How far the take lags behind the capture, in seconds at `rate` Hz, with
/// `handled` frames written: the frames waiting in the ring and the slack.
double SecondsBehind(const WaveInService& service, int64_t handled, int32_t rate);

/// `seconds` with one decimal, as the user is told them ("7.4").
std::string TenthsOfSeconds(double seconds);

/// A take this many seconds behind the capture is said to be so.
inline constexpr double kBehindSeconds = 3.0;
