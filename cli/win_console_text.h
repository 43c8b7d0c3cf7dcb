// tapewell-rec's texts on a Windows console: they are UTF-8 (paths in any
// letters, the Japanese UI), while a console shows bytes in its own code page
// (437, 932, ...) unless told otherwise.
#pragma once

namespace winconsoletext {

/// Sets the console's output code page to UTF-8 for the object's life, so
/// that every line, --help and usage errors included, shows as written; puts
/// the console's own code page back when it goes. Does nothing without a
/// console.
class Utf8ConsoleOutput {
 public:
  Utf8ConsoleOutput();
  ~Utf8ConsoleOutput();
  Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
  Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

 private:
  unsigned saved_ = 0;  // the console's code page, 0 without a console
};

}  // namespace winconsoletext
