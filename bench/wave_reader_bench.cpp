// The reader over a 16-bit stereo file in the page cache, each case against
// its baseline in alternating rounds: sequential frame fetches (one by one
// with WaveGetSample, in runs with WaveGetFrames) against a plain read of the
// same bytes, and the cubic and 200-tap sinc reads against linear ones.
// Usage: wave_reader_bench [--rounds=N]
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "wavefile/wavefile.h"

namespace {

constexpr int32_t kFrames = 102400 * 40;
constexpr int kInterpolatedReads = 2000000;
constexpr int kSincReads = 20000;  // a 200-tap read costs about a hundred linear ones

volatile int64_t g_sink;  // keeps the reads from being optimised away

std::string MakeBenchFile() {
  std::string p = std::string(P_tmpdir) + "/tapewell-reader-bench-" + std::to_string(getpid()) + ".wav";
  bool ok = WaveCreate(p.c_str(), 44100, 16, 2, 0) == WAVE_OK;
  for (int32_t i = 0; ok && i < kFrames; ++i) ok = WavePutSample((i * 37) & 0x7FFF, -((i * 91) & 0x7FFF)) == WAVE_OK;
  if (!ok || WaveClose() != WAVE_OK) {
    std::fprintf(stderr, "wave_reader_bench: cannot write %s (is %s writable?)\n", p.c_str(), P_tmpdir);
    std::exit(1);
  }
  return p;
}

void OpenOrDie(const std::string& path) {
  int32_t rate, bits, channels;
  uint32_t size;
  if (WaveOpenRead(path.c_str(), rate, bits, channels, size) != WAVE_OK) {
    std::fprintf(stderr, "wave_reader_bench: cannot open %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = benchratio::RoundsFromArgs(argc, argv, 15);
  const std::string path = MakeBenchFile();

  auto plainRead = [&] {
    int64_t sum = 0;
    static int16_t block[409600 / 2];
    const double s = benchratio::Seconds([&] {
      FILE* f = std::fopen(path.c_str(), "rb");
      if (!f) std::exit(1);
      std::fseek(f, 44, SEEK_SET);
      size_t n;
      while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        for (size_t i = 0; i < n / 2; ++i) sum += block[i];
      }
      std::fclose(f);
    });
    g_sink = sum;
    return benchratio::Run{s, double(kFrames)};
  };
  auto getSample = [&] {
    int64_t sum = 0;
    const double s = benchratio::Seconds([&] {
      OpenOrDie(path);
      int32_t l, r;
      for (int32_t p = 0; p < kFrames; ++p) {
        WaveGetSample(p, l, r);
        sum += l + r;
      }
      WaveCloseRead();
    });
    g_sink = sum;
    return benchratio::Run{s, double(kFrames)};
  };
  auto getFrames = [&] {
    int64_t sum = 0;
    static int16_t block[8192 * 2];
    const double s = benchratio::Seconds([&] {
      OpenOrDie(path);
      for (int32_t p = 0; p < kFrames; p += 8192) {
        WaveGetFrames(p, 8192, block);
        for (int16_t v : block) sum += v;
      }
      WaveCloseRead();
    });
    g_sink = sum;
    return benchratio::Run{s, double(kFrames)};
  };
  // Interpolated reads at steps of 0.37 frames from frame 150 on.
  auto interpolated = [&](int reads, auto read) {
    return [&path, reads, read] {
      OpenOrDie(path);
      int64_t sum = 0;
      const double s = benchratio::Seconds([&] {
        double x = 150.0;
        for (int i = 0; i < reads; ++i, x += 0.37) sum += read(x);
      });
      WaveCloseRead();
      g_sink = sum;
      return benchratio::Run{s, double(reads)};
    };
  };
  auto linear = [](double x) { int32_t l, r; WaveGetSampleLinear(x, l, r); return l; };
  auto cubic = [](double x) { int32_t l, r; WaveGetSampleCubic(x, l, r); return l; };
  auto sinc = [](double x) { int32_t l, r; WaveGetSampleSinc(x, l, r, 200); return l; };

  benchratio::RunInterleaved({{"WaveGetSample", "PlainRead", getSample, plainRead},
                              {"WaveGetFrames", "PlainRead", getFrames, plainRead}},
                             rounds, "frames");
  benchratio::RunInterleaved({{"Cubic", "Linear", interpolated(kInterpolatedReads, cubic),
                               interpolated(kInterpolatedReads, linear)},
                              {"Sinc200", "Linear", interpolated(kSincReads, sinc),
                               interpolated(kInterpolatedReads, linear)}},
                             rounds, "reads");
  std::remove(path.c_str());
  return 0;
}
