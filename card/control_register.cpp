#include "card/control_register.h"

#include <cstdio>

void ReadControlRegisterAtStartup(PortAccess& ports, const std::string& remnant, ControlRegisterView v) {
  v.control = ports.In32(v.port);
  v.monitor = (v.control & kBitMpegMonitor) ? 1 : 0;
  v.mpegSource = (v.control & kBitMpegSource) ? 1 : 0;
  char text[64];
  std::snprintf(text, sizeof text, " 0x%04lx - 0x%08lx", static_cast<unsigned long>(v.port),
                static_cast<unsigned long>(v.control));
  v.diag = remnant + text;
}

void ProgramControlRegister(PortAccess& ports, int32_t i2s, ControlRegisterView v) {
  v.control = ports.In32(v.port);
  v.control &= kKeepOtherBits;
  if (v.monitor && v.mpegSource) {
    v.control |= kBitMpegMonitor | kBitMpegSource;
  } else if (v.mpegSource) {
    v.control |= kBitMpegSource;
  }
  if (i2s) v.control |= kBitI2S;
  ports.Out32(v.port, v.control);
  char text[64];
  std::snprintf(text, sizeof text, "0x%04lx - 0x%08lx", static_cast<unsigned long>(v.port),
                static_cast<unsigned long>(v.control));
  v.diag = text;
}
