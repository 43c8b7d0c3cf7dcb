// Frames per second through the writer (16-bit stereo) into a file in the
// page cache, each against a plain buffered write of the same bytes in
// alternating rounds: frame by frame (WavePutSample) and in spans
// (WavePutFrames, as the recorder hands them over).
// Usage: wave_writer_bench [--rounds=N]
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "wavefile/wavefile.h"

namespace {

constexpr int64_t kFrames = 102400 * 40;  // 16 MB of audio, 40 blocks

std::string BenchPath(const char* name) {
  return std::string(P_tmpdir) + "/tapewell-bench-" + std::to_string(getpid()) + "-" + name;
}

std::vector<int16_t> TestSignal() {
  std::vector<int16_t> samples(2 * kFrames);
  for (int64_t i = 0; i < kFrames; ++i) {
    samples[2 * i] = static_cast<int16_t>((i * 37) & 0xFFFF);
    samples[2 * i + 1] = static_cast<int16_t>((i * 91) & 0xFFFF);
  }
  return samples;
}

void Check(int result, const char* what) {
  if (result != WAVE_OK) {
    std::fprintf(stderr, "wave_writer_bench: %s failed (%d); is %s writable?\n", what, result, P_tmpdir);
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = benchratio::RoundsFromArgs(argc, argv, 15);
  const auto samples = TestSignal();
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  const size_t total = samples.size() * sizeof(int16_t);
  const std::string wavPath = BenchPath("writer.wav"), rawPath = BenchPath("plain.raw");

  auto plainWrite = [&] {
    const double s = benchratio::Seconds([&] {
      FILE* f = std::fopen(rawPath.c_str(), "wb");
      if (!f) std::exit(1);
      for (size_t off = 0; off < total; off += 409600) std::fwrite(bytes + off, 1, 409600, f);
      std::fclose(f);
    });
    return benchratio::Run{s, double(kFrames)};
  };
  auto perSample = [&] {
    const double s = benchratio::Seconds([&] {
      Check(WaveCreate(wavPath.c_str(), 44100, 16, 2, 0), "WaveCreate");
      for (int64_t i = 0; i < kFrames; ++i) Check(WavePutSample(samples[2 * i], samples[2 * i + 1]), "WavePutSample");
      Check(WaveClose(), "WaveClose");
    });
    return benchratio::Run{s, double(kFrames)};
  };
  auto inSpans = [&] {
    const double s = benchratio::Seconds([&] {
      Check(WaveCreate(wavPath.c_str(), 44100, 16, 2, 0), "WaveCreate");
      for (int64_t at = 0; at < kFrames; at += 8192) {  // one capture buffer at a time
        Check(WavePutFrames(bytes + 4 * at, static_cast<uint32_t>(std::min<int64_t>(8192, kFrames - at))),
              "WavePutFrames");
      }
      Check(WaveClose(), "WaveClose");
    });
    return benchratio::Run{s, double(kFrames)};
  };
  benchratio::RunInterleaved({{"WavePutSample", "PlainWrite", perSample, plainWrite},
                              {"WavePutFrames", "PlainWrite", inSpans, plainWrite}},
                             rounds, "frames");
  std::remove(wavPath.c_str());
  std::remove(rawPath.c_str());
  return 0;
}
