// tapewell-rec against a private sound server (PulseAudio, or PipeWire with
// pipewire-pulse; the test command starts each in turn): listing the inputs,
// recording a named input that is not the default, a server killed in the
// middle of a recording, and a stalled source.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/own_server.h"
#include "tests/test_support.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

using testsupport::OwnServer;
using testsupport::ReadFileBytes;
using testsupport::ReadLe32;
using testsupport::RunCommand;
using testsupport::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kBinary = TAPEWELL_REC_PATH;

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A child process, ended (SIGTERM) and reaped when the guard goes.
class Child {
 public:
  /// Runs `argv` with stdout and stderr into files and `env` added.
  Child(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
        const std::map<std::string, std::string>& env = {}) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, 0);
      dup2(outFd, 1);
      dup2(errFd, 2);
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      // libpulse keeps a few allocations to the end; the offline tests keep the
      // leak check for our own code.
      const char* asan = std::getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }
  /// Waits up to `limit` for the child to end; its wait status, or -1 when it is still running.
  int WaitFor(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

// Keeps a sink running with digital silence, so that its monitor delivers frames.
std::unique_ptr<Child> PlayZeros(const TempDir& dir, const std::string& sink,
                                 const std::map<std::string, std::string>& env = {}) {
  return std::make_unique<Child>(
      std::vector<std::string>{"sh", "-c",
                               "exec pacat --playback --device=" + sink +
                                   " --format=s16le --channels=2 --rate=48000 </dev/zero"},
      dir.file("player.out"), dir.file("player.err"), env);
}

// Waits until `path` contains `text`, at most `limit`.
bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (FileText(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The one WAV file in `folder`: its header must state exactly the frames it
// holds; returns them (left channel only).
std::vector<int16_t> CompleteFileLeft(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().string());
  EXPECT_EQ(names.size(), 1u);
  if (names.empty()) return {};
  const auto bytes = ReadFileBytes(names[0]);
  EXPECT_GE(bytes.size(), 44u);
  if (bytes.size() < 44) return {};
  EXPECT_EQ(ReadLe32(bytes, 4), bytes.size() - 8) << names[0];
  EXPECT_EQ(ReadLe32(bytes, 40), bytes.size() - 44) << names[0];
  EXPECT_EQ((bytes.size() - 44) % 4, 0u);
  std::vector<int16_t> left((bytes.size() - 44) / 4);
  for (size_t i = 0; i < left.size(); ++i) std::memcpy(&left[i], &bytes[44 + 4 * i], 2);
  return left;
}

// Strength of one frequency (Goertzel), as an amplitude.
double ToneAmplitude(const std::vector<int16_t>& s, size_t from, size_t count, int rate, double hz) {
  const double w = 2 * M_PI * hz / rate, coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < from + count && i < s.size(); ++i) {
    const double v = s[i] + coeff * s1 - s2;
    s2 = s1;
    s1 = v;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(count);
}

// A private server of the test's own (so that killing or stalling it leaves
// the others alone), stopped when the object goes.
class LiveCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("TAPEWELL_PULSE")) GTEST_SKIP() << "no private sound server (the test command starts one)";
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directory(out);
  }
  std::string Server() const {
    const char* kind = std::getenv("TAPEWELL_SOUND_SERVER");
    return kind ? kind : "pulseaudio";
  }
  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string log = dir.file("rec.out"), errors = dir.file("rec.err");
};

}  // namespace

