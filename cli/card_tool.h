// tapewell-card's work, apart from its command line: show the sound card's
// control register, or set the MPEG source and monitor bits the way the
// window's two check boxes do.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "card/port_access.h"
#include "recorder/string_table.h"

/// What tapewell-card was asked to do.
struct CardCommand {
  enum class Action { Status, Source, Monitor };
  uint16_t port = 0xE000;
  bool sony = false;  // serial format written with bit 15: Sony (clear) or I2S (set)
  Action action = Action::Status;
  bool on = false;  // for Source and Monitor
  Language language = Language::English;  // of the notes (the register's reasons stay English)
};

/// Exit statuses of tapewell-card.
inline constexpr int kCardExitOk = 0;
inline constexpr int kCardExitUnreachable = 1;  // the register cannot be read or written
inline constexpr int kCardExitUsage = 2;

/// A port written in hexadecimal, with or without "0x" ("E000", "0xe400");
/// nothing when the text is not a hexadecimal number from 0 to FFFF.
std::optional<uint16_t> ParseHexPort(const std::string& text);

/// Carries out `command` on the register behind `ports`. Prints the port, the
/// register value (the one written, for Source and Monitor), the two settings,
/// the serial format and the access route to `out`, one "name value" per line;
/// a reason or a note to `err`. Returns kCardExitOk, or kCardExitUnreachable
/// when the register cannot be read or written.
int RunCardCommand(PortAccess& ports, const CardCommand& command, std::ostream& out, std::ostream& err);
