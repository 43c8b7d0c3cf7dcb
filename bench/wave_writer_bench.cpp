// Frames per second through WavePutSample (16-bit stereo) into a file in the
// page cache, beside a plain buffered write of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
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

void BM_WavePutSample(benchmark::State& state) {
  const auto samples = TestSignal();
  const auto path = BenchPath("writer.wav");
  for (auto _ : state) {
    WaveCreate(path.c_str(), 44100, 16, 2, 0);
    for (int64_t i = 0; i < kFrames; ++i) WavePutSample(samples[2 * i], samples[2 * i + 1]);
    WaveClose();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  std::remove(path.c_str());
}

void BM_PlainWrite(benchmark::State& state) {
  const auto samples = TestSignal();
  const auto path = BenchPath("plain.raw");
  const auto* bytes = reinterpret_cast<const char*>(samples.data());
  const size_t total = samples.size() * sizeof(int16_t);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (size_t off = 0; off < total; off += 409600) std::fwrite(bytes + off, 1, 409600, f);
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  std::remove(path.c_str());
}

BENCHMARK(BM_WavePutSample)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  return benchratio::RunAndPrintRatios(argc, argv, {{"BM_WavePutSample", "BM_PlainWrite"}}, "frames");
}
