// tapewell-rec's arguments on Windows as the user typed them. The C
// library's `main` gets them in the ANSI code page, which turns every letter
// outside it (a Japanese folder name, say) into '?'; the Unicode command line
// keeps them.
#pragma once

#include <string>
#include <vector>

namespace winarguments {

/// The process's command line (GetCommandLineW) split as the C library
/// splits it (CommandLineToArgvW), each argument in UTF-8, the program's
/// name first. Empty when Windows cannot split it.
std::vector<std::string> Utf8Arguments();

/// Utf8Arguments as the C library's argument vector, for a parser that takes
/// one; `argc` and `argv` (main's own) stand in when Windows cannot split the
/// command line. The vector lives as long as the object.
class Utf8Argv {
 public:
  Utf8Argv(int argc, char** argv);
  int Count() const { return static_cast<int>(pointers_.size()) - 1; }
  char** Values() { return pointers_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;  // into arguments_, then a null pointer
};

}  // namespace winarguments
