#include "cli/help_layout.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

// Marks a line must not start with: closing brackets, punctuation, the
// prolonged sound mark and small kana.
bool ClosesPhrase(char32_t code) {
  static constexpr std::u32string_view kClosing = U"、。，．）」』】〕・：；？！ーァィゥェォッャュョぁぃぅぇぉっゃゅょ,.:;)]}!?";
  return kClosing.find(code) != std::u32string_view::npos;
}

// Marks a line must not end with: opening brackets.
bool OpensPhrase(char32_t code) {
  static constexpr std::u32string_view kOpening = U"（「『【〔([{";
  return kOpening.find(code) != std::u32string_view::npos;
}

}  // namespace

size_t DecodeUtf8(const std::string& text, size_t i, char32_t& cp) {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
  if (i + n > text.size()) n = 1;
  cp = n == 1 ? b : b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return n;
}

int CharacterColumns(char32_t cp) {
  if (cp < 0x20 || cp == 0x7F) return 0;
  const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
                    (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                    (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                    (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
                    (cp >= 0x20000 && cp <= 0x3FFFD);
  return wide ? 2 : 1;
}

int DisplayWidth(const std::string& text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    i += DecodeUtf8(text, i, cp);
    width += CharacterColumns(cp);
  }
  return width;
}

std::vector<std::string> WrapWords(const std::string& text, size_t width) {
  // The text as pieces that may not be broken: words between spaces, each
  // cut again between wide characters. `space`: the piece follows a space
  // (shown as one when the two share a line).
  struct Piece {
    std::string text;
    bool space;
  };
  std::vector<Piece> pieces;
  bool afterSpace = false;
  char32_t previous = ' ';
  for (size_t i = 0; i < text.size();) {
    char32_t code = 0;
    const size_t n = DecodeUtf8(text, i, code);
    const std::string_view bytes = std::string_view(text).substr(i, n);
    i += n;
    if (code == ' ') {
      afterSpace = true;
      previous = ' ';
      continue;
    }
    const bool breakable = previous != ' ' && (CharacterColumns(code) == 2 || CharacterColumns(previous) == 2) &&
                           !ClosesPhrase(code) && !OpensPhrase(previous);
    if (pieces.empty() || afterSpace || breakable) {
      pieces.push_back({std::string(bytes), afterSpace});
    } else {
      pieces.back().text += bytes;
    }
    afterSpace = false;
    previous = code;
  }
  std::vector<std::string> lines(1);
  size_t used = 0;
  for (const Piece& piece : pieces) {
    const auto pieceWidth = static_cast<size_t>(DisplayWidth(piece.text));
    const size_t gap = used > 0 && piece.space ? 1 : 0;
    if (used > 0 && used + gap + pieceWidth > width) {
      lines.emplace_back();
      used = 0;
    } else if (gap > 0) {
      lines.back() += ' ';
      used += 1;
    }
    lines.back() += piece.text;
    used += pieceWidth;
  }
  return lines;
}

size_t HelpColumns() {
  size_t columns = 80;
  if (const char* value = std::getenv("COLUMNS"); value && *value) {
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    if (*end == '\0' && parsed > 0) columns = static_cast<size_t>(parsed);
  }
#ifndef _WIN32
  else if (winsize size{}; isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    columns = size.ws_col;
  }
#endif
  return std::clamp(columns, size_t{20}, size_t{80});
}
