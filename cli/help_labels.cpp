#include "cli/help_labels.h"

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "cli/cli_text.h"

namespace {

using enum CliTextId;

// CLI11's label keys and the texts that replace them.
constexpr std::pair<const char*, CliTextId> kLabels[] = {
    {"Usage", kLabelUsage},
    {"OPTIONS", kLabelOptionsBadge},
    {"SUBCOMMAND", kLabelSubcommand},
    {"SUBCOMMANDS", kLabelSubcommands},
    {"Positionals", kLabelPositionals},
    {"REQUIRED", kLabelRequired},
    {"Needs", kLabelNeeds},
    {"Excludes", kLabelExcludes},
    {"Env", kLabelEnv},
    {"TEXT", kLabelText},
};

// CLI11's default headings, which options and subcommands get when added.
const std::string kDefaultOptionGroup = "Options";
const std::string kDefaultSubcommandGroup = "Subcommands";

// Columns `text` (UTF-8) takes on a terminal: two for the wide characters of
// East Asian scripts (kana, kanji, fullwidth forms), one for any other.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

// CLI11's formatter, which lines the descriptions up by bytes, lining them up
// by columns instead, so that a Japanese label in the left column ("--fast
// 必要: --input") does not pull its description out of line. The same as
// CLI11's for ASCII text.
class ColumnFormatter : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    const std::string name = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    const std::string description = make_option_desc(opt);
    const std::string indent(column_width_, ' ');
    std::ostringstream out;
    out << name;
    const size_t width = DisplayWidth(name);
    if (width < column_width_) out << std::string(column_width_ - width, ' ');
    if (!description.empty()) {
      if (width >= column_width_) out << "\n" << indent;
      for (const char c : description) {
        out.put(c);
        if (c == '\n') out << indent;
      }
    }
    out << "\n";
    return out.str();
  }
};

void LocalizeHeadingsAndFlags(CLI::App& app, Language language, const std::shared_ptr<CLI::Formatter>& formatter) {
  app.formatter(formatter);
  for (CLI::Option* option : app.get_options()) {
    if (option->get_group() == kDefaultOptionGroup) option->group(CliText(kGroupOptions, language));
  }
  if (CLI::Option* help = app.get_help_ptr()) help->description(CliText(kHelpFlag, language));
  if (CLI::Option* version = app.get_version_ptr()) version->description(CliText(kVersionFlag, language));
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    if (sub->get_group() == kDefaultSubcommandGroup) sub->group(CliText(kGroupSubcommands, language));
    LocalizeHeadingsAndFlags(*sub, language, formatter);
  }
}

}  // namespace

void LocalizeHelp(CLI::App& app, Language language) {
  const auto formatter = std::make_shared<ColumnFormatter>();
  formatter->column_width(app.get_formatter()->get_column_width());
  for (const auto& [key, id] : kLabels) formatter->label(key, CliText(id, language));
  LocalizeHeadingsAndFlags(app, language, formatter);
}