TEST_F(LiveCaptureTest, ListDevicesNamesTheInputsAndMarksDefaultAndMonitors) {
  int status = -1;
  const std::string listing = RunCommand(kBinary + " --list-devices 2>&1", &status);
  EXPECT_EQ(status, 0) << listing;
  std::istringstream lines(listing);
  std::string line;
  bool found = false;
  while (std::getline(lines, line)) {
    if (line.rfind("tapewell_null.monitor\t", 0) == 0) {
      found = true;
      EXPECT_NE(line.find("[default]"), std::string::npos) << line;
      EXPECT_NE(line.find("[monitor of an output]"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(found) << listing;
}

TEST_F(LiveCaptureTest, UnknownDeviceIsAUsageErrorThatNamesTheListingAndCreatesNothing) {
  int status = -1;
  const std::string text =
      RunCommand(kBinary + " --device no_such_input -w " + out + " 2>&1 </dev/null", &status);
  EXPECT_EQ(status, 2) << text;
  EXPECT_NE(text.find("no_such_input"), std::string::npos) << text;
  EXPECT_NE(text.find("tapewell-rec --list-devices"), std::string::npos) << text;
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

TEST_F(LiveCaptureTest, RecordsTheNamedInputWhileTheDefaultIsAnother) {
  // A second null sink whose monitor becomes the default source; put back afterwards.
  int status = -1;
  const std::string module =
      RunCommand("pactl load-module module-null-sink sink_name=tapewell_other rate=48000 channels=2", &status);
  ASSERT_EQ(status, 0) << module;
  struct Restore {
    std::string module;
    ~Restore() {
      RunCommand("pactl set-default-source tapewell_null.monitor; pactl unload-module " + module);
    }
  } restore{module.substr(0, module.find_first_of("\n"))};
  for (int i = 0; i < 50 && RunCommand("pactl list short sources").find("tapewell_other.monitor") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  RunCommand("pactl set-default-source tapewell_other.monitor", &status);
  ASSERT_EQ(status, 0);
  const std::string listing = RunCommand(kBinary + " --list-devices");
  ASSERT_NE(listing.find("tapewell_other.monitor\tMonitor"), std::string::npos) << listing;
  const size_t other = listing.find("tapewell_other.monitor");
  EXPECT_NE(listing.find("[default]", other), std::string::npos) << listing;

  auto zeros = PlayZeros(dir, "tapewell_null");
  auto zerosOther = PlayZeros(dir, "tapewell_other");
  Child rec({kBinary, "-r", "48000", "--device", "tapewell_null.monitor", "-w", out}, log, errors);
  ASSERT_TRUE(WaitForText(log, "Silent", std::chrono::seconds(12))) << FileText(log) << FileText(errors);
  const std::string tone = dir.file("tone.wav");
  ASSERT_EQ(WaveCreate(tone.c_str(), 48000, 16, 2, 0), WAVE_OK);
  for (int i = 0; i < 48000; ++i) {
    const auto v = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 440 * (i + 1) / 48000)));
    ASSERT_EQ(WavePutSample(v, v), WAVE_OK);
  }
  ASSERT_EQ(WaveClose(), WAVE_OK);
  RunCommand("paplay -d tapewell_null " + tone, &status);
  EXPECT_EQ(status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  kill(rec.pid(), SIGINT);
  const int recStatus = rec.WaitFor(std::chrono::seconds(3));
  ASSERT_TRUE(WIFEXITED(recStatus)) << recStatus;
  EXPECT_EQ(WEXITSTATUS(recStatus), 0) << FileText(log) << FileText(errors);
  const auto left = CompleteFileLeft(out);
  // Find the loudest 0.5 s: the tone played into the named sink, not silence from the default.
  double best = 0;
  for (size_t from = 0; from + 24000 <= left.size(); from += 4800) {
    best = std::max(best, ToneAmplitude(left, from, 24000, 48000, 440));
  }
  EXPECT_NEAR(best, 16384, 1600) << "frames: " << left.size();
}

TEST_F(LiveCaptureTest, ServerKilledMidRecordingEndsAsLostDeviceWithTheFileComplete) {
  OwnServer server(Server());
  ASSERT_EQ(server.why(), "");
  auto zeros = PlayZeros(dir, "tapewell_null", server.ClientEnv());
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv());
  ASSERT_TRUE(WaitForText(log, "Silent", std::chrono::seconds(12))) << FileText(log) << FileText(errors);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  server.Signal(SIGKILL);
  const auto killed = Clock::now();
  const int recStatus = rec.WaitFor(std::chrono::seconds(5));
  const double seconds = std::chrono::duration<double>(Clock::now() - killed).count();
  ASSERT_TRUE(WIFEXITED(recStatus)) << "still running " << seconds << " s after the kill\n" << FileText(log);
  EXPECT_EQ(WEXITSTATUS(recStatus), 1);
  EXPECT_LT(seconds, 2.5);
  EXPECT_NE(FileText(log).find("failed to record sound."), std::string::npos) << FileText(log);
  EXPECT_NE(FileText(errors).find("the sound server ended the recording stream"), std::string::npos)
      << FileText(errors);
  const auto left = CompleteFileLeft(out);
  EXPECT_GE(left.size(), 8192u);  // at least the buffers before the kill
}

// Stalls the server's delivery to the recorder: PulseAudio suspends the null
// sink (its monitor then delivers nothing); pipewire-pulse keeps a monitor
// running through a suspend, so there the server's processes are stopped.
void Stall(const OwnServer& server, const std::string& kind) {
  if (kind == "pulseaudio") {
    int status = -1;
    const std::string text = server.Pactl("suspend-sink tapewell_null 1", &status);
    ASSERT_EQ(status, 0) << text;
  } else {
    server.Signal(SIGSTOP);
  }
}

TEST_F(LiveCaptureTest, StalledSourceEndsAsLostDeviceInTwoSeconds) {
  OwnServer server(Server());
  ASSERT_EQ(server.why(), "");
  auto zeros = PlayZeros(dir, "tapewell_null", server.ClientEnv());
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv());
  ASSERT_TRUE(WaitForText(log, "Silent", std::chrono::seconds(12))) << FileText(log) << FileText(errors);
  Stall(server, Server());
  const auto stalled = Clock::now();
  // Documented: the recording ends as a lost device 2 s after the last frames.
  const int recStatus = rec.WaitFor(std::chrono::seconds(6));
  const double seconds = std::chrono::duration<double>(Clock::now() - stalled).count();
  ASSERT_TRUE(WIFEXITED(recStatus)) << "still running " << seconds << " s into the stall\n" << FileText(log);
  EXPECT_EQ(WEXITSTATUS(recStatus), 1);
  EXPECT_GT(seconds, 1.5);
  EXPECT_LT(seconds, 3.5);
  EXPECT_NE(FileText(log).find("failed to record sound."), std::string::npos) << FileText(log);
  EXPECT_NE(FileText(errors).find("no frames for 2 s"), std::string::npos) << FileText(errors);
  EXPECT_GE(CompleteFileLeft(out).size(), 8192u);
}

TEST_F(LiveCaptureTest, SigintDuringAStallCompletesTheFileWithinTwoSeconds) {
  OwnServer server(Server());
  ASSERT_EQ(server.why(), "");
  auto zeros = PlayZeros(dir, "tapewell_null", server.ClientEnv());
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv());
  ASSERT_TRUE(WaitForText(log, "Silent", std::chrono::seconds(12))) << FileText(log) << FileText(errors);
  Stall(server, Server());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  kill(rec.pid(), SIGINT);
  const auto interrupted = Clock::now();
  const int recStatus = rec.WaitFor(std::chrono::seconds(5));
  const double seconds = std::chrono::duration<double>(Clock::now() - interrupted).count();
  ASSERT_TRUE(WIFEXITED(recStatus)) << "still running " << seconds << " s after SIGINT\n" << FileText(log);
  EXPECT_EQ(WEXITSTATUS(recStatus), 0) << FileText(log) << FileText(errors);
  EXPECT_LT(seconds, 2.0);
  EXPECT_NE(FileText(log).find("frames dropped: 0"), std::string::npos) << FileText(log);
  EXPECT_GE(CompleteFileLeft(out).size(), 8192u);
}
