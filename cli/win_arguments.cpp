#include "cli/win_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "wavefile/utf8_file.h"

namespace winarguments {

std::vector<std::string> Utf8Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

Utf8Argv::Utf8Argv(int argc, char** argv) : arguments_(Utf8Arguments()) {
  if (arguments_.empty()) arguments_.assign(argv, argv + argc);
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
  pointers_.push_back(nullptr);
}

}  // namespace winarguments
