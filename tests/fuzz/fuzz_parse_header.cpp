// libFuzzer target: the chunk walk over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <climits>

#include "wavefile/wavefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > INT32_MAX) return 0;
  int32_t rate = 0, bits = 0, channels = 0, offset = 0;
  uint32_t dataSize = 0;
  const WaveResult r = WaveParseHeader(data, static_cast<int32_t>(size), rate, bits, channels, dataSize, offset);
  if (r == WAVE_OK && (offset < 20 || static_cast<size_t>(offset) > size)) __builtin_trap();
  return 0;
}
