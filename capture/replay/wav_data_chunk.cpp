#include "capture/replay/wav_data_chunk.h"

#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t{Le32(p + 4)} << 32; }

bool Seek(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool FindWavDataChunk(std::FILE* file, WavDataChunk& chunk) {
  uint8_t head[12];
  if (!Seek(file, 0) || std::fread(head, 1, 12, file) != 12) return false;
  const bool riff = std::memcmp(head, "RIFF", 4) == 0;
  const bool rf64 = std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0;
  if ((!riff && !rf64) || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
  uint64_t ds64DataSize = 0;
  uint64_t at = 12;
  for (;;) {
    uint8_t chunkHead[8];
    if (!Seek(file, at) || std::fread(chunkHead, 1, 8, file) != 8) return false;
    const uint32_t size = Le32(chunkHead + 4);
    at += 8;
    if (std::memcmp(chunkHead, "data", 4) == 0) {
      chunk.offset = at;
      chunk.statedSize = (rf64 && size == 0xFFFFFFFFu) ? ds64DataSize : size;
      chunk.rf64 = rf64;
      return true;
    }
    if (rf64 && std::memcmp(chunkHead, "ds64", 4) == 0) {
      uint8_t sizes[16];  // RIFF size, then data size
      if (size < 16 || std::fread(sizes, 1, 16, file) != 16) return false;
      ds64DataSize = Le64(sizes + 8);
    }
    at += uint64_t{size} + (size & 1u);  // an odd-sized body is followed by a pad byte
  }
}
