// The reading side: the chunk walk, the probe, and frame fetches through a
// sliding window of two 409,600-byte halves (the current block of the file
// and the one before it), read strictly forward.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "wavefile/wavefile.h"
#include "wavefile/utf8_file.h"
#include "wavefile/wavefile_state.h"

namespace {

constexpr size_t kReaderAllocBytes = 819456;
constexpr int32_t kHalfBytes = 409600;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
int16_t Le16s(const uint8_t* p) { return static_cast<int16_t>(uint16_t(p[0] | p[1] << 8)); }
bool IdIs(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

uint8_t SilenceByte(int32_t bits) { return bits == 16 ? 0x00 : 0x80; }

void ReleaseReader(WaveReaderState& r) {
  r.file.reset();
  r.staging.reset();
}

// Reads the block after the current window into the half it belongs to;
// whatever the file does not supply reads as silence.
void LoadNextWindow(WaveReaderState& r) {
  ++r.windowNumber;
  uint8_t* half = r.staging.get() + (r.windowNumber % 2) * kHalfBytes;
  size_t n = 0;
  if (!r.atEnd) {
    n = std::fread(half, 1, kHalfBytes, r.file.get());
    if (n < size_t(kHalfBytes)) r.atEnd = true;
  }
  const size_t silentFrom = r.bitsPerSample == 16 ? 2 * (n / 2) : n;
  std::memset(half + silentFrom, SilenceByte(r.bitsPerSample), kHalfBytes - silentFrom);
  r.windowEnd += r.framesPerWindow;
}

}  // namespace

namespace {

// Where the chunk walk found the "fmt " body and the "data" chunk.
struct ChunkWalk {
  int64_t fmtBody = -1;
  uint32_t fmtSize = 0;
  bool fmtFound = false, dataFound = false, cutShort = false;
  uint32_t dataSize = 0;
  int64_t dataOffset = 0;
};

// Walks the chunks after "RIFF" size "WAVE" (the caller checks those) up
// to the "data" chunk or the end of the bytes.
ChunkWalk WalkChunks(const uint8_t* buffer, int32_t length) {
  ChunkWalk walk;
  const int64_t end = length;
  int64_t p = 12;
  for (;;) {
    if (p >= end) break;                      // bytes end at a chunk boundary
    if (p + 8 > end) { walk.cutShort = true; break; }  // the chunk head does not fit
    const uint8_t* head = buffer + p;
    const uint32_t size = Le32(head + 4);
    p += 8;
    if (IdIs(head, "fmt ")) {
      walk.fmtBody = p;
      walk.fmtSize = size;
      if (size < 16 || p + size > end) break;
      p += size;
      walk.fmtFound = true;
    } else if (IdIs(head, "data")) {
      walk.dataSize = size;
      walk.dataOffset = p;
      walk.dataFound = true;
      break;
    } else {
      if (p + size > end) break;
      p += size;  // odd-sized bodies are not followed by a pad byte
    }
  }
  return walk;
}

}  // namespace

WaveResult WaveParseHeader(const uint8_t* buffer, int32_t length, int32_t& rate, int32_t& bits,
                           int32_t& channels, uint32_t& dataSize, int32_t& dataOffset) {
  if (length < 44) return WAVE_ERR_SHORT;
  if (!IdIs(buffer, "RIFF") || !IdIs(buffer + 8, "WAVE")) return WAVE_ERR_FORMAT;
  const ChunkWalk walk = WalkChunks(buffer, length);
  if (walk.fmtFound && walk.dataFound) {
    const uint8_t* fmt = buffer + walk.fmtBody;
    rate = static_cast<int32_t>(Le32(fmt + 4));
    channels = Le16s(fmt + 2);
    bits = Le16s(fmt + 14);
    dataSize = walk.dataSize;
    dataOffset = static_cast<int32_t>(walk.dataOffset);
    return WAVE_OK;
  }
  return walk.cutShort ? WAVE_ERR_SHORT : WAVE_ERR_FORMAT;
}

WaveResult WaveParseEncoding(const uint8_t* buffer, int32_t length, uint16_t& formatTag) {
  if (length < 44) return WAVE_ERR_SHORT;
  if (!IdIs(buffer, "RIFF") || !IdIs(buffer + 8, "WAVE")) return WAVE_ERR_FORMAT;
  const ChunkWalk walk = WalkChunks(buffer, length);
  if (!walk.fmtFound) return walk.cutShort ? WAVE_ERR_SHORT : WAVE_ERR_FORMAT;
  formatTag = static_cast<uint16_t>(Le16s(buffer + walk.fmtBody));
  return WAVE_OK;
}

WaveResult WaveProbe(const char* path, int32_t& rate, int32_t& bits, int32_t& channels,
                     uint32_t& dataSize, int32_t& dataOffset) {
  rate = bits = channels = 0;
  dataSize = 0;
  dataOffset = 44;
  WaveFilePtr file(OpenUtf8File(path, "rb"));
  if (!file) return WAVE_ERR_NOFILE;
  uint8_t buffer[512];
  WaveResult walk = WAVE_ERR_SHORT;
  for (int32_t n = 50; n <= 500; n += 50) {
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return WAVE_ERR_OPEN;
    if (std::fread(buffer, 1, size_t(n), file.get()) < size_t(n)) return WAVE_ERR_OPEN;
    walk = WaveParseHeader(buffer, n, rate, bits, channels, dataSize, dataOffset);
    if (walk != WAVE_ERR_SHORT) break;
  }
  return walk == WAVE_OK ? WAVE_OK : WAVE_ERR_FORMAT;
}

WaveResult WaveOpenRead(const char* path, int32_t& rate, int32_t& bits, int32_t& channels,
                        uint32_t& dataSize) {
  WaveReaderState& r = g_waveFileState.reader;
  if (r.file) WaveCloseRead();

  r.staging.reset(new (std::nothrow) uint8_t[kReaderAllocBytes]);
  if (!r.staging) return WAVE_ERR_NOMEM;
  r.file.reset(OpenUtf8File(path, "rb"));
  if (!r.file) {
    ReleaseReader(r);
    return WAVE_ERR_OPEN;
  }
  auto fail = [&r](WaveResult result) {
    ReleaseReader(r);
    return result;
  };

  int32_t dataOffset = 0;
  WaveResult walk = WAVE_ERR_SHORT;
  for (int32_t n = 56;; n += 56) {
    if (std::fseek(r.file.get(), 0, SEEK_SET) != 0) return fail(WAVE_ERR_OPEN);
    if (std::fread(r.staging.get(), 1, size_t(n), r.file.get()) < size_t(n)) return fail(WAVE_ERR_OPEN);
    walk = WaveParseHeader(r.staging.get(), n, r.sampleRate, r.bitsPerSample, r.channels, r.dataSize,
                           dataOffset);
    if (walk != WAVE_ERR_SHORT || n >= 1024) break;
  }
  if (walk != WAVE_OK) return fail(WAVE_ERR_FORMAT);
  if (std::fseek(r.file.get(), dataOffset, SEEK_SET) != 0) return fail(WAVE_ERR_OPEN);

  std::memset(r.staging.get(), SilenceByte(r.bitsPerSample), 2 * kHalfBytes);
  r.atEnd = std::fread(r.staging.get(), 1, kHalfBytes, r.file.get()) < size_t(kHalfBytes);

  const bool bitsOk = r.bitsPerSample == 16 || r.bitsPerSample == 8;
  const bool channelsOk = r.channels == 2 || r.channels == 1;
  if (!bitsOk || !channelsOk) return fail(WAVE_ERR_FORMAT);

  r.bytesPerFrame = (r.bitsPerSample / 8) * r.channels;
  r.framesPerWindow = kHalfBytes / r.bytesPerFrame;
  r.windowNumber = 0;
  r.windowEnd = r.framesPerWindow;
  rate = r.sampleRate;
  bits = r.bitsPerSample;
  channels = r.channels;
  dataSize = r.dataSize;
  return WAVE_OK;
}

WaveResult WaveGetSample(int32_t position, int32_t& left, int32_t& right) {
  WaveReaderState& r = g_waveFileState.reader;
  if (!r.file) return WAVE_ERR_OPEN;
  const int64_t p = position;
  const int64_t F = r.framesPerWindow;
  if (p * r.bytesPerFrame > INT32_MAX) {  // beyond the 32-bit byte range of the data
    left = right = 0;
    return WAVE_OK;
  }
  if (p >= r.windowEnd) {
    // Past the end of the file every window is silent: jump over them rather
    // than filling silence window after window.
    const int64_t target = p / F;
    if (r.atEnd && target >= r.windowNumber + 2) {
      std::memset(r.staging.get(), SilenceByte(r.bitsPerSample), 2 * kHalfBytes);
      r.windowNumber = target;
      r.windowEnd = (target + 1) * F;
    }
    while (p >= r.windowEnd) LoadNextWindow(r);
  }
  const int64_t offset = std::clamp<int64_t>(p - r.windowNumber * F, -F, F - 1);
  int64_t slot = offset + (r.windowNumber % 2) * F;
  if (slot < 0) slot += 2 * F;
  const uint8_t* frame = r.staging.get() + slot * r.bytesPerFrame;
  if (r.bitsPerSample == 16) {
    left = Le16s(frame);
    right = r.channels == 2 ? Le16s(frame + 2) : left;
  } else {
    left = (int32_t(frame[0]) - 128) * 256;
    right = r.channels == 2 ? (int32_t(frame[1]) - 128) * 256 : left;
  }
  return WAVE_OK;
}

WaveResult WaveGetFrames(int32_t position, uint32_t count, int16_t* frames) {
  WaveReaderState& r = g_waveFileState.reader;
  if (!r.file) return WAVE_ERR_OPEN;
  const int64_t F = r.framesPerWindow;
  uint32_t done = 0;
  while (done < count) {
    const int64_t p = int64_t{position} + done;
    const int64_t windowStart = r.windowNumber * F;
    if (p > INT32_MAX || p < windowStart || p >= r.windowEnd || p * r.bytesPerFrame > INT32_MAX) {
      // Outside the current window: one frame the ordinary way (which may
      // move the window on), then whole runs again.
      int32_t left = 0, right = 0;
      if (p <= INT32_MAX) WaveGetSample(static_cast<int32_t>(p), left, right);
      frames[2 * size_t{done}] = static_cast<int16_t>(left);
      frames[2 * size_t{done} + 1] = static_cast<int16_t>(right);
      ++done;
      continue;
    }
    // A run inside the current window, up to its end and to the byte limit.
    const int64_t byteLimitFrames = (int64_t{INT32_MAX} / r.bytesPerFrame) + 1;
    const uint32_t n = static_cast<uint32_t>(
        std::min<int64_t>({int64_t{count} - done, r.windowEnd - p, byteLimitFrames - p}));
    const int64_t slot = p - windowStart + (r.windowNumber % 2) * F;
    const uint8_t* src = r.staging.get() + slot * r.bytesPerFrame;
    int16_t* dst = frames + 2 * size_t{done};
    if (r.bitsPerSample == 16 && r.channels == 2) {
      std::memcpy(dst, src, size_t{n} * 4);
    } else if (r.bitsPerSample == 16) {
      for (uint32_t j = 0; j < n; ++j) dst[2 * j] = dst[2 * j + 1] = Le16s(src + 2 * j);
    } else if (r.channels == 2) {
      for (uint32_t j = 0; j < 2 * n; ++j) dst[j] = static_cast<int16_t>((int32_t(src[j]) - 128) * 256);
    } else {
      for (uint32_t j = 0; j < n; ++j) dst[2 * j] = dst[2 * j + 1] = static_cast<int16_t>((int32_t(src[j]) - 128) * 256);
    }
    done += n;
  }
  return WAVE_OK;
}

WaveResult WaveCloseRead() {
  ReleaseReader(g_waveFileState.reader);
  return WAVE_OK;
}
