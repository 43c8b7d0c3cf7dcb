#include "wavefile/utf8_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
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

std::FILE* OpenNewUtf8File(const char* path) {
  const std::wstring widePath = WideFromUtf8(path);
  if (widePath.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? EEXIST
            : error == ERROR_ACCESS_DENIED                              ? EACCES
            : error == ERROR_DISK_FULL                                  ? ENOSPC
                                                                        : ENOENT;
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) _close(fd);
  return file;
}

int RemoveUtf8File(const char* path) {
  const std::wstring widePath = WideFromUtf8(path);
  return widePath.empty() ? -1 : _wremove(widePath.c_str());
}

#else

std::FILE* OpenUtf8File(const char* path, const char* mode) { return std::fopen(path, mode); }
// C11's "x": O_CREAT | O_EXCL.
std::FILE* OpenNewUtf8File(const char* path) { return std::fopen(path, "wbx"); }
int RemoveUtf8File(const char* path) { return std::remove(path); }

#endif
