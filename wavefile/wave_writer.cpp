// The streaming writer: frames are converted, staged in a 409,600-byte block
// and written one block per request. After every full block the header's
// sizes are rewritten in place, so a recording cut off by a crash of the
// program still reads back with every block that reached the file. On an
// output that cannot seek (a pipe) the writer simply streams: the header
// keeps the sizes it was created with.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

#include "wavefile/wavefile.h"
#include "wavefile/utf8_file.h"
#include "wavefile/wavefile_state.h"

namespace {

constexpr size_t kStagingAllocBytes = 409856;

WaveLayout LayoutFor(int32_t bits, int32_t channels) {
  if (bits == 16 && channels == 2) return WaveLayout::Stereo16;
  if (bits == 16 && channels == 1) return WaveLayout::Mono16;
  if (bits == 8 && channels == 2) return WaveLayout::Stereo8;
  if (bits == 8 && channels == 1) return WaveLayout::Mono8;
  return WaveLayout::None;
}

int32_t BytesPerFrame(WaveLayout layout) {
  switch (layout) {
    case WaveLayout::Stereo16: return 4;
    case WaveLayout::Mono16:
    case WaveLayout::Stereo8: return 2;
    case WaveLayout::Mono8: return 1;
    case WaveLayout::None: break;
  }
  return 0;
}

int32_t Clamp16(int32_t s) { return std::clamp<int32_t>(s, -32768, 32767); }

// 8-bit conversion: arithmetic shift (toward minus infinity), offset, clamp.
uint8_t To8(int32_t s) { return static_cast<uint8_t>(std::clamp<int32_t>((s >> 8) + 128, 0, 255)); }

// Writes `bytes` staged bytes and counts the whole frames that reached the file.
// Returns true when everything was written.
bool WriteStaged(WaveWriterState& w, size_t bytes) {
  errno = 0;
  const size_t written = std::fwrite(w.staging.get(), 1, bytes, w.file.get());
  w.framesWritten += static_cast<int64_t>(written / static_cast<size_t>(w.bytesPerFrame));
  w.stagedFrames = 0;
  if (written == bytes) return true;
  w.lastErrno = errno ? errno : EIO;
  return false;
}

uint32_t DataBytesWritten(const WaveWriterState& w) {
  return static_cast<uint32_t>(w.framesWritten * w.bytesPerFrame);
}

// Writes a header stating `dataSize` where the stream stands. True on success.
bool WriteHeader(WaveWriterState& w, uint32_t dataSize) {
  WaveHeader header{};
  int32_t headerLength = 0;
  WaveMakeHeader(header, w.sampleRate, w.bitsPerSample, w.channels, dataSize, headerLength);
  errno = 0;
  if (std::fwrite(&header, 1, sizeof header, w.file.get()) == sizeof header) return true;
  w.lastErrno = errno ? errno : EIO;
  return false;
}

// Brings the header at the start of the file up to `dataSize` and goes back
// to the end. A header is never written anywhere but at the start: when the
// seek fails nothing is written. An output that cannot seek keeps its header.
bool RewriteHeader(WaveWriterState& w, uint32_t dataSize) {
  if (!w.seekable) return true;
  if (fseeko(w.file.get(), 0, SEEK_SET) != 0) {
    w.lastErrno = errno;
    return false;
  }
  if (!WriteHeader(w, dataSize)) return false;
  if (fseeko(w.file.get(), 0, SEEK_END) != 0) {
    w.lastErrno = errno;
    return false;
  }
  return true;
}

// The most whole frames a file of this layout can state in 32-bit sizes.
int64_t MaxFrames(const WaveWriterState& w) { return kWaveMaxDataBytes / static_cast<uint32_t>(w.bytesPerFrame); }

// Frames the staging buffer may take before the next one is refused: a full
// block, or fewer when the file's data is close to the 32-bit limit.
void UpdateStagedLimit(WaveWriterState& w) {
  if (w.layout == WaveLayout::None || !w.file) {
    w.stagedFramesLimit = 0;
    return;
  }
  const int64_t left = std::max<int64_t>(0, MaxFrames(w) - w.framesWritten);
  w.stagedFramesLimit = static_cast<int32_t>(std::min<int64_t>(w.framesPerFlush, left));
}

void Release(WaveWriterState& w) {
  w.file.reset();
  w.staging.reset();
  w.stagedFrames = 0;
  w.stagedFramesLimit = 0;
}

// Writes the full block; on success brings the header's sizes up to date.
// After a failure the file is completed as far as it can be; the caller
// hears of the failure either way, so the close's own result adds nothing.
WaveResult FlushBlock(WaveWriterState& w) {
  if (!WriteStaged(w, kWaveBlockBytes) || !RewriteHeader(w, DataBytesWritten(w))) {
    static_cast<void>(WaveClose());
    return WAVE_ERR_WRITE;
  }
  UpdateStagedLimit(w);
  return WAVE_OK;
}

// A frame the writer cannot take: with no file open nothing happens; at the
// size limit the file is completed and closed, as after any failed write.
WaveResult RefuseFrame(WaveWriterState& w) {
  if (!w.file) return WAVE_ERR_WRITE;
  if (WaveClose() == WAVE_OK) w.lastErrno = EFBIG;  // else the close's own reason stands
  return WAVE_ERR_WRITE;
}

// Cuts off a partial frame left by a short write, so that the file ends
// where its header says. True when nothing needed cutting or the cut worked.
bool TrimToWholeFrames(WaveWriterState& w) {
  if (!w.seekable) return true;
  const off_t end = static_cast<off_t>(sizeof(WaveHeader)) + static_cast<off_t>(DataBytesWritten(w));
  if (std::fflush(w.file.get()) != 0) return false;
  struct stat st {};
  if (fstat(fileno(w.file.get()), &st) != 0 || st.st_size <= end) return true;
  return ftruncate(fileno(w.file.get()), end) == 0;
}

}  // namespace

