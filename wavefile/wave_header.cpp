// The canonical 44-byte header that the writer produces.
#include <cstring>

#include "wavefile/wavefile.h"

WaveResult WaveMakeHeader(WaveHeader& header, int32_t rate, int32_t bits, int32_t channels,
                          uint32_t dataSize, int32_t& headerLength) {
  // Block align is the product first, then the truncating division; the byte
  // rate uses that quotient, so 12-bit mono gives block align 1 and byte rate = rate.
  // The product is taken in 64 bits so that no argument can overflow it.
  const int32_t blockAlign = static_cast<int32_t>((int64_t{bits} * int64_t{channels}) / 8);
  std::memcpy(header.riffId, "RIFF", 4);
  header.riffSize = dataSize + 36u;
  std::memcpy(header.waveId, "WAVE", 4);
  std::memcpy(header.fmtId, "fmt ", 4);
  header.fmtSize = 16;
  header.formatTag = 1;
  header.channels = static_cast<uint16_t>(channels);
  header.samplesPerSec = static_cast<uint32_t>(rate);
  header.avgBytesPerSec = static_cast<uint32_t>(rate) * static_cast<uint32_t>(blockAlign);
  header.blockAlign = static_cast<uint16_t>(blockAlign);
  header.bitsPerSample = static_cast<uint16_t>(bits);
  std::memcpy(header.dataId, "data", 4);
  header.dataSize = dataSize;
  headerLength = static_cast<int32_t>(sizeof(WaveHeader));
  return WAVE_OK;
}
