// libFuzzer target: arbitrary bytes as a file, probed, opened and read
// frame by frame and through every interpolating read.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "wavefile/wavefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = std::string(P_tmpdir) + "/tapewell-fuzz-" + std::to_string(getpid()) + ".wav";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  int32_t rate, bits, channels, offset;
  uint32_t dataSize;
  WaveProbe(path.c_str(), rate, bits, channels, dataSize, offset);
  if (WaveOpenRead(path.c_str(), rate, bits, channels, dataSize) == WAVE_OK) {
    int32_t l, r;
    double dl, dr;
    // Positions derived from the input's last bytes, then a forward sweep.
    int32_t start = size >= 4 ? static_cast<int32_t>(data[size - 1] | data[size - 2] << 8) - 300 : -3;
    for (int32_t p = start; p < start + 600; p += 7) {
      WaveGetSample(p, l, r);
      WaveGetSampleLinear(p + 0.25, l, r);
      WaveGetSampleCubic(p - 0.5, l, r);
      WaveGetSampleCubicReal(p + 0.75, dl, dr);
      WaveGetSampleSinc(p + 0.5, l, r, (p & 0xFF) - 20);
    }
    WaveGetSample(INT32_MAX, l, r);
    WaveGetSample(INT32_MIN, l, r);
    WaveCloseRead();
  }
  return 0;
}
