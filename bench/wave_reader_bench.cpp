// Sequential frame fetches through the reader's window, and the
// interpolating reads, over a 16-bit stereo file in the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/bench_ratio.h"
#include "wavefile/wavefile.h"

namespace {

constexpr int32_t kFrames = 102400 * 40;

const std::string& BenchFile() {
  static const std::string path = [] {
    std::string p = std::string(P_tmpdir) + "/tapewell-reader-bench-" + std::to_string(getpid()) + ".wav";
    WaveCreate(p.c_str(), 44100, 16, 2, 0);
    for (int32_t i = 0; i < kFrames; ++i) WavePutSample((i * 37) & 0x7FFF, -((i * 91) & 0x7FFF));
    WaveClose();
    return p;
  }();
  return path;
}

void OpenBenchFile() {
  int32_t rate, bits, channels;
  uint32_t size;
  WaveOpenRead(BenchFile().c_str(), rate, bits, channels, size);
}

void BM_WaveGetSample(benchmark::State& state) {
  int64_t sum = 0;
  for (auto _ : state) {
    OpenBenchFile();
    int32_t l, r;
    for (int32_t p = 0; p < kFrames; ++p) {
      WaveGetSample(p, l, r);
      sum += l + r;
    }
    WaveCloseRead();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kFrames);
}

// A plain sequential read of the same bytes, for comparison.
void BM_PlainRead(benchmark::State& state) {
  int64_t sum = 0;
  static int16_t block[409600 / 2];
  for (auto _ : state) {
    FILE* f = std::fopen(BenchFile().c_str(), "rb");
    std::fseek(f, 44, SEEK_SET);
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
      for (size_t i = 0; i < n / 2; ++i) sum += block[i];
    }
    std::fclose(f);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kFrames);
}

template <typename Read>
void InterpolatedReads(benchmark::State& state, Read read, double step) {
  OpenBenchFile();
  int64_t reads = 0;
  double x = 150.0;
  for (auto _ : state) {
    read(x);
    x += step;
    if (x > kFrames - 200) {
      state.PauseTiming();
      OpenBenchFile();
      x = 150.0;
      state.ResumeTiming();
    }
    ++reads;
  }
  WaveCloseRead();
  state.SetItemsProcessed(reads);
}

void BM_Linear(benchmark::State& state) {
  int32_t l, r;
  InterpolatedReads(state, [&](double x) { WaveGetSampleLinear(x, l, r); benchmark::DoNotOptimize(l); }, 0.37);
}
void BM_Cubic(benchmark::State& state) {
  int32_t l, r;
  InterpolatedReads(state, [&](double x) { WaveGetSampleCubic(x, l, r); benchmark::DoNotOptimize(l); }, 0.37);
}
void BM_Sinc200(benchmark::State& state) {
  int32_t l, r;
  InterpolatedReads(state, [&](double x) { WaveGetSampleSinc(x, l, r, 200); benchmark::DoNotOptimize(l); }, 0.37);
}

BENCHMARK(BM_WaveGetSample)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Linear)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Cubic)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Sinc200)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  const int rc = benchratio::RunAndPrintRatios(
      argc, argv, {{"BM_WaveGetSample", "BM_PlainRead"}, {"BM_Cubic", "BM_Linear"}, {"BM_Sinc200", "BM_Linear"}},
      "reads");
  std::remove(BenchFile().c_str());
  return rc;
}
