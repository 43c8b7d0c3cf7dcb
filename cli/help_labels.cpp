#include "cli/help_labels.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_text.h"
#include "cli/help_layout.h"

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

// The help laid out for `columns`: each option's (and subcommand's)
// description beside its name, wrapped between words in the columns left
// (below the name when the name is too long); on a terminal narrower than
// kSideBySide, below the name and indented. Lined up by display columns, so
// that Japanese text keeps its place. What an option needs or excludes is
// left out: the error names it when it matters.
class ColumnFormatter : public CLI::Formatter {
 public:
  explicit ColumnFormatter(size_t columns) : columns_(columns) {}

  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    return Entry(make_option_name(opt, is_positional) + make_option_opts(opt), make_option_desc(opt));
  }

  std::string make_subcommand(const CLI::App* sub) const override {
    return Entry(sub->get_display_name(true), sub->get_description());
  }

  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string out;
    if (!opt->get_option_text().empty()) return " " + opt->get_option_text();
    if (opt->get_type_size() != 0) {
      if (!opt->get_type_name().empty()) out += " " + get_label(opt->get_type_name());
      if (!opt->get_default_str().empty()) out += "=" + opt->get_default_str();
      if (opt->get_required()) out += " " + get_label("REQUIRED");
    }
    if (!opt->get_envname().empty()) out += " (" + get_label("Env") + ":" + opt->get_envname() + ")";
    return out;
  }

  std::string make_description(const CLI::App* app) const override { return Paragraphs(Formatter::make_description(app)); }
  std::string make_footer(const CLI::App* app) const override { return Paragraphs(Formatter::make_footer(app)); }

 private:
  static constexpr size_t kSideBySide = 60;  // narrower terminals get each description below its name
  static constexpr size_t kBelowIndent = 6;

  std::string Entry(const std::string& label, const std::string& description) const {
    const std::string name = "  " + label;
    const bool beside = columns_ >= kSideBySide;
    const size_t indent = beside ? column_width_ : kBelowIndent;
    std::string out = name;
    const auto width = static_cast<size_t>(DisplayWidth(name));
    if (description.empty()) return out + "\n";
    if (beside && width < column_width_) {
      out += std::string(column_width_ - width, ' ');
    } else {
      out += "\n" + std::string(indent, ' ');
    }
    bool first = true;
    for (const std::string& paragraph : Split(description)) {
      for (const std::string& line : WrapWords(paragraph, columns_ - indent)) {
        if (!first) out += "\n" + std::string(indent, ' ');
        out += line;
        first = false;
      }
    }
    return out + "\n";
  }

  // `text` with each line that is too wide wrapped between words. The
  // lines it continues on hang under the second column of a line laid out
  // in two ("  q           stop..."), else four columns further in than the
  // line (an example command), else at the margin.
  std::string Paragraphs(const std::string& text) const {
    std::string out;
    for (const std::string& line : Split(text)) {
      if (static_cast<size_t>(DisplayWidth(line)) <= columns_) {
        out += line + "\n";
        continue;
      }
      const size_t indent = line.find_first_not_of(' ');
      const size_t gap = line.find("  ", indent);
      const size_t second = gap == std::string::npos ? std::string::npos : line.find_first_not_of(' ', gap);
      size_t hanging = second != std::string::npos ? second : indent > 0 ? indent + 4 : 0;
      if (hanging > columns_ / 2) hanging = std::min(indent, columns_ / 2);
      const size_t start = second != std::string::npos && second == hanging ? second : indent;
      std::string lead = line.substr(0, start);
      for (const std::string& piece : WrapWords(line.substr(start), columns_ - hanging)) {
        out += lead + piece + "\n";
        lead.assign(hanging, ' ');
      }
    }
    return text.empty() || text.back() == '\n' ? out : out.substr(0, out.size() - 1);
  }

  // `text`'s lines, without a last empty one.
  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  size_t columns_;
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

void LocalizeHelp(CLI::App& app, Language language, size_t columns) {
  const auto formatter = std::make_shared<ColumnFormatter>(columns);
  formatter->column_width(app.get_formatter()->get_column_width());
  for (const auto& [key, id] : kLabels) formatter->label(key, CliText(id, language));
  LocalizeHeadingsAndFlags(app, language, formatter);
}
