#include "cli/card_tool.h"

#include <cctype>
#include <cstdio>

#include "card/control_register.h"
#include "cli/cli_text.h"

namespace {

void PrintRegister(std::ostream& out, uint16_t port, uint32_t value, const std::string& route) {
  char text[64];
  std::snprintf(text, sizeof text, "port 0x%04x\nregister 0x%08lx\n", port, static_cast<unsigned long>(value));
  out << text;
  out << "source " << ((value & kBitMpegSource) ? "on" : "off") << "\n";
  out << "monitor " << ((value & kBitMpegMonitor) ? "on" : "off") << "\n";
  out << "format " << ((value & kBitI2S) ? "i2s" : "sony") << "\n";
  out << "access " << route << "\n";
}

}  // namespace

std::optional<uint16_t> ParseHexPort(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  unsigned long value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 16 + static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                    : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

int RunCardCommand(PortAccess& ports, const CardCommand& command, std::ostream& out, std::ostream& err) {
  std::string why;
  const auto current = ports.In32(command.port, why);
  if (!current) {
    err << "tapewell-card: " << why << "\n";
    return kCardExitUnreachable;
  }
  if (command.action == CardCommand::Action::Status) {
    PrintRegister(out, command.port, *current, ports.Route());
    return kCardExitOk;
  }

  // The two check boxes as the window would show them now, one of them changed.
  int32_t source = (*current & kBitMpegSource) ? 1 : 0;
  int32_t monitor = (*current & kBitMpegMonitor) ? 1 : 0;
  if (command.action == CardCommand::Action::Source) source = command.on ? 1 : 0;
  if (command.action == CardCommand::Action::Monitor) monitor = command.on ? 1 : 0;

  uint32_t control = *current;
  std::string diag;
  if (!ProgramControlRegister(ports, command.sony ? 0 : 1, {command.port, control, monitor, source, diag}, why)) {
    err << "tapewell-card: " << why << "\n";
    return kCardExitUnreachable;
  }
  PrintRegister(out, command.port, control, ports.Route());
  if (command.action == CardCommand::Action::Monitor && command.on && !source) {
    err << "tapewell-card: " << CliText(CliTextId::kCardMonitorNote, command.language) << "\n";
  }
  return kCardExitOk;
}