namespace {

// WaveCreate and WaveCreateNew: `exclusive` refuses a path that names any entry.
WaveResult Create(const char* path, int32_t rate, int32_t bits, int32_t channels, uint32_t dataSize,
                  bool exclusive) {
  WaveWriterState& w = g_waveFileState.writer;
  if (w.file) WaveClose();  // never leave a file behind with a stale header

  w.sampleRate = rate;
  w.bitsPerSample = bits;
  w.channels = channels;
  w.initialDataSize = dataSize;
  w.layout = LayoutFor(bits, channels);
  w.bytesPerFrame = BytesPerFrame(w.layout);
  w.framesPerFlush = w.bytesPerFrame ? kWaveBlockBytes / w.bytesPerFrame : 0;

  w.staging.reset(new (std::nothrow) uint8_t[kStagingAllocBytes]);
  if (!w.staging) return WAVE_ERR_NOMEM;

  w.lastErrno = 0;
  w.file.reset(exclusive ? OpenNewUtf8File(path) : OpenUtf8File(path, "wb"));
  if (!w.file) {
    w.lastErrno = errno;
    Release(w);
    return WAVE_ERR_OPEN;
  }
  // Blocks and headers are written whole; a stream buffer would only hide
  // how many bytes really reached the file.
  std::setvbuf(w.file.get(), nullptr, _IONBF, 0);
  w.seekable = fseeko(w.file.get(), 0, SEEK_CUR) == 0;

  if (!WriteHeader(w, w.initialDataSize)) {
    // A file without even its header opens nowhere: a regular file made here
    // goes again (a device or a pipe is left as it is).
    const int reason = w.lastErrno;
    struct stat st {};
    const bool regular = fstat(fileno(w.file.get()), &st) == 0 && S_ISREG(st.st_mode);
    Release(w);
    if (regular) RemoveUtf8File(path);
    w.lastErrno = reason;
    return WAVE_ERR_WRITE;
  }
  w.stagedFrames = 0;
  w.framesWritten = 0;
  UpdateStagedLimit(w);
  return WAVE_OK;
}

}  // namespace

WaveResult WaveCreate(const char* path, int32_t rate, int32_t bits, int32_t channels, uint32_t dataSize) {
  return Create(path, rate, bits, channels, dataSize, false);
}

WaveResult WaveCreateNew(const char* path, int32_t rate, int32_t bits, int32_t channels, uint32_t dataSize) {
  return Create(path, rate, bits, channels, dataSize, true);
}

WaveResult WavePutSample(int32_t left, int32_t right) {
  WaveWriterState& w = g_waveFileState.writer;
  if (w.stagedFrames >= w.stagedFramesLimit) {
    // Closed writer, a frame past the size limit, or a layout that stores nothing.
    if (w.file && w.layout == WaveLayout::None) return WAVE_OK;
    return RefuseFrame(w);
  }
  left = Clamp16(left);
  right = Clamp16(right);
  uint8_t* staging = w.staging.get();
  const int32_t i = w.stagedFrames;
  switch (w.layout) {
    case WaveLayout::Stereo16: {
      const uint32_t item = (static_cast<uint32_t>(left) & 0xFFFFu) | (static_cast<uint32_t>(right) << 16);
      std::memcpy(staging + 4 * i, &item, 4);
      break;
    }
    case WaveLayout::Mono16: {
      const int16_t item = static_cast<int16_t>((left + right) / 2);
      std::memcpy(staging + 2 * i, &item, 2);
      break;
    }
    case WaveLayout::Stereo8:
      staging[2 * i] = To8(left);
      staging[2 * i + 1] = To8(right);
      break;
    case WaveLayout::Mono8:
      staging[i] = To8((left + right) / 2);
      break;
    case WaveLayout::None:
      return WAVE_OK;
  }
  if (++w.stagedFrames == w.framesPerFlush) return FlushBlock(w);
  return WAVE_OK;
}

