#include "card/windows_port_access.h"

#include <cstdio>

namespace {

std::string Reason(uint16_t port) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Windows gives programs no access to I/O port 0x%04x: the MPEG input can be set only "
                "from Linux (tapewell-card)",
                static_cast<unsigned>(port));
  return text;
}

}  // namespace

bool WindowsPortAccess::Available(uint16_t port, std::string& why) {
  why = Reason(port);
  return false;
}

std::optional<uint32_t> WindowsPortAccess::In32(uint16_t port, std::string& why) {
  why = Reason(port);
  return std::nullopt;
}

bool WindowsPortAccess::Out32(uint16_t port, uint32_t, std::string& why) {
  why = Reason(port);
  return false;
}
