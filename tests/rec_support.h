// What the tests of the terminal recorder share: generated signals, WAV
// files written and read back, and runs of the real binary.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/track_naming.h"
#include "tests/test_support.h"
#include "wavefile/wavefile.h"

namespace recsupport {

using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;

using Frames = std::vector<std::pair<int16_t, int16_t>>;

/// The terminal recorder under test.
inline const std::string kBinary = TAPEWELL_REC_PATH;

// Tones and silences: `pattern` lists (seconds, frequency) with 0 Hz for digital silence.
inline Frames Signal(int rate, const std::vector<std::pair<double, double>>& pattern, double amplitude = 16000) {
  Frames frames;
  for (auto [seconds, hz] : pattern) {
    const int n = static_cast<int>(seconds * rate);
    for (int i = 0; i < n; ++i) {
      const double v = hz > 0 ? amplitude * std::sin(2 * M_PI * hz * (i + 1) / rate) : 0;
      frames.push_back({int16_t(v), int16_t(-v)});
    }
  }
  return frames;
}

inline void WriteWav(const std::string& path, int rate, const Frames& frames, int bits = 16, int channels = 2) {
  ASSERT_EQ(WaveCreate(path.c_str(), rate, bits, channels, 0), WAVE_OK);
  for (auto [l, r] : frames) ASSERT_EQ(WavePutSample(l, r), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
}

inline Frames ReadFrames(const std::string& path) {
  const auto bytes = ReadFileBytes(path);
  if (bytes.size() < 44) return {};
  Frames frames((bytes.size() - 44) / 4);
  for (size_t i = 0; i < frames.size(); ++i) {
    std::memcpy(&frames[i].first, &bytes[44 + 4 * i], 2);
    std::memcpy(&frames[i].second, &bytes[44 + 4 * i + 2], 2);
  }
  return frames;
}

inline std::vector<std::string> WavFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string TodayName(int n) {
  SystemNaming naming;
  const LocalDate d = naming.Today();
  char name[32];
  std::snprintf(name, sizeof name, "%02d%3s%03d.wav", d.day, MonthAbbreviation(d.month), n);
  return name;
}

struct RecRun {
  int status;
  std::string out, err;
};

// Runs tapewell-rec with `args`, standard input from `stdinPath`.
inline RecRun RunRec(const std::string& args, const std::string& env = "", const std::string& stdinPath = "/dev/null") {
  TempDir logs;
  RecRun r;
  RunCommand(env + " timeout 120 " + kBinary + " " + args + " <" + stdinPath + " >" + logs.file("out") + " 2>" +
                 logs.file("err"),
             &r.status);
  std::ifstream o(logs.file("out")), e(logs.file("err"));
  std::stringstream so, se;
  so << o.rdbuf();
  se << e.rdbuf();
  r.out = so.str();
  r.err = se.str();
  return r;
}

// Strength of one frequency in the left channel (Goertzel), as an amplitude.
inline double ToneAmplitude(const Frames& frames, size_t from, size_t count, int rate, double hz) {
  const double w = 2 * M_PI * hz / rate, coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < from + count && i < frames.size(); ++i) {
    const double s = frames[i].first + coeff * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(count);
}

// A child process that is ended (SIGTERM) and reaped when the guard goes.
class ChildGuard {
 public:
  explicit ChildGuard(pid_t pid) : pid_(pid) {}
  ~ChildGuard() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  /// Waits for the child to end by itself and returns its wait status.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  pid_t pid() const { return pid_; }
  /// The child was reaped elsewhere: nothing to end.
  void Forget() { pid_ = -1; }

 private:
  pid_t pid_;
};

/// Starts tapewell-rec recording a live input with `args` (after the
/// program's name): standard input on /dev/null, output into `log`, errors
/// into `errors`. The sound libraries load ALSA plugins that keep a few
/// allocations to the end and are unloaded before the leak check can name
/// them, so the leak check is off here; the offline cases keep it for our own code.
inline pid_t StartLiveRecorder(const std::vector<std::string>& args, const std::string& log,
                               const std::string& errors) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int errFd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int devnull = open("/dev/null", O_RDWR);
  dup2(devnull, 0);
  dup2(logFd, 1);
  dup2(errFd, 2);
  const char* asan = std::getenv("ASAN_OPTIONS");
  setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
  std::vector<char*> argv{const_cast<char*>(kBinary.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(kBinary.c_str(), argv.data());
  _exit(127);
}

inline std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace recsupport
