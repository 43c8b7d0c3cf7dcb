// The window's languages. Two kinds of text are translated, each from its
// own source language: the string table (context "StringTable") is written
// in English, the dialog templates (contexts "RecorderDialog" and
// "AboutDialog") in Japanese. Each language has one embedded translation
// file that covers every text of both kinds: tapewell_ja.qm keeps the
// templates as they are and turns the string table into Japanese,
// tapewell_en.qm turns the templates into English and keeps the string table.
#pragma once

#include <array>

#include "recorder/string_table.h"

/// Installs the translation for `language`, replacing the one installed
/// before, and for Japanese Qt's own (qtbase_ja from Qt's translations
/// folder, for the folder browser; English without it). Returns false when
/// the window's file cannot be loaded (the texts are then the sources:
/// English string table, Japanese templates).
bool InstallLanguage(Language language);

/// Japanese when the system's UI language is Japanese, otherwise English.
Language QtSystemLanguage();

/// How many strings the table holds (101..kLastTableString).
inline constexpr size_t kTableStrings = kLastTableString - IDS_ABOUTBOX + 1;

/// The English texts of strings 101..kLastTableString, in order, as the
/// translation tools find them (context "StringTable").
const std::array<const char*, kTableStrings>& StringTableSources();
