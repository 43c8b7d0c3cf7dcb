// The command-line option scan: -f<format>, -i<hex port>, -w<folder> (and
// -d<input>, read by ScanDeviceOption), each
// starting with "-" or "/", letters in any case, values attached.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// What the scan may change.
struct OptionTargets {
  int32_t& i2s;                            // g_bI2S: cleared by -fsony
  uint16_t& port;                          // m_wPort: -i, modulo 65536
  std::string& folder;                     // m_strFolder: -w, with one trailing separator
  std::string& file;                       // m_strFile: the next free name after each -w
  std::function<std::string()> nextName;   // the first free track name in `folder`
  char separator = '/';                    // the folder separator
};

/// Scans `commandLine` (tokens separated by blanks, as strtok splits them)
/// and applies each option in turn. The text is split in place: afterwards it
/// ends with its first token (the remnant that the start-up diagnostic line
/// shows), or is empty when it holds no token.
void ScanOptions(std::string& commandLine, OptionTargets targets);

/// The input named by the last -d option of `commandLine` ("-d" or "/d", the
/// letter in any case, the name attached: "-dtapewell_null.monitor"), or ""
/// when there is none. The window records from that input instead of the
/// default one; ScanOptions itself passes over the option.
std::string ScanDeviceOption(const std::string& commandLine);

/// Reads a hexadecimal number as sscanf's "%x" does (sign, optional 0x,
/// digits up to the first non-digit). False when no digit was read.
bool ScanHex(const std::string& text, unsigned long& value);

/// The arguments after the program's name joined with single blanks.
std::string JoinArguments(int argc, char** argv);
/// `args` joined with single blanks.
std::string JoinArguments(const std::vector<std::string>& args);
