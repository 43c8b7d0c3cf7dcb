// Text laid out for a terminal of a given width: the columns a UTF-8 text
// takes, lines broken between words (or between the characters of Japanese
// text), and the width --help is laid out for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// The UTF-8 sequence starting at text[i]: its length in bytes (1 for a
/// byte that starts no valid sequence), its code point in `cp`.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& cp);

/// Columns the character `cp` takes on a terminal: two for East Asian wide
/// and full-width characters (kana, kanji, fullwidth forms, emoji), none
/// for a control character, one for any other.
int CharacterColumns(char32_t cp);

/// The columns `text` (UTF-8) takes on a terminal.
int DisplayWidth(const std::string& text);

/// `text` (one paragraph, no line breaks) in lines of at most `width`
/// columns, broken at spaces (which go) or between two wide characters, never
/// before a closing mark such as "、" or ")". A word wider than `width` keeps
/// a line of its own. Empty text gives one empty line.
std::vector<std::string> WrapWords(const std::string& text, size_t width);

/// The columns --help is laid out for: $COLUMNS when it holds a number, else
/// the width of the terminal on standard output, else 80; never more than 80
/// (longer lines are harder to read) nor less than 20.
size_t HelpColumns();