WaveResult WavePutFrames(const uint8_t* frames, uint32_t frameCount) {
  WaveWriterState& w = g_waveFileState.writer;
  if (w.layout != WaveLayout::Stereo16) {
    // Other layouts convert frame by frame.
    for (uint32_t j = 0; j < frameCount; ++j) {
      int16_t sample[2];
      std::memcpy(sample, frames + 4 * size_t{j}, 4);
      if (WaveResult r = WavePutSample(sample[0], sample[1]); r != WAVE_OK) return r;
    }
    return WAVE_OK;
  }
  // 16-bit stereo input needs no clamping and is stored as it comes.
  while (frameCount > 0) {
    if (w.stagedFrames >= w.stagedFramesLimit) return RefuseFrame(w);
    const uint32_t n = std::min<uint32_t>(frameCount, static_cast<uint32_t>(w.stagedFramesLimit - w.stagedFrames));
    std::memcpy(w.staging.get() + 4 * size_t(w.stagedFrames), frames, 4 * size_t{n});
    w.stagedFrames += static_cast<int32_t>(n);
    frames += 4 * size_t{n};
    frameCount -= n;
    if (w.stagedFrames == w.framesPerFlush) {
      if (WaveResult r = FlushBlock(w); r != WAVE_OK) return r;
    }
  }
  return WAVE_OK;
}

WaveResult WaveClose() {
  WaveWriterState& w = g_waveFileState.writer;
  if (!w.file) return WAVE_ERR_WRITE;
  WaveResult result = WAVE_OK;
  if (w.layout != WaveLayout::None) {
    if (w.stagedFrames != 0 &&
        !WriteStaged(w, static_cast<size_t>(w.stagedFrames) * static_cast<size_t>(w.bytesPerFrame))) {
      result = WAVE_ERR_WRITE;
    }
    // A short write may have left part of a frame behind; cutting it off is
    // a courtesy, since the header below states only whole frames anyway.
    if (!TrimToWholeFrames(w) && result == WAVE_OK) result = WAVE_ERR_WRITE;
    // Whatever came before, the header states exactly the frames that reached the file.
    if (!RewriteHeader(w, DataBytesWritten(w))) result = WAVE_ERR_WRITE;
  }
  std::FILE* file = w.file.release();
  if (std::fclose(file) != 0) {
    if (result == WAVE_OK) w.lastErrno = errno;
    result = WAVE_ERR_WRITE;
  }
  Release(w);
  return result;
}

uint64_t WaveBytesHeld() {
  const WaveWriterState& w = g_waveFileState.writer;
  if (!w.file) return 0;
  return static_cast<uint64_t>(w.framesWritten + w.stagedFrames) * static_cast<uint64_t>(w.bytesPerFrame);
}

uint64_t WaveFramesLeft() {
  const WaveWriterState& w = g_waveFileState.writer;
  if (!w.file || w.layout == WaveLayout::None) return 0;
  return static_cast<uint64_t>(std::max<int64_t>(0, MaxFrames(w) - w.framesWritten - w.stagedFrames));
}

int WaveWriterErrno() { return g_waveFileState.writer.lastErrno; }

int32_t WaveWriterRate() {
  const WaveWriterState& w = g_waveFileState.writer;
  return w.file ? w.sampleRate : 0;
}

int WaveTestSetFramesWritten(int64_t frames) {
  WaveWriterState& w = g_waveFileState.writer;
  if (!w.file || w.layout == WaveLayout::None || w.stagedFrames != 0 || frames < 0 ||
      frames > MaxFrames(w)) {
    return WAVE_ERR_WRITE;
  }
  w.framesWritten = frames;
  const off_t end = static_cast<off_t>(sizeof(WaveHeader)) + static_cast<off_t>(frames) * w.bytesPerFrame;
  if (ftruncate(fileno(w.file.get()), end) != 0 || fseeko(w.file.get(), end, SEEK_SET) != 0) {
    return WAVE_ERR_WRITE;
  }
  UpdateStagedLimit(w);
  return WAVE_OK;
}
