#include "card/control_register.h"

#include <cstdio>

namespace {

std::string PortText(uint16_t port) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04lx", static_cast<unsigned long>(port));
  return text;
}

std::string ValueText(uint16_t port, uint32_t value, const std::string& route) {
  char text[32];
  std::snprintf(text, sizeof text, " - 0x%08lx", static_cast<unsigned long>(value));
  return PortText(port) + text + (route.empty() ? "" : " via " + route);
}

void BoxesFrom(uint32_t control, ControlRegisterView& v) {
  v.monitor = (control & kBitMpegMonitor) ? 1 : 0;
  v.mpegSource = (control & kBitMpegSource) ? 1 : 0;
}

}  // namespace

uint32_t ControlValueToWrite(uint32_t read, bool mpegSource, bool monitor, bool i2s) {
  uint32_t value = read & kKeepOtherBits;
  if (monitor && mpegSource) {
    value |= kBitMpegMonitor | kBitMpegSource;
  } else if (mpegSource) {
    value |= kBitMpegSource;
  }
  if (i2s) value |= kBitI2S;
  return value;
}

bool ReadControlRegisterAtStartup(PortAccess& ports, const std::string& remnant, ControlRegisterView v,
                                  std::string& why) {
  const auto value = ports.In32(v.port, why);
  if (!value) {
    v.diag = remnant + " " + PortText(v.port) + " - " + why;
    return false;
  }
  v.control = *value;
  BoxesFrom(v.control, v);
  v.diag = remnant + " " + ValueText(v.port, v.control, ports.Route());
  return true;
}

bool ProgramControlRegister(PortAccess& ports, int32_t i2s, ControlRegisterView v, std::string& why) {
  const auto read = ports.In32(v.port, why);
  if (read) {
    v.control = *read;
    const uint32_t value = ControlValueToWrite(*read, v.mpegSource != 0, v.monitor != 0, i2s != 0);
    if (ports.Out32(v.port, value, why)) {
      v.control = value;
      v.diag = ValueText(v.port, v.control, ports.Route());
      return true;
    }
  }
  BoxesFrom(v.control, v);
  v.diag = PortText(v.port) + " - " + why;
  return false;
}
