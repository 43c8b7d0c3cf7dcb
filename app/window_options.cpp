#include "app/window_options.h"

#include <cmath>

namespace {

// The options that take a value, and the flags.
const char* const kValued[] = {
    "--length", "--level", "--silence-below", "--lead-in", "--min-track", "--stop-after-silence", "--cue", "--labels"};
const char* const kFlags[] = {"--auto-track", "--trim"};

// True when `name` is one of `names`.
template <size_t N>
bool OneOf(const char* const (&names)[N], const std::string& name) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

}  // namespace

const std::vector<std::string>& WindowLongOptions() {
  static const std::vector<std::string> names = {"--auto-track", "--length",    "--level", "--silence-below",
                                                 "--lead-in",    "--min-track", "--trim",  "--stop-after-silence",
                                                 "--cue",        "--labels"};
  return names;
}

WindowOptionProblem TakeWindowOptions(std::vector<std::string>& args, WindowOptions& options) {
  WindowOptionProblem problem;
  SplitOptionTexts texts;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (OneOf(kFlags, arg)) {
      if (arg == "--auto-track") options.autoTrack = true;
      if (arg == "--trim") options.split.trim = true;
      continue;
    }
    if (!OneOf(kValued, name)) {
      rest.push_back(arg);
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    }
    if (value.empty()) {
      if (problem.missingValue.empty()) problem.missingValue = name;
      continue;
    }
    if (name == "--length")
      texts.length = value;
    else if (name == "--level")
      texts.level = value;
    else if (name == "--silence-below")
      texts.silenceBelow = value;
    else if (name == "--lead-in")
      texts.leadIn = value;
    else if (name == "--min-track")
      texts.minTrack = value;
    else if (name == "--stop-after-silence")
      texts.stopAfterSilence = value;
    else if (name == "--cue")
      options.cue = value;
    else
      options.labels = value;
  }
  args = std::move(rest);
  // The checked values go to copies first: a bad value sets nothing.
  int lengthPos = options.lengthPos, levelPos = options.levelPos;
  SplitSettings split = options.split;
  problem.error = CheckSplitOptions(texts, {lengthPos, levelPos, split}, problem.typed);
  if (problem.error == SplitOptionError::None) {
    // The window's length is its slider: seconds (--length 1.5s) go to the
    // nearest tenth, so that the slider shows what the engine uses.
    if (split.silenceSeconds > 0) {
      lengthPos = static_cast<int>(std::lround(split.silenceSeconds * 10));
      split.silenceSeconds = 0;
    }
    options.lengthPos = lengthPos;
    options.levelPos = levelPos;
    options.split = split;
  }
  return problem;
}
