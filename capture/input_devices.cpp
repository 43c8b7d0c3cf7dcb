#include "capture/input_devices.h"

std::string FormatInputLine(const InputDevice& input) {
  std::string line = input.name + "\t" + input.description;
  if (input.isDefault) line += " [default]";
  if (input.isMonitor) line += " [monitor of an output]";
  return line;
}

const InputDevice* FindInput(const std::vector<InputDevice>& inputs, const std::string& name) {
  for (const InputDevice& input : inputs) {
    if (input.name == name) return &input;
  }
  for (const InputDevice& input : inputs) {
    if (!input.alias.empty() && input.alias == name) return &input;
  }
  return nullptr;
}
