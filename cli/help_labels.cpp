#include "cli/help_labels.h"

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

void LocalizeHeadingsAndFlags(CLI::App& app, Language language) {
  for (CLI::Option* option : app.get_options()) {
    if (option->get_group() == kDefaultOptionGroup) option->group(CliText(kGroupOptions, language));
  }
  if (CLI::Option* help = app.get_help_ptr()) help->description(CliText(kHelpFlag, language));
  if (CLI::Option* version = app.get_version_ptr()) version->description(CliText(kVersionFlag, language));
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    if (sub->get_group() == kDefaultSubcommandGroup) sub->group(CliText(kGroupSubcommands, language));
    LocalizeHeadingsAndFlags(*sub, language);
  }
}

}  // namespace

void LocalizeHelp(CLI::App& app, Language language) {
  const auto formatter = app.get_formatter();
  for (const auto& [key, id] : kLabels) formatter->label(key, CliText(id, language));
  LocalizeHeadingsAndFlags(app, language);
}
