#include "wavefile/utf8_file.h"

#ifdef _WIN32
#include <windows.h>

#include <cerrno>

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  if (n <= 0) return {};
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::FILE* OpenUtf8File(const char* path, const char* mode) {
  const std::wstring widePath = WideFromUtf8(path);
  const std::wstring wideMode = WideFromUtf8(mode);
  if (widePath.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return _wfopen(widePath.c_str(), wideMode.c_str());
}

int RemoveUtf8File(const char* path) {
  const std::wstring widePath = WideFromUtf8(path);
  return widePath.empty() ? -1 : _wremove(widePath.c_str());
}

#else

std::FILE* OpenUtf8File(const char* path, const char* mode) { return std::fopen(path, mode); }
int RemoveUtf8File(const char* path) { return std::remove(path); }

#endif
