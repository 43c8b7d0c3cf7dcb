#include "cli/win_console_text.h"

#include <windows.h>

namespace winconsoletext {

Utf8ConsoleOutput::Utf8ConsoleOutput() : saved_(GetConsoleOutputCP()) {
  if (saved_ != 0 && saved_ != CP_UTF8 && !SetConsoleOutputCP(CP_UTF8)) saved_ = 0;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
  if (saved_ != 0 && saved_ != CP_UTF8) SetConsoleOutputCP(saved_);
}

}  // namespace winconsoletext
