// The recording engine, each case against its baseline in alternating rounds:
// the frame walk with the writer (auto-track on, mixed sound and silence)
// against a plain buffered write of the same bytes, and a track change with
// the day's files 001 to 999 in the folder against one in a folder without
// them (also printed as times: the change has to fit well inside the
// capture ring's 1.5 s).
// Also the walk with the level meter against the walk without it,
// interleaved.
// Usage: recorder_engine_bench [--rounds=N]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "capture/fake/fake_wave_in.h"
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
    if (!mkdtemp(pattern.data())) {
      std::fprintf(stderr, "recorder_engine_bench: cannot make a folder in %s\n", P_tmpdir);
      std::exit(1);
    }
    path = pattern;
  }
  ~Folder() { std::filesystem::remove_all(path); }
  /// Removes every entry but those in `keep`.
  void Clear(const std::vector<std::string>& keep = {}) const {
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (std::find(keep.begin(), keep.end(), entry.path().filename().string()) == keep.end()) {
        std::filesystem::remove(entry.path());
      }
    }
  }
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

void StartOrDie(BenchRecorder& rec, const std::string& folder) {
  rec.folder = folder + "/";
  rec.OnRecord();
  if (!g_bRecording) {
    std::fprintf(stderr, "recorder_engine_bench: cannot record into %s\n", folder.c_str());
    std::exit(1);
  }
}

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
  const int rounds = benchratio::RoundsFromArgs(argc, argv, 15);
  SystemNaming naming;
  FakeWaveInService service;
  SetWaveInService(&service);
  g_nSampleRate = 44100;
  BenchRecorder rec(naming);
  rec.m_bAutoTrack = 1;
  const auto block = MixedBlock();
  const double blockFrames = double(block.size() / 4);

  Folder walkFolder, plainFolder, fullFolder, emptyFolder;
  // The day's files 001..999 (empty) in fullFolder.
  rec.m_strFolder = fullFolder.path + "/";
  std::vector<std::string> dayFiles;
  for (int i = 1; i <= 999; ++i) {
    dayFiles.push_back(rec.MakeNextTrackName() + ".wav");
    std::fclose(std::fopen((rec.m_strFolder + dayFiles.back()).c_str(), "wb"));
  }

  auto frameWalk = [&] {
    StartOrDie(rec, walkFolder.path);
    const double s = benchratio::Seconds(
        [&] { rec.AnalyseFrames(block.data(), static_cast<uint32_t>(block.size()), 0, 10, 7); });
    rec.OnStop();
    walkFolder.Clear();
    return benchratio::Run{s, blockFrames};
  };
  auto plainWrite = [&] {
    const std::string path = plainFolder.path + "/plain.raw";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::exit(1);
    const double s = benchratio::Seconds([&] {
      for (size_t off = 0; off < block.size(); off += 409600) {
        std::fwrite(block.data() + off, 1, std::min<size_t>(409600, block.size() - off), f);
      }
    });
    std::fclose(f);
    return benchratio::Run{s, blockFrames};
  };

  // Five track changes in one recording, each completing a staged block
  // of 100,000 frames; every change's time is kept.
  std::vector<double> fullTimes, emptyTimes;
  auto trackChanges = [&](const Folder& folder, std::vector<double>& times) {
    return [&] {
      StartOrDie(rec, folder.path);
      double total = 0;
      for (int k = 0; k < 5; ++k) {
        for (int i = 0; i < 100000; ++i) WavePutSample(i, -i);
        const double s = benchratio::Seconds([&] { rec.StartNextTrack(); });
        times.push_back(s);
        total += s;
      }
      rec.OnStop();
      folder.Clear(dayFiles);
      return benchratio::Run{total, 5.0};
    };
  };

  benchratio::RunInterleaved({{"FrameWalkAndWriter", "PlainWrite", frameWalk, plainWrite}}, rounds, "frames");
  benchratio::RunInterleaved({{"TrackChangeWith999Files", "TrackChangeEmptyFolder",
                               trackChanges(fullFolder, fullTimes), trackChanges(emptyFolder, emptyTimes)}},
                             rounds, "changes");
  auto report = [](const char* name, std::vector<double> t) {
    std::sort(t.begin(), t.end());
    std::printf("%-26s %zu changes: median %.3f ms, max %.3f ms\n", name, t.size(), 1e3 * benchratio::Median(t),
                1e3 * t.back());
  };
  report("TrackChangeWith999Files", fullTimes);
  report("TrackChangeEmptyFolder", emptyTimes);
  SetWaveInService(nullptr);
  std::printf("\n");
  CompareMeter("32,768-byte capture buffers", 32768, 31);
  CompareMeter("one 16 MiB block", SIZE_MAX, 31);
  return 0;
}
