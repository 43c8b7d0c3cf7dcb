// CLI11's own words in a tool's --help (the usage line, the headings, the
// help and version flags) in the user's language.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>

#include "recorder/string_table.h"

/// Puts `app`'s --help into `language` and `columns` (HelpColumns()): the
/// labels of its help formatter (one formatter for it and its subcommands,
/// wrapping descriptions between words and lining them up by display
/// columns), the "Options" and "Subcommands" headings and
/// the help and version flags' descriptions, in `app` and every subcommand.
/// Call it after adding the options and subcommands, before parsing. The
/// tool's own descriptions are given in the language where they are added.
void LocalizeHelp(CLI::App& app, Language language, size_t columns);
