#include "cli/progress_line.h"

#include <cstdio>
#include <vector>

#include "cli/help_layout.h"

namespace {

struct Glyph {
  size_t at, bytes;
  int width;
};

std::vector<Glyph> Glyphs(const std::string& text) {
  std::vector<Glyph> glyphs;
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(text, i, cp);
    glyphs.push_back({i, n, CharacterColumns(cp)});
    i += n;
  }
  return glyphs;
}

// The end of `text` that fits `columns`, after "…".
std::string TailWithEllipsis(const std::string& text, int columns) {
  if (DisplayWidth(text) <= columns) return text;
  const auto glyphs = Glyphs(text);
  int used = 1;  // the ellipsis
  size_t from = text.size();
  for (auto g = glyphs.rbegin(); g != glyphs.rend() && used + g->width <= columns; ++g) {
    used += g->width;
    from = g->at;
  }
  return "…" + text.substr(from);
}

// The start of `text` that fits `columns`.
std::string Head(const std::string& text, int columns) {
  int used = 0;
  size_t to = 0;
  for (const Glyph& g : Glyphs(text)) {
    if (used + g.width > columns) break;
    used += g.width;
    to = g.at + g.bytes;
  }
  return text.substr(0, to);
}

std::string Join(const ProgressParts& p, bool level, const std::string* path) {
  std::string line = RecordingTime(p.frames, p.rate, false) + "  " + p.track;
  if (level && !p.level.empty()) line += "  " + p.level;
  if (path && !path->empty()) line += "  " + *path;
  line += "  " + p.dropped;
  return p.note.empty() ? line : line + "  " + p.note;
}

// The shortest a shortened path may get before it is left out: "…" and a
// few characters of the file's name.
constexpr int kMinPathColumns = 8;

}  // namespace

std::string RecordingTime(int64_t frames, int32_t rate, bool millis) {
  if (rate <= 0) return millis ? "--:--:--.---" : "--:--:--";
  const int64_t ms = frames / rate * 1000 + frames % rate * 1000 / rate;
  const int64_t seconds = ms / 1000;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  std::string out = text;
  if (millis) {
    std::snprintf(text, sizeof text, ".%03lld", static_cast<long long>(ms % 1000));
    out += text;
  }
  return out;
}

std::string PlainProgressLine(const ProgressParts& parts) { return Join(parts, true, &parts.path); }

std::string FittedProgressLine(const ProgressParts& parts, int columns) {
  const int width = columns - 1;
  if (width < 1) return "";
  for (bool level : {true, false}) {
    const std::string full = Join(parts, level, &parts.path);
    if (DisplayWidth(full) <= width) return full;
    const int room = width - DisplayWidth(Join(parts, level, nullptr)) - 2;
    if (!parts.path.empty() && room >= kMinPathColumns) {
      const std::string shortened = TailWithEllipsis(parts.path, room);
      return Join(parts, level, &shortened);
    }
  }
  return Head(Join(parts, false, nullptr), width);
}

