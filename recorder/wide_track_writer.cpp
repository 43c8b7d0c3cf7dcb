#include "recorder/wide_track_writer.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "wavefile/utf8_file.h"
#include "wavefile/wavefile.h"

namespace {

// The largest file FAT32 holds, as the WAV library's files keep to.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFu;

// A new file at the UTF-8 `path` for writing; -1 (errno EEXIST) when any
// entry of that name exists: the check and the create are one step.
int CreateNewFile(const std::string& path) {
#ifdef _WIN32
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) {
    errno = ENOENT;
    return -1;
  }
  return _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

int CloseFile(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  return ::close(fd);
#endif
}

// The size of the file open as `fd`, or -1.
int64_t FileSize(int fd) {
#ifdef _WIN32
  struct _stat64 st {};
  return _fstat64(fd, &st) == 0 ? st.st_size : -1;
#else
  struct stat st {};
  return fstat(fd, &st) == 0 ? st.st_size : -1;
#endif
}

// errno after a failure, or EIO when the failure left none.
int Reason() { return errno != 0 ? errno : EIO; }

}  // namespace

WideTrackWriter::WideTrackWriter(RawFrameQueue& frames, bool floating, std::chrono::milliseconds lookEvery)
    : frames_(frames), floating_(floating), watch_(lookEvery) {}

WideTrackWriter::~WideTrackWriter() {
  if (file_) static_cast<void>(Close());
}

int WideTrackWriter::Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) {
  if (file_) static_cast<void>(Close());  // never leave a file behind with a stale header
  errno_ = 0;
  leaveOut_ = written_ = 0;
  bytesPerFrame_ = static_cast<uint32_t>(bits / 8 * channels);
  if ((bits != 24 && bits != 32) || (floating_ && bits != 32) || (channels != 1 && channels != 2) ||
      bytesPerFrame_ != frames_.BytesPerFrame()) {
    errno_ = EINVAL;
    return WAVE_ERR_OPEN;
  }
  const int fd = CreateNewFile(path);
  if (fd < 0) {
    errno_ = errno;
    return WAVE_ERR_OPEN;
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | (floating_ ? SF_FORMAT_FLOAT : bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_32);
  errno = 0;
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (file) {
    // The frames are written as they come: a PEAK chunk would state nothing true.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0) != 0 || sf_error(file) != SF_ERR_NO_ERROR) {
      sf_close(file);
      file = nullptr;
    }
  }
  const int64_t header = file ? FileSize(fd) : -1;
  if (!file || header <= 0) {
    // A file without even its header opens nowhere: it goes again.
    errno_ = Reason();
    if (file) sf_close(file);
    CloseFile(fd);
    RemoveUtf8File(path.c_str());
    return WAVE_ERR_WRITE;
  }
  file_ = file;
  fd_ = fd;
  // The whole file within 4 GiB - 1 bytes, with room for the pad byte of an odd data size.
  maxFrames_ = std::min<uint64_t>(kWaveMaxDataBytes, kMaxFileBytes - static_cast<uint64_t>(header) - 1) /
               bytesPerFrame_;
  watch_.Watch(path);
  return WAVE_OK;
}

int WideTrackWriter::PutFrames(const uint8_t*, uint32_t count) {
  if (!file_) return WAVE_ERR_WRITE;
  if (count > maxFrames_ - written_) return Fail(EFBIG);
  block_.resize(size_t{count} * bytesPerFrame_);
  if (frames_.Take(block_.data(), count) != count) return Fail(EIO);  // the replay gave fewer than it delivered
  errno = 0;
  const sf_count_t bytes = static_cast<sf_count_t>(block_.size());
  const sf_count_t wrote = sf_write_raw(file_, block_.data(), bytes);
  if (wrote != bytes) {
    // A short write may have left part of a frame behind: the file ends
    // with the last whole frame that reached it, as the WAV library's do.
    const int reason = Reason();
    sf_count_t whole = static_cast<sf_count_t>(written_ + static_cast<uint64_t>(std::max<sf_count_t>(0, wrote)) /
                                                              bytesPerFrame_);
    sf_command(file_, SFC_FILE_TRUNCATE, &whole, sizeof whole);
    return Fail(reason);
  }
  written_ += count;
  // The header states every frame written: a recording killed on the way
  // leaves files that read whole.
  if (sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0) != 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
    return Fail(Reason());
  }
  return WAVE_OK;
}

void WideTrackWriter::SkipFrames(uint64_t count) {
  while (count > 0) {
    const size_t step = static_cast<size_t>(std::min<uint64_t>(count, SIZE_MAX));
    if (frames_.Drop(step) == 0) return;
    count -= step;
  }
}

int WideTrackWriter::Close() {
  if (!file_) return WAVE_ERR_WRITE;
  int result = WAVE_OK;
  if (leaveOut_ > 0) {
    sf_count_t kept = static_cast<sf_count_t>(written_ - std::min(leaveOut_, written_));
    errno = 0;
    if (sf_command(file_, SFC_FILE_TRUNCATE, &kept, sizeof kept) != 0) {
      errno_ = Reason();
      result = WAVE_ERR_WRITE;
    }
  }
  leaveOut_ = 0;
  errno = 0;
  // libsndfile states the final size in the header as it closes.
  if (sf_close(file_) != 0 && result == WAVE_OK) {
    errno_ = Reason();
    result = WAVE_ERR_WRITE;
  }
  file_ = nullptr;
  if (CloseFile(fd_) != 0 && result == WAVE_OK) {
    errno_ = errno;
    result = WAVE_ERR_WRITE;
  }
  fd_ = -1;
  return result;
}

int WideTrackWriter::Fail(int reason) {
  static_cast<void>(Close());
  errno_ = reason;
  return WAVE_ERR_WRITE;
}

uint64_t WideTrackWriter::FramesLeft() const { return file_ && written_ < maxFrames_ ? maxFrames_ - written_ : 0; }

void WideTrackWriter::Discard(const std::string& path) { RemoveUtf8File(path.c_str()); }
