// The string table, in English and Japanese.
#pragma once

#include <string>

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_ERR_MEMORY = 102;
inline constexpr int IDS_ERR_OPEN = 103;
inline constexpr int IDS_ERR_WRITE = 104;
inline constexpr int IDS_ERR_RECORD = 105;
inline constexpr int IDS_REC_PREFIX = 106;
inline constexpr int IDS_SILENT = 107;
inline constexpr int IDS_CHOOSE_FOLDER = 108;
/// The window's caption while recording: %1 the recording time, %2 the track
/// number, %3 the frames dropped so far.
inline constexpr int IDS_TAKE_STATUS = 120;

enum class Language { English, Japanese };

/// The text of string `id` (101..108, 120) in `language`; empty for other ids.
std::string LoadTableString(int id, Language language);

/// Japanese when the first language of LANGUAGE is Japanese, or when the
/// user's locale (LC_ALL, LC_MESSAGES or LANG, the first that is set) names
/// Japanese; otherwise English. The window decides the same way.
Language SystemLanguage();
