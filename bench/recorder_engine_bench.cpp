// The frame walk with the writer (auto-track on, mixed sound and silence),
// beside a plain buffered write of the same bytes; and the time of a track
// change with 999 track files of the day already in the folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "capture/fake_wave_in.h"
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

}  // namespace

int main(int argc, char** argv) {
  return benchratio::RunAndPrintRatios(argc, argv, {{"BM_FrameWalkAndWriter", "BM_PlainWrite"}}, "frames");
}
