// The string table, in English and Japanese.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_ERR_MEMORY = 102;
inline constexpr int IDS_ERR_OPEN = 103;
inline constexpr int IDS_ERR_WRITE = 104;
inline constexpr int IDS_ERR_RECORD = 105;
inline constexpr int IDS_REC_PREFIX = 106;
inline constexpr int IDS_SILENT = 107;
inline constexpr int IDS_CHOOSE_FOLDER = 108;
// The caption's suffix after a recording (%1: the frames the capture dropped).
inline constexpr int IDS_FRAME_DROPPED = 109;
inline constexpr int IDS_FRAMES_DROPPED = 110;
// Why the MPEG boxes are disabled on Windows (%1: the port, 0x and four hex
// digits), in lines short enough for a tooltip.
inline constexpr int IDS_NO_PORT_ACCESS = 111;
/// The window's caption while recording: %1 the recording time, %2 the track
/// number, %3 the frames dropped so far.
inline constexpr int IDS_TAKE_STATUS = 112;
/// The caption after a take, until the next Record: %1 its length, %2 its
/// tracks, %3 the frames dropped.
inline constexpr int IDS_TAKE_SUMMARY = 113;
/// The silence length slider's value: %1 seconds.
inline constexpr int IDS_LENGTH_VALUE = 114;
/// The silence level slider's value: %1 the threshold, %2 its power of two,
/// %3 the threshold in dBFS.
inline constexpr int IDS_LEVEL_VALUE = 115;
/// The system menu's item after About that opens the Options dialog.
inline constexpr int IDS_OPTIONS = 116;
/// What the caption adds while the level rule listens: %1 the input's level,
/// %2 the threshold, both in dBFS.
inline constexpr int IDS_LEVEL_NOW = 117;
inline constexpr int kLastTableString = IDS_LEVEL_NOW;

enum class Language { English, Japanese };

/// The text of string `id` (101..kLastTableString) in `language`; empty for other ids.
std::string LoadTableString(int id, Language language);

/// `text` with each "%1" replaced by `value`.
std::string FillTableString(const std::string& text, const std::string& value);

/// `text` with each "%1".."%9" replaced by that entry of `values` (the
/// first for %1); a placeholder without a value stays as written.
std::string FillTableStrings(const std::string& text, const std::vector<std::string>& values);

/// A level in dBFS with one decimal ("-42.1"); below -150 dBFS (digital
/// silence) "-inf".
std::string DecibelsText(double db);

/// `pattern` (string IDS_LEVEL_NOW: %1 level, %2 threshold) filled with
/// `levelDb` and `thresholdDb` as DecibelsText writes them.
std::string LevelNowText(const std::string& pattern, double levelDb, double thresholdDb);

/// The caption's suffix after a recording that dropped `dropped` frames:
/// string IDS_FRAME_DROPPED (one frame) or IDS_FRAMES_DROPPED, as `load`
/// gives it (a window's LoadString, in its UI's language), with the count.
std::string DroppedFramesSuffix(uint64_t dropped, const std::function<std::string(int)>& load);

/// Japanese when the first language of LANGUAGE is Japanese, or when the
/// user's locale (LC_ALL, LC_MESSAGES or LANG, the first that is set) names
/// Japanese; otherwise English. The window decides the same way.
Language SystemLanguage();
