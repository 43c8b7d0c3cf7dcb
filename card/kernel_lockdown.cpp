#include "card/kernel_lockdown.h"

#include <fstream>

std::string KernelLockdownMode(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!std::getline(in, text)) return {};
  // "none [integrity] confidentiality": the bracketed word is in force.
  const auto open = text.find('[');
  const auto close = text.find(']', open == std::string::npos ? 0 : open);
  if (open == std::string::npos || close == std::string::npos) return {};
  return text.substr(open + 1, close - open - 1);
}

bool LockdownForbidsPortWrites(const std::string& mode) {
  return mode == "integrity" || mode == "confidentiality";
}
