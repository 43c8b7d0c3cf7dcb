#include "recorder/track_file_watch.h"

#ifdef _WIN32
#include <windows.h>

#include "wavefile/utf8_file.h"
#else
#include <sys/stat.h>
#endif

namespace {

// The identity (device and file number) of the entry at `path`; false when
// the path names nothing. Windows lets nobody delete or rename a file the
// writer holds open, so there an existing entry is enough.
bool Identify(const std::string& path, uint64_t& device, uint64_t& inode) {
#ifdef _WIN32
  device = inode = 0;
  return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  device = static_cast<uint64_t>(st.st_dev);
  inode = static_cast<uint64_t>(st.st_ino);
  return true;
#endif
}

}  // namespace

bool TrackFileWatch::Watch(const std::string& path) {
  path_ = path;
  watching_ = Identify(path, device_, inode_);
  lastLook_ = std::chrono::steady_clock::now();
  return watching_;
}

bool TrackFileWatch::StillThere() {
  if (!watching_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastLook_ < lookEvery_) return true;
  return LookNow();
}

bool TrackFileWatch::LookNow() {
  if (!watching_) return false;
  lastLook_ = std::chrono::steady_clock::now();
  uint64_t device = 0, inode = 0;
  watching_ = Identify(path_, device, inode) && device == device_ && inode == inode_;
  return watching_;
}
