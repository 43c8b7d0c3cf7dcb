// The inputs a recording can be made from, as a backend lists them, and the
// line that `tapewell-rec --list-devices` prints for each.
#pragma once

#include <string>
#include <vector>

struct InputDevice {
  std::string name;         // what --device and -d take: the server's source name, or PortAudio's device name
  std::string description;  // for people
  std::string alias;        // another text --device takes, or "" (Windows: the device's name beside its number)
  bool isDefault = false;   // the input recorded when none is named
  bool isMonitor = false;   // the monitor of an output: what the machine plays
};

/// One listing line: the name, a tab, the description, and the marks
/// "[default]" and "[monitor of an output]" when they apply.
std::string FormatInputLine(const InputDevice& input);

/// The input called `name` (or whose alias is `name`) in `inputs`, the
/// first one named so; nullptr when there is none.
const InputDevice* FindInput(const std::vector<InputDevice>& inputs, const std::string& name);
