// The frame walk with the writer (auto-track on, mixed sound and silence),
// beside a plain buffered write of the same bytes; and the time of a track
// change with 999 track files of the day already in the folder; and the walk
// with the level meter against the walk without it, interleaved.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "capture/fake_wave_in.h"
#include "recorder/level_meter.h"
#include "recorder/recorder_engine.h"
#include "recorder/recorder_state.h"
#include "wavefile/wavefile.h"

namespace {

class BenchRecorder : public RecorderEngine {
 public:
  using RecorderEngine::RecorderEngine;
  std::string folder;

 protected:
  void UpdateData(bool save) override {
    if (save) m_strFolder = folder;
  }
  void SetSilentLampText(const std::string&) override {}
  int SilenceLengthPos() override { return 10; }
  int SilenceLevelPos() override { return 7; }
  std::string LoadString(int) override { return {}; }
  HWND NoticeWindow() override { return nullptr; }
};

struct Folder {
  std::string path;
  Folder() {
    std::string pattern = std::string(P_tmpdir) + "/tapewell-engine-bench-XXXXXX";
    path = mkdtemp(pattern.data());
  }
  ~Folder() { std::filesystem::remove_all(path); }
};

// One block of 8,192 x 512 frames (95 s at 44.1 kHz): 40 s of sound, then 2 s
// of silence, repeating, so that a track change falls about every 42 s.
std::vector<uint8_t> MixedBlock() {
  constexpr size_t kFrames = 8192 * 512;
  std::vector<int16_t> s(2 * kFrames);
  for (size_t i = 0; i < kFrames; ++i) {
    const bool sound = (i % (42 * 44100)) < 40 * 44100;
    s[2 * i] = sound ? static_cast<int16_t>((i * 7919) & 0xFFFF) : 12;
    s[2 * i + 1] = sound ? static_cast<int16_t>((i * 104729) & 0xFFFF) : -12;
  }
  std::vector<uint8_t> bytes(s.size() * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  return bytes;
}

void BM_FrameWalkAndWriter(benchmark::State& state) {
  Folder folder;
  SystemNaming naming;
  FakeWaveInService service;
  SetWaveInService(&service);
  g_nSampleRate = 44100;
  BenchRecorder rec(naming);
  rec.folder = folder.path + "/";
  rec.m_bAutoTrack = 1;
  const auto block = MixedBlock();
  rec.OnRecord();
  for (auto _ : state) {
    rec.AnalyseFrames(block.data(), static_cast<uint32_t>(block.size()), 0, 10, 7);
    // Completed tracks go, as the plain write below rewrites one file: both
    // then write into the page cache without piling up gigabytes.
    state.PauseTiming();
    for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
      if (entry.path().string() != rec.m_strPath) std::filesystem::remove(entry.path());
    }
    state.ResumeTiming();
  }
  rec.OnStop();
  SetWaveInService(nullptr);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(block.size() / 4));
}

void BM_PlainWrite(benchmark::State& state) {
  Folder folder;
  const auto block = MixedBlock();
  const std::string path = folder.path + "/plain.raw";
  FILE* f = std::fopen(path.c_str(), "wb");
  int64_t written = 0;
  for (auto _ : state) {
    for (size_t off = 0; off < block.size(); off += 409600) {
      std::fwrite(block.data() + off, 1, std::min<size_t>(409600, block.size() - off), f);
    }
    written += static_cast<int64_t>(block.size());
    if (written > (int64_t{1} << 30)) {  // keep the file in the page cache's reach
      std::fclose(f);
      f = std::fopen(path.c_str(), "wb");
      written = 0;
    }
  }
  std::fclose(f);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(block.size() / 4));
}

void BM_TrackChangeWith999Files(benchmark::State& state) {
  static Folder folder;
  static SystemNaming naming;
  static FakeWaveInService service;
  static BenchRecorder* rec = [] {
    SetWaveInService(&service);
    g_nSampleRate = 48000;
    auto* r = new BenchRecorder(naming);
    r->folder = folder.path + "/";
    r->m_strFolder = r->folder;
    for (int i = 1; i <= 999; ++i) {
      const std::string name = r->m_strFolder + r->MakeNextTrackName() + ".wav";
      std::fclose(std::fopen(name.c_str(), "wb"));
    }
    r->OnRecord();
    return r;
  }();
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 100000; ++i) WavePutSample(i, -i);  // a staged block to complete
    const std::string previous = rec->m_strPath;
    state.ResumeTiming();
    rec->StartNextTrack();
    state.PauseTiming();
    std::remove(previous.c_str());  // keep 999 files of the day besides the open one
    state.ResumeTiming();
  }
}

BENCHMARK(BM_FrameWalkAndWriter)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_TrackChangeWith999Files)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(41)
    ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true);

// Seconds to walk (with the writer) `block` in pieces of `pieceBytes`, with or
// without the level meter; completed tracks are removed afterwards, untimed.
double TimeWalk(BenchRecorder& rec, const Folder& folder, const std::vector<uint8_t>& block, size_t pieceBytes,
                LevelMeter* meter) {
  rec.levelMeter = meter;
  // The thread's own CPU time: other processes on a shared machine do not count.
  timespec start{}, end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  for (size_t at = 0; at < block.size(); at += pieceBytes) {
    rec.AnalyseFrames(block.data() + at, static_cast<uint32_t>(std::min(pieceBytes, block.size() - at)), 0, 10, 7);
  }
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  const double took = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) * 1e-9;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
    if (entry.path().string() != rec.m_strPath) std::filesystem::remove(entry.path());
  }
  return took;
}

// The walk's speed (its thread's CPU time) with the meter over its speed without, in rounds that
// alternate which goes first; prints min/median/max of the per-round ratio.
void CompareMeter(const char* what, size_t pieceBytes, int rounds) {
  Folder folder;
  SystemNaming naming;
  FakeWaveInService service;
  SetWaveInService(&service);
  g_nSampleRate = 44100;
  BenchRecorder rec(naming);
  rec.folder = folder.path + "/";
  rec.m_bAutoTrack = 1;
  LevelMeter meter;
  meter.Reset(44100);
  const auto block = MixedBlock();
  rec.OnRecord();
  TimeWalk(rec, folder, block, pieceBytes, nullptr);  // warm-up: page cache and staging
  std::vector<double> ratios;
  for (int r = 0; r < rounds; ++r) {
    double plain = 0, metered = 0;
    if (r % 2 == 0) {
      plain = TimeWalk(rec, folder, block, pieceBytes, nullptr);
      metered = TimeWalk(rec, folder, block, pieceBytes, &meter);
    } else {
      metered = TimeWalk(rec, folder, block, pieceBytes, &meter);
      plain = TimeWalk(rec, folder, block, pieceBytes, nullptr);
    }
    ratios.push_back(plain / metered);  // speed with the meter / speed without
  }
  rec.OnStop();
  SetWaveInService(nullptr);
  std::sort(ratios.begin(), ratios.end());
  std::printf("walk with level meter / without, %s, %d rounds: min %.3f median %.3f max %.3f\n", what, rounds,
              ratios.front(), ratios[ratios.size() / 2], ratios.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int status =
      benchratio::RunAndPrintRatios(argc, argv, {{"BM_FrameWalkAndWriter", "BM_PlainWrite"}}, "frames");
  std::printf("\n");
  CompareMeter("32,768-byte capture buffers", 32768, 31);
  CompareMeter("one 16 MiB block", SIZE_MAX, 31);
  return status;
}
