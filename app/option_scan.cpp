#include "app/option_scan.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// Tokens at blanks only, as strtok(text, " ") would give them, with the
// end of the first token.
std::vector<std::string> SplitAtBlanks(const std::string& text, size_t& firstTokenEnd) {
  std::vector<std::string> tokens;
  firstTokenEnd = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (tokens.empty()) firstTokenEnd = i;
    tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

bool ScanHex(const std::string& text, unsigned long& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && i + 2 < text.size() &&
      std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
    i += 2;
  }
  unsigned long v = 0;
  size_t digits = 0;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    v = v * 16 + static_cast<unsigned long>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (digits == 0) return false;
  value = negative ? 0ul - v : v;
  return true;
}

void ScanOptions(std::string& commandLine, OptionTargets t) {
  size_t firstTokenEnd = 0;
  const std::vector<std::string> tokens = SplitAtBlanks(commandLine, firstTokenEnd);
  commandLine.resize(firstTokenEnd);  // the text now ends with its first token
  for (const std::string& token : tokens) {
    if (token[0] != '-' && token[0] != '/') continue;
    if (token.size() < 2) continue;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(token[1])));
    const std::string value = token.substr(2);
    if (letter == 'f') {
      if (EqualsIgnoringCase(value, "sony")) t.i2s = 0;
    } else if (letter == 'i') {
      unsigned long port = 0;
      if (ScanHex(value, port)) t.port = static_cast<uint16_t>(port & 0xFFFF);
    } else if (letter == 'w') {
      t.folder = value;
      if (t.folder.empty() || t.folder.back() != t.separator) t.folder += t.separator;
      t.file = t.nextName();
    }
  }
}

std::string ScanDeviceOption(const std::string& commandLine) {
  size_t firstTokenEnd = 0;
  std::string device;
  for (const std::string& token : SplitAtBlanks(commandLine, firstTokenEnd)) {
    if (token.size() >= 2 && (token[0] == '-' || token[0] == '/') && (token[1] == 'd' || token[1] == 'D')) {
      device = token.substr(2);
    }
  }
  return device;
}

std::string JoinArguments(int argc, char** argv) {
  return JoinArguments(std::vector<std::string>(argv + std::min(argc, 1), argv + std::max(argc, 1)));
}

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    text += args[i];
  }
  return text;
}
