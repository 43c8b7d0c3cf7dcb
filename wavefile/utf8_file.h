// Files named by UTF-8 paths. On Windows the C library reads a char path in
// the system's ANSI code page, so a folder with Japanese (or any non-ANSI)
// letters would not open; there the wide API takes the path instead.
#pragma once

#include <cstdio>
#include <string>

/// std::fopen of the UTF-8 `path` with `mode`; null on failure (errno set).
std::FILE* OpenUtf8File(const char* path, const char* mode);
/// A new file at the UTF-8 `path`, opened for binary writing; null (errno
/// EEXIST) when any entry of that name exists, so that two writers never
/// share a file: the check and the create are one step (O_EXCL, or
/// CREATE_NEW on Windows).
std::FILE* OpenNewUtf8File(const char* path);
/// std::remove of the UTF-8 `path`; 0 on success.
int RemoveUtf8File(const char* path);

#ifdef _WIN32
/// `text` (UTF-8) as UTF-16; an empty string when it is not valid UTF-8.
std::wstring WideFromUtf8(const std::string& text);
/// `text` (UTF-16) as UTF-8.
std::string Utf8FromWide(const std::wstring& text);
#endif
