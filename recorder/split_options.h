// The split options as both front ends spell them (--length, --level,
// --silence-below, --lead-in, --min-track, --stop-after-silence): their
// values as typed, checked and turned into slider positions and split
// settings. Each front end words the errors in its own texts.
#pragma once

#include <optional>
#include <string>

#include "recorder/split_settings.h"

/// The options' values as typed; an empty text: the option was not given.
struct SplitOptionTexts {
  std::string length, level, silenceBelow, leadIn, minTrack, stopAfterSilence;
};

/// What was wrong with the options: the first bad one.
enum class SplitOptionError {
  None,
  BadLength,            // not tenths 1..100, nor seconds 0.1s..10s
  BadLevel,             // not a whole number 0..15
  LevelWithStillness,   // --level (the stillness rule) with --silence-below
  BadSilenceBelow,      // not dBFS -120..0, nor auto
  BadLeadIn,            // not seconds 0..10
  BadMinTrack,          // not seconds 0..3600
  BadStopAfterSilence,  // not seconds above 0, at most 3600
};

/// Where the checked values go; what an option does not set stays as it was.
struct SplitOptionTargets {
  int& lengthPos;        // the silence length in tenths of a second (1..100)
  int& levelPos;         // the stillness threshold's power of two (0..15)
  SplitSettings& split;  // the rule, lead-in, minimum length, trim, end of side
};

/// Checks `texts` and fills `targets`. Returns the first error (None when
/// every option is good); `offending` is then that option's text as typed.
SplitOptionError CheckSplitOptions(const SplitOptionTexts& texts, SplitOptionTargets targets, std::string& offending);

/// A whole number: the entire text, nothing else; nullopt otherwise.
std::optional<long long> ParseWhole(const std::string& text);

/// A number of seconds (or any decimal number): the entire text, finite;
/// nullopt otherwise.
std::optional<double> ParseSeconds(const std::string& text);
