// Writes a generated side (tests/analog_side.h) as a 16-bit stereo WAV file
// and prints each piece's onset and end in frames: for split_vs_sox.sh and
// for trying the level rule by hand.
// Usage: make_side tape|vinyl|digital OUT.wav [pieces] [piece-seconds]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/analog_side.h"
#include "wavefile/wavefile.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_side tape|vinyl|digital OUT.wav [pieces] [piece-seconds]\n");
    return 2;
  }
  analogside::Recipe recipe;
  const std::string kind = argv[1];
  recipe.noise = kind == "vinyl" ? analogside::Noise::Vinyl
                 : kind == "digital" ? analogside::Noise::Digital
                                     : analogside::Noise::Tape;
  if (argc > 3) recipe.pieces = std::atoi(argv[3]);
  if (argc > 4) recipe.pieceSeconds = std::atof(argv[4]);
  const analogside::Side side = analogside::MakeSide(recipe);
  if (WaveCreate(argv[2], side.rate, 16, 2, 0) != WAVE_OK) {
    std::fprintf(stderr, "make_side: cannot create %s\n", argv[2]);
    return 1;
  }
  for (auto [l, r] : side.frames) {
    if (WavePutSample(l, r) != WAVE_OK) return 1;
  }
  if (WaveClose() != WAVE_OK) return 1;
  for (const auto& piece : side.pieces) std::printf("%lld %lld\n", static_cast<long long>(piece.onset),
                                                    static_cast<long long>(piece.end));
  return 0;
}
