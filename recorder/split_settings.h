// How the engine finds a silence and what a split does around it: the rule
// (stillness, the default, or level), and the lead-in, minimum track length,
// trim and end of side that apply to both rules alike.
#pragma once

#include <cstdint>

struct SplitSettings {
  /// False: stillness (each channel moves by less than 2^level from frame to
  /// frame). True: level (a channel's RMS over 10 ms blocks below a threshold).
  bool levelRule = false;
  /// The level rule's threshold is found from the input's noise floor.
  bool automaticThreshold = false;
  /// The level rule's threshold in dBFS when it is not automatic.
  double thresholdDb = -40.0;
  /// Silence length in seconds; 0: the length slider's tenths of a second.
  double silenceSeconds = 0.0;
  /// Seconds of the gap kept at the start of each automatically split track.
  double leadInSeconds = 0.0;
  /// A silence that would end a track shorter than this does not split.
  double minTrackSeconds = 0.0;
  /// No silence before the first sound, nor after the last beyond the lead-in.
  bool trim = false;
  /// The recording ends once the input has been silent this long after a
  /// sound; 0: never.
  double stopAfterSilenceSeconds = 0.0;

  /// True when anything but the plain stillness split is asked for: the
  /// engine then holds frames back before they are written.
  bool HoldsFrames() const {
    return levelRule || leadInSeconds > 0 || minTrackSeconds > 0 || trim || stopAfterSilenceSeconds > 0;
  }
};
