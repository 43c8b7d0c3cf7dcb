#include "recorder/track_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "capture/raw_frame_queue.h"
#include "wavefile/utf8_file.h"
#include "wavefile/wavefile.h"

namespace {

uint32_t ReadLe32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24; }
void WriteLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Shortens the completed WAV file at `path` (the writer's 44-byte header) by
// `bytes` of its data: the header's sizes first, then the file itself.
bool ShortenWaveFile(const std::string& path, uint64_t bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenUtf8File(path.c_str(), "r+b"), std::fclose);
  if (!file) return false;
  WaveHeader header;
  auto* raw = reinterpret_cast<uint8_t*>(&header);
  if (std::fread(raw, 1, sizeof header, file.get()) != sizeof header) return false;
  const uint32_t data = ReadLe32(raw + 40);
  const uint32_t kept = data - static_cast<uint32_t>(std::min<uint64_t>(bytes, data));
  WriteLe32(raw + 4, kept + 36);
  WriteLe32(raw + 40, kept);
  if (std::fseek(file.get(), 0, SEEK_SET) != 0 || std::fwrite(raw, 1, sizeof header, file.get()) != sizeof header ||
      std::fflush(file.get()) != 0) {
    return false;
  }
#ifdef _WIN32
  return _chsize_s(_fileno(file.get()), static_cast<long long>(sizeof header) + kept) == 0;
#else
  return ftruncate(fileno(file.get()), static_cast<off_t>(sizeof header + kept)) == 0;
#endif
}

}  // namespace

int WaveTrackWriter::Create(const std::string& path, int32_t rate, int32_t bits, int32_t channels) {
  const int created = WaveCreateNew(path.c_str(), rate, bits, channels, 0);
  if (created == WAVE_OK) {
    watch_.Watch(path);
    path_ = path;
    bytesPerFrame_ = static_cast<uint32_t>(bits / 8 * channels);
    leaveOut_ = 0;
  }
  return created;
}
int WaveTrackWriter::PutFrames(const uint8_t* frames, uint32_t count) { return WavePutFrames(frames, count); }
int WaveTrackWriter::Close() {
  const int closed = WaveClose();
  const uint64_t leaveOut = leaveOut_;
  leaveOut_ = 0;
  if (closed != WAVE_OK || leaveOut == 0) return closed;
  return ShortenWaveFile(path_, leaveOut * bytesPerFrame_) ? WAVE_OK : WAVE_ERR_WRITE;
}
bool WaveTrackWriter::IsOpen() const { return WaveWriterRate() != 0; }
uint64_t WaveTrackWriter::FramesLeft() const { return WaveFramesLeft(); }
void WaveTrackWriter::Discard(const std::string& path) { RemoveUtf8File(path.c_str()); }
int WaveTrackWriter::Errno() const { return WaveWriterErrno(); }

int DryTrackWriter::Create(const std::string&, int32_t, int32_t bits, int32_t channels) {
  open_ = true;
  frames_ = 0;
  // A real file's limit, as the writer counts it for this layout.
  maxFrames_ = kWaveMaxDataBytes / static_cast<uint32_t>(bits / 8 * channels);
  return WAVE_OK;
}

int DryTrackWriter::PutFrames(const uint8_t*, uint32_t count) {
  if (!open_) return WAVE_ERR_WRITE;
  frames_ += count;
  SkipFrames(count);
  return WAVE_OK;
}

void DryTrackWriter::SkipFrames(uint64_t count) {
  if (rawFrames_) rawFrames_->Drop(static_cast<size_t>(count));
}

void DryTrackWriter::LeaveOutLast(uint64_t count) { frames_ -= std::min(count, frames_); }

int DryTrackWriter::Close() {
  open_ = false;
  return WAVE_OK;
}

uint64_t DryTrackWriter::FramesLeft() const { return open_ && frames_ < maxFrames_ ? maxFrames_ - frames_ : 0; }

TrackWriter& DefaultTrackWriter() {
  static WaveTrackWriter writer;
  return writer;
}
