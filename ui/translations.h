// The string table's languages: English is the source text, Japanese comes
// from the embedded translation.
#pragma once

#include "recorder/string_table.h"

/// Installs the translation for `language` (English removes it). Returns
/// false when the Japanese translation cannot be loaded.
bool InstallLanguage(Language language);

/// Japanese when the system's UI language is Japanese, otherwise English.
Language QtSystemLanguage();
