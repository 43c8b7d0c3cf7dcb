// The tests' helpers on Windows: temporary folders under the user's
// temporary folder, whole-file reads and writes, shell commands. Paths are
// UTF-8, as everywhere in the program.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/test_support.h"
#include "wavefile/utf8_file.h"

namespace testsupport {

namespace {
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(WideFromUtf8(utf8)); }
}  // namespace

TempDir::TempDir(const std::string& in) {
  const std::filesystem::path base = in.empty() ? std::filesystem::temp_directory_path() : PathOf(in);
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::wstring name = L"tapewell-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      // Forward slashes, as the tests join names with "/" (Windows takes both).
      path_ = Utf8FromWide((base / name).generic_wstring());
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(PathOf(path_), ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = _wpopen(WideFromUtf8(command).c_str(), L"rb");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int rc = _pclose(pipe);
  if (status) *status = rc;
  return output;
}

uint32_t ReadLe32(const std::vector<uint8_t>& b, size_t o) {
  return uint32_t(b.at(o)) | uint32_t(b.at(o + 1)) << 8 | uint32_t(b.at(o + 2)) << 16 | uint32_t(b.at(o + 3)) << 24;
}

uint16_t ReadLe16(const std::vector<uint8_t>& b, size_t o) {
  return static_cast<uint16_t>(b.at(o) | b.at(o + 1) << 8);
}

uint64_t ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

}  // namespace testsupport
