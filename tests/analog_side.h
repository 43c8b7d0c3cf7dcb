// Generated record and tape sides whose truth is known to the frame: pieces
// of music-like sound (notes over a bass, a quiet passage, a fade-out), gaps
// between them, and the source's own noise under everything: tape hiss,
// vinyl surface noise with rumble and clicks, or digital silence.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace analogside {

enum class Noise { Digital, Tape, Vinyl };

struct Piece {
  int64_t onset;  // first frame of the piece's sound
  int64_t end;    // first frame after its fade-out: the gap begins
};

struct Side {
  int rate = 44100;
  std::vector<std::pair<int16_t, int16_t>> frames;
  std::vector<Piece> pieces;
};

/// A small deterministic generator (xorshift), so that every run makes the same side.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 2685821657736338717ull + 1) {}
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  double Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  /// About normal, mean 0 and standard deviation 1.
  double Normal() {
    double sum = 0;
    for (int i = 0; i < 12; ++i) sum += Uniform();
    return sum - 6;
  }

 private:
  uint64_t state_;
};

/// What a side is made of.
struct Recipe {
  Noise noise = Noise::Tape;
  int rate = 44100;
  int pieces = 6;
  double pieceSeconds = 8;     // sound, from the onset to the end of the fade-out
  double fadeSeconds = 3;      // at the end of each piece
  double quietSeconds = 1.5;   // a quiet passage inside each piece
  double quietAboveFloorDb = 14;  // how far the quiet passage stands above the noise floor
  double gapSeconds = 2.5;     // between pieces (the first and last gap too: lead-in and run-out)
  double leadInSeconds = 2;
  double runOutSeconds = 3;
  uint64_t seed = 1;
};

inline double FromDb(double db) { return std::pow(10.0, db / 20.0) * 32768.0; }

/// The noise floor's RMS in dBFS for each source.
inline double FloorDb(Noise noise) { return noise == Noise::Vinyl ? -54 : noise == Noise::Tape ? -50 : -200; }

inline Side MakeSide(const Recipe& r) {
  Side side;
  side.rate = r.rate;
  Random random(r.seed);
  const auto frames = [&](double seconds) { return static_cast<int64_t>(std::llround(seconds * r.rate)); };
  const int64_t total = frames(r.leadInSeconds + r.runOutSeconds + r.pieces * r.pieceSeconds +
                               (r.pieces - 1) * r.gapSeconds);
  std::vector<double> left(static_cast<size_t>(total)), right(static_cast<size_t>(total));

  // The music: notes of a quarter of a second over a bass, about -18 dBFS RMS.
  const double floorDb = FloorDb(r.noise) < -150 ? -70 : FloorDb(r.noise);
  int64_t at = frames(r.leadInSeconds);
  for (int p = 0; p < r.pieces; ++p) {
    const int64_t length = frames(r.pieceSeconds), fade = frames(r.fadeSeconds), quiet = frames(r.quietSeconds);
    const int64_t quietAt = (length - fade - quiet) / 2;
    side.pieces.push_back({at, at + length});
    double note = 220 * std::pow(2.0, static_cast<int>(random.Uniform() * 12) / 12.0), bass = note / 4;
    double phase = 0, bassPhase = 0;
    for (int64_t i = 0; i < length; ++i) {
      if (i % frames(0.25) == 0) note = 220 * std::pow(2.0, static_cast<int>(random.Uniform() * 24) / 12.0);
      phase += 2 * M_PI * note / r.rate;
      bassPhase += 2 * M_PI * bass / r.rate;
      double gain = FromDb(-18) * std::sqrt(2.0) / 1.5;
      if (i >= quietAt && i < quietAt + quiet) gain = FromDb(floorDb + r.quietAboveFloorDb) * std::sqrt(2.0) / 1.5;
      if (i >= length - fade) gain *= static_cast<double>(length - i) / fade;
      const double v = gain * (std::sin(phase) + 0.5 * std::sin(bassPhase));
      left[static_cast<size_t>(at + i)] = v;
      right[static_cast<size_t>(at + i)] = 0.8 * v;
    }
    at += length + frames(r.gapSeconds);
  }

  // The source's noise under everything.
  if (r.noise != Noise::Digital) {
    const double sigma = FromDb(FloorDb(r.noise));
    double lowL = 0, lowR = 0;
    for (int64_t i = 0; i < total; ++i) {
      if (r.noise == Noise::Tape) {
        left[i] += sigma * random.Normal();
        right[i] += sigma * random.Normal();
      } else {
        // Surface noise, tilted towards the low end, and a slow rumble.
        lowL = 0.7 * lowL + random.Normal();
        lowR = 0.7 * lowR + random.Normal();
        const double rumble = FromDb(-62) * std::sin(2 * M_PI * 12.0 * i / r.rate);
        left[i] += sigma * 0.7 * lowL + rumble;
        right[i] += sigma * 0.7 * lowR + rumble;
      }
    }
    if (r.noise == Noise::Vinyl) {
      // Clicks: three a second at random places, up to -9 dBFS, a millisecond long.
      const int64_t clicks = total * 3 / r.rate;
      for (int64_t c = 0; c < clicks; ++c) {
        const auto start = static_cast<int64_t>(random.Uniform() * (total - frames(0.002)));
        const double peak = FromDb(-9 - 30 * random.Uniform()) * (random.Uniform() < 0.5 ? -1 : 1);
        for (int64_t k = 0; k < frames(0.001); ++k) {
          const double v = peak * std::exp(-5.0 * k / frames(0.001));
          left[static_cast<size_t>(start + k)] += v;
          right[static_cast<size_t>(start + k)] += 0.9 * v;
        }
      }
    }
  }
  side.frames.resize(static_cast<size_t>(total));
  auto clamp16 = [](double v) { return static_cast<int16_t>(std::clamp(std::lround(v), -32768l, 32767l)); };
  for (int64_t i = 0; i < total; ++i) side.frames[i] = {clamp16(left[i]), clamp16(right[i])};
  return side;
}

}  // namespace analogside
