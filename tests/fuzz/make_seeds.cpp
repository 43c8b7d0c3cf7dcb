// Writes a small seed corpus of WAV files (valid and malformed) into the
// folder given as the first argument.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wav_bytes.h"

using wavbytes::Chunk;
using wavbytes::Fmt;
using wavbytes::Riff;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  std::vector<uint8_t> frames;
  for (int i = 0; i < 256; ++i) {
    wavbytes::AppendLe16(frames, static_cast<uint16_t>(i * 255));
    wavbytes::AppendLe16(frames, static_cast<uint16_t>(-i * 127));
  }
  const std::vector<std::vector<uint8_t>> seeds = {
      Riff({Fmt(44100, 16, 2), Chunk("data", frames)}),
      Riff({Fmt(8000, 8, 1), Chunk("data", std::vector<uint8_t>(frames.begin(), frames.begin() + 300))}),
      Riff({Fmt(48000, 16, 1, 18), Chunk("LIST", std::vector<uint8_t>(3)), Chunk("data", frames)}),
      Riff({Fmt(32000, 8, 2), Chunk("junk", {}), Chunk("data", frames), Chunk("tail", {1, 2, 3})}),
      Riff({Chunk("data", frames), Fmt(44100, 16, 2)}),
      Riff({Fmt(44100, 12, 3), Chunk("data", frames)}),
  };
  int n = 0;
  for (const auto& seed : seeds) {
    const std::string path = dir + "/seed" + std::to_string(n++) + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::fwrite(seed.data(), 1, seed.size(), f);
    std::fclose(f);
  }
  return 0;
}
