// The real clock and file system on Windows: the local date from the system
// clock, and whether an entry exists asked of the file system in UTF-16 (the
// folder may hold letters outside the ANSI code page).
#include <windows.h>

#include "recorder/track_naming.h"
#include "wavefile/utf8_file.h"

LocalDate SystemNaming::Today() const {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return {local.wDay, local.wMonth};
}

bool SystemNaming::EntryExists(const std::string& path) const {
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return false;
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}
