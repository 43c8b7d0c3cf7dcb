// Helpers shared by the tests: temporary folders, whole-file reads, running
// a piece of code in a child process under limits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh folder under the system's temporary folder, removed with its
/// contents when the object goes.
class TempDir {
 public:
  /// A new folder in `base`, or in the system's temporary folder when empty.
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

/// Runs `body` in a forked child and returns its wait status.
int RunInChild(const std::function<int()>& body);

/// Runs a shell command and returns its standard output; `status` gets the exit code.
std::string RunCommand(const std::string& command, int* status = nullptr);

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset);
uint16_t ReadLe16(const std::vector<uint8_t>& bytes, size_t offset);

/// Bytes of this process in memory: its resident set (working set on Windows); 0 when unknown.
uint64_t ResidentBytes();

}  // namespace testsupport
