// The sound card's control register: the start-up read that sets the two
// MPEG check boxes, and the read-modify-write of bits 9, 14 and 15.
#pragma once

#include <cstdint>
#include <string>

#include "card/port_access.h"

inline constexpr uint32_t kBitMpegSource = 0x00000200;   // bit 9: MPEG input is the recording source
inline constexpr uint32_t kBitMpegMonitor = 0x00004000;  // bit 14: MPEG input passed through to playback
inline constexpr uint32_t kBitI2S = 0x00008000;          // bit 15: serial format I2S (clear: Sony)
inline constexpr uint32_t kKeepOtherBits = 0xFFFF3DFF;

/// The members the register touches.
struct ControlRegisterView {
  uint16_t port;            // m_wPort
  uint32_t& control;        // m_dwControl
  int32_t& monitor;         // m_bMonitor
  int32_t& mpegSource;      // m_bMpegSource
  std::string& diag;        // m_strDiag
};

/// The start-up read: control = register, the two boxes from bits 14 and 9,
/// diag = "<remnant> 0x%04lx - 0x%08lx", followed by " via <route>" when the
/// port access names its route. Writes nothing. When the register cannot be
/// read: returns false, `why` says why, diag = "<remnant> 0x%04lx - <why>",
/// and control and the boxes are left as they were.
bool ReadControlRegisterAtStartup(PortAccess& ports, const std::string& remnant, ControlRegisterView v,
                                  std::string& why);

/// Reads the register afresh, clears bits 9, 14 and 15, sets 14 and 9 when both
/// boxes are on, 9 alone with the source box alone, 15 when `i2s`, writes it
/// back and sets diag = "0x%04lx - 0x%08lx" (and " via <route>"). Every other
/// bit is written as read. When the register cannot be read or written:
/// returns false, `why` says why, diag = "0x%04lx - <why>", and the boxes are
/// set back from `control`, the value last known to be in the register.
bool ProgramControlRegister(PortAccess& ports, int32_t i2s, ControlRegisterView v, std::string& why);

/// The register's value with bits 9, 14 and 15 set as the two boxes and the
/// serial format say, every other bit as in `read`.
uint32_t ControlValueToWrite(uint32_t read, bool mpegSource, bool monitor, bool i2s);
