// Prints, one a line as "-x", every option letter that the window's option
// scan acts on: each letter is tried with a few values, and a letter counts
// when any of them changes what the scan may change. Then, as "--name", every
// long option the window takes out of its arguments before that scan.
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/option_scan.h"
#include "app/window_options.h"

namespace {

bool ScanChangesSomething(const std::string& token) {
  int32_t i2s = 1;
  uint16_t port = 0xE000;
  std::string folder;
  std::string file = "01Jan001";
  int names = 0;
  std::string commandLine = token;
  ScanOptions(commandLine, OptionTargets{i2s, port, folder, file, [&names] {
                                           ++names;
                                           return std::string("02Feb002");
                                         }});
  return i2s != 1 || port != 0xE000 || !folder.empty() || file != "01Jan001" || names != 0;
}

}  // namespace

int main() {
  const char* values[] = {"", "sony", "1234", "/tmp/rec"};
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    for (const char* value : values) {
      if (ScanChangesSomething(std::string("-") + letter + value)) {
        std::printf("-%c\n", letter);
        break;
      }
    }
  }
  for (const std::string& name : WindowLongOptions()) {
    std::vector<std::string> args = {name, "1"};
    WindowOptions options;
    TakeWindowOptions(args, options);
    if (args.size() < 2) std::printf("%s\n", name.c_str());
  }
  return 0;
}
