// tapewell-rec under the faults a recording left running overnight meets:
// recorders started together into one folder, a track file or folder
// removed, a disk that stalls, the process stopped (SIGSTOP) and resumed, a
// sound server frozen at start, nohup, a FAT32 size limit and closed
// standard descriptors. The live cases record a unique-frame signal (frame
// n holds the number n) played through a private sound server of their own,
// so that they can run beside other tests, and line every recording up
// against it: no gap, no repeat, and the frames dropped that the recorder
// reports are the frames really missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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
using namespace std::chrono_literals;

namespace {

const std::string kBinary = TAPEWELL_REC_PATH;
const std::string kShim = TAPEWELL_SHIM_PATH;
constexpr int kRate = 48000;

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (FileText(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// A child process, ended (SIGKILL) and reaped when the guard goes.
class Child {
 public:
  /// Runs `argv` with stdout and stderr into files and `env` added; `setup`
  /// runs in the child just before the program starts. With `keys`, its
  /// standard input is a pipe that Type writes into (else /dev/null).
  Child(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
        const std::map<std::string, std::string>& env = {}, void (*setup)() = nullptr, bool keys = false) {
    std::fflush(nullptr);
    int keyPipe[2] = {-1, -1};
    if (keys && pipe(keyPipe) != 0) keyPipe[0] = keyPipe[1] = -1;
    pid_ = fork();
    if (pid_ == 0) {
      const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int devnull = open("/dev/null", O_RDWR);
      dup2(keyPipe[0] >= 0 ? keyPipe[0] : devnull, 0);
      if (keyPipe[1] >= 0) close(keyPipe[1]);
      dup2(outFd, 1);
      dup2(errFd, 2);
      for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      const char* asan = std::getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
      if (setup) setup();
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    if (keyPipe[0] >= 0) close(keyPipe[0]);
    keys_ = keyPipe[1];
  }
  ~Child() {
    if (keys_ >= 0) close(keys_);
    if (pid_ > 0) {
      kill(pid_, SIGCONT);
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t pid() const { return pid_; }
  /// Writes `text` to the child's standard input (started with `keys`).
  void Type(const std::string& text) const {
    if (keys_ < 0) return;
    [[maybe_unused]] const ssize_t written = write(keys_, text.data(), text.size());
  }
  /// Sends `signal` to the child while it runs (never to anything else once
  /// it has been reaped).
  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }
  /// Waits up to `limit` for the child to end; its wait status, or -1 when it is still running.
  int WaitFor(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return status;
      }
      std::this_thread::sleep_for(10ms);
    } while (Clock::now() < end);
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int keys_ = -1;
};

// The unique-frame signal: frame n (from 1) holds n, its low 16 bits on the
// left and its high 16 bits on the right, so no two frames are alike and
// silence (0) is no frame of it.
void WriteNumberedSignal(const std::string& path, double seconds) {
  ASSERT_EQ(WaveCreate(path.c_str(), kRate, 16, 2, 0), WAVE_OK);
  const auto frames = static_cast<uint32_t>(seconds * kRate);
  std::vector<uint8_t> block;
  for (uint32_t n = 1; n <= frames; ++n) {
    const uint16_t low = n & 0xFFFF, high = n >> 16;
    block.insert(block.end(), {uint8_t(low), uint8_t(low >> 8), uint8_t(high), uint8_t(high >> 8)});
    if (block.size() == 4 * 8192 || n == frames) {
      ASSERT_EQ(WavePutFrames(block.data(), uint32_t(block.size() / 4)), WAVE_OK);
      block.clear();
    }
  }
  ASSERT_EQ(WaveClose(), WAVE_OK);
}

// How a recording lines up against the numbered signal.
struct Continuity {
  uint64_t frames = 0;    // frames of the signal in the recording
  uint64_t missing = 0;   // frames of the signal skipped between its first and last frame recorded
  uint64_t repeats = 0;   // places where the numbers went back or stood still
  uint32_t first = 0, last = 0;
};

std::ostream& operator<<(std::ostream& os, const Continuity& c) {
  return os << "frames " << c.frames << ", missing " << c.missing << ", repeats " << c.repeats << ", numbers "
            << c.first << ".." << c.last;
}

// The track files of `folder`, in order, each complete (its header states
// exactly the frames it holds), lined up against the signal. Silence before
// the signal starts and after it ends is left aside; silence inside it is
// audio the recorder could not get, as is a skip.
Continuity CheckContinuity(const std::string& folder, std::vector<bool>* present = nullptr) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().string());
  std::sort(names.begin(), names.end());
  Continuity c;
  for (const auto& name : names) {
    const auto bytes = ReadFileBytes(name);
    EXPECT_GE(bytes.size(), 44u) << name;
    if (bytes.size() < 44) continue;
    EXPECT_EQ(ReadLe32(bytes, 40), bytes.size() - 44) << name;
    for (size_t at = 44; at + 4 <= bytes.size(); at += 4) {
      const uint32_t n = bytes[at] | bytes[at + 1] << 8 | uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 3]) << 24;
      if (n == 0) continue;
      if (present) {
        if (present->size() <= n) present->resize(size_t{n} + 1);
        (*present)[n] = true;
      }
      if (c.frames == 0) {
        c.first = n;
      } else if (n > c.last) {
        c.missing += n - c.last - 1;
      } else {
        ++c.repeats;
      }
      c.last = std::max(c.last, n);
      ++c.frames;
    }
  }
  return c;
}

// The count on the recorder's "frames dropped: N" line; -1 when there is none.
int64_t DroppedFrames(const std::string& log) {
  const std::string text = FileText(log);
  const size_t at = text.rfind("frames dropped: ");
  if (at == std::string::npos) return -1;
  return std::atoll(text.c_str() + at + 16);
}

class LiveFaultTest : public ::testing::Test {
 protected:
  /// `kind`: the private sound server the case records through.
  explicit LiveFaultTest(const std::string& kind = "pulseaudio") : server(kind) {}
  void SetUp() override {
    if (!std::getenv("TAPEWELL_PULSE")) GTEST_SKIP() << "no private sound server (the test command provides one)";
    ASSERT_EQ(server.why(), "");
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directory(out);
  }
  // Starts the recorder into `out` with `env` added to the server's, and
  // waits until it records.
  std::unique_ptr<Child> StartRecorder(std::map<std::string, std::string> env = {},
                                       std::vector<std::string> extra = {}) {
    env.merge(server.ClientEnv());
    std::vector<std::string> argv{kBinary, "-r", "48000", "-w", out};
    argv.insert(argv.end(), extra.begin(), extra.end());
    auto rec = std::make_unique<Child>(argv, log, errors, env, nullptr, true);
    EXPECT_TRUE(WaitForText(log, "REC - ", 12s)) << FileText(log) << FileText(errors);
    return rec;
  }
  // Plays the numbered signal of `seconds` into the server's null sink.
  std::unique_ptr<Child> PlaySignal(double seconds) {
    const std::string signal = dir.file("signal.wav");
    WriteNumberedSignal(signal, seconds);
    return std::make_unique<Child>(std::vector<std::string>{"paplay", "-d", "tapewell_null", signal},
                                   dir.file("player.out"), dir.file("player.err"), server.ClientEnv());
  }
  // Ends the recorder with SIGINT; its exit status (-1 when it did not exit in time).
  int Interrupt(Child& rec) {
    rec.Signal(SIGINT);
    const int status = rec.WaitFor(10s);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Records the signal while `fault` runs after 2 s, then 6 s more (to catch
  // up); checks that nothing was lost.
  void ExpectNothingLostAcross(const std::function<void(Child&)>& fault, double faultSeconds,
                               std::map<std::string, std::string> env = {}) {
    auto rec = StartRecorder(std::move(env));
    auto player = PlaySignal(faultSeconds + 12);
    std::this_thread::sleep_for(2s);
    fault(*rec);
    std::this_thread::sleep_for(6s);
    EXPECT_EQ(Interrupt(*rec), 0) << FileText(log) << FileText(errors);
    EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
    const Continuity c = CheckContinuity(out);
    EXPECT_EQ(c.missing, 0u) << c;
    EXPECT_EQ(c.repeats, 0u) << c;
    EXPECT_GT(c.frames, uint64_t((faultSeconds + 6) * kRate)) << c;
  }

  // Starts the reference recorder: parec on the same monitor, into reference.raw.
  std::unique_ptr<Child> StartReference() {
    return std::make_unique<Child>(std::vector<std::string>{"parec", "-d", "tapewell_null.monitor", "--raw",
                                                            "--format=s16le", "--rate=48000", "--channels=2",
                                                            "--latency-msec=20"},
                                   dir.file("reference.raw"), dir.file("parec.err"), server.ClientEnv());
  }
  // What the reference recorded: the numbers of the signal it has, the last
  // of them, and how many between its first and last it lacks.
  struct Heard {
    std::vector<bool> has;
    uint32_t last = 0;
    uint64_t lost = 0;
  };
  Heard ReadReference() const {
    const auto ref = ReadFileBytes(dir.file("reference.raw"));
    Heard h;
    for (size_t at = 0; at + 4 <= ref.size(); at += 4) {
      const uint32_t n = ref[at] | ref[at + 1] << 8 | uint32_t(ref[at + 2]) << 16 | uint32_t(ref[at + 3]) << 24;
      if (n == 0 || n > 100000000) continue;
      h.last = std::max(h.last, n);
      if (h.has.size() <= n) h.has.resize(size_t{n} + 1);
      h.has[n] = true;
    }
    uint32_t first = 1;
    while (first < h.has.size() && !h.has[first]) ++first;
    for (uint32_t n = first; n < h.last && n < h.has.size(); ++n) h.lost += !h.has[n];
    return h;
  }

  // Records the signal with the reference recorder (parec on the same
  // monitor) beside it; `stop` ends the take `afterSeconds` into it, the
  // reference at the same instant. Every frame the reference got before the
  // stop must be in the files, or counted as dropped: exactly the frames
  // missing, whether inside the take or at its end. Returns the exit status.
  // When the server lost or repeated frames for every client (the reference
  // too, as PipeWire does on a machine short of CPU), there is nothing to
  // compare against: the case is skipped, and the caller returns. `meanwhile`,
  // when given, runs as the take starts (a fault within the take).
  void StopAndCompareWithReference(const std::map<std::string, std::string>& env, double afterSeconds,
                                   const std::function<void(Child&)>& stop, int& exitStatus,
                                   const std::function<void(Child&)>& meanwhile = {}) {
    auto rec = StartRecorder(env);
    auto parec = StartReference();
    auto player = PlaySignal(afterSeconds + 20);
    const auto stopAt = Clock::now() + std::chrono::milliseconds(int(afterSeconds * 1000));
    if (meanwhile) meanwhile(*rec);
    std::this_thread::sleep_until(stopAt);
    parec->Signal(SIGINT);
    stop(*rec);
    const int status = rec->WaitFor(60s);
    EXPECT_TRUE(WIFEXITED(status)) << "still running 60 s after the stop\n" << FileText(log) << FileText(errors);
    parec->WaitFor(5s);
    // The last number the reference recorded: captured before the stop.
    const Heard reference = ReadReference();
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (reference.lost > 0.020 * kRate) {
      GTEST_SKIP() << "the server lost " << reference.lost << " frames for every client, the reference too";
    }
    std::vector<bool> present;
    const Continuity c = CheckContinuity(out, &present);
    EXPECT_EQ(c.repeats, 0u) << c;
    EXPECT_GT(reference.last, uint32_t(kRate)) << "the reference recorded too little";
    const uint64_t lostAtEnd = reference.last > c.last ? reference.last - c.last : 0;
    // Frames missing from the take that the reference has: a frame the
    // reference lacks as well never left the server (a starved player).
    uint64_t missingHeard = 0;
    for (uint32_t n = c.first + 1; n < c.last; ++n) {
      missingHeard += n < present.size() && !present[n] && n < reference.has.size() && reference.has[n];
    }
    // Within 20 ms: the reference's own latency and the two stops' moments.
    EXPECT_NEAR(double(DroppedFrames(log)), double(missingHeard + lostAtEnd), 0.020 * kRate)
        << c << ", " << missingHeard << " of them heard by the reference, which heard up to " << reference.last << "\n"
        << FileText(log) << FileText(errors);
  }

  OwnServer server;
  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string log = dir.file("rec.out"), errors = dir.file("rec.err");
};

// ------------------------------------------------- recorders into one folder

// `count` recorders started together, each made to sleep between its check
// that a name is free and its create: every take lands in a file of its own.
void ExpectRecordersKeepTheirOwnFiles(const OwnServer& server, const TempDir& dir, const std::string& out,
                                      int count) {
  std::vector<std::unique_ptr<Child>> recs;
  auto env = server.ClientEnv();
  env["LD_PRELOAD"] = kShim;
  env["TAPEWELL_SHIM_CREATE_DELAY_MS"] = "400";
  for (int i = 0; i < count; ++i) {
    const std::string name = dir.file("rec" + std::to_string(i));
    recs.push_back(std::make_unique<Child>(
        std::vector<std::string>{kBinary, "-r", "48000", "--duration", "2", "-w", out}, name + ".out",
        name + ".err", env));
  }
  for (int i = 0; i < count; ++i) {
    const int status = recs[i]->WaitFor(20s);
    const std::string name = dir.file("rec" + std::to_string(i));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "recorder " << i << ": " << status << "\n" << FileText(name + ".out") << FileText(name + ".err");
  }
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(out)) files.push_back(e.path().string());
  EXPECT_EQ(files.size(), size_t(count)) << "takes overwrote each other";
  for (const auto& f : files) {
    const auto bytes = ReadFileBytes(f);
    EXPECT_EQ(bytes.size(), 44u + 2 * kRate * 4) << f << ": not one whole take of 2 s";
  }
}

TEST_F(LiveFaultTest, TwoRecordersStartedTogetherIntoOneFolderKeepTheirOwnFiles) {
  ExpectRecordersKeepTheirOwnFiles(server, dir, out, 2);
}

TEST_F(LiveFaultTest, SixRecordersStartedTogetherIntoOneFolderKeepTheirOwnFiles) {
  ExpectRecordersKeepTheirOwnFiles(server, dir, out, 6);
}

// ------------------------------------------------- a track file or folder removed

TEST_F(LiveFaultTest, DeletedTrackFileIsNoticedWithinABlockReportedWithItsPathAndFails) {
  auto rec = StartRecorder();
  std::this_thread::sleep_for(1s);
  const std::string path = out + "/" + FileText(log).substr(FileText(log).find(out + "/") + out.size() + 1, 12);
  ASSERT_TRUE(std::filesystem::remove(path)) << path;
  const int status = rec->WaitFor(2s);  // a block lasts 171 ms at 48 kHz
  ASSERT_TRUE(WIFEXITED(status)) << "still recording into a deleted file\n" << FileText(log);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(FileText(log).find("failed to write file."), std::string::npos) << FileText(log);
  EXPECT_NE(FileText(errors).find(path + ": the file was deleted or moved"), std::string::npos) << FileText(errors);
}

TEST_F(LiveFaultTest, RemovedFolderIsNoticedReportedAndFails) {
  auto rec = StartRecorder();
  std::this_thread::sleep_for(1s);
  std::filesystem::remove_all(out);
  const int status = rec->WaitFor(2s);
  ASSERT_TRUE(WIFEXITED(status)) << "still recording into a removed folder\n" << FileText(log);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(FileText(errors).find(out + "/"), std::string::npos) << FileText(errors);
  EXPECT_NE(FileText(errors).find("deleted or moved"), std::string::npos) << FileText(errors);
}

// ------------------------------------------------- stalls of the writing side

TEST_F(LiveFaultTest, TwelveSecondWriteStallLosesNothing) {
  // The second block written (about 4.3 s into the take) takes 12 s longer.
  ExpectNothingLostAcross([](Child&) { std::this_thread::sleep_for(12s); }, 12,
                          {{"LD_PRELOAD", kShim}, {"TAPEWELL_SHIM_STALL_WRITE", "2"},
                           {"TAPEWELL_SHIM_STALL_SECONDS", "12"}});
}

TEST_F(LiveFaultTest, TwelveSecondWriteStallLosesNothingThroughPortAudio) {
  ExpectNothingLostAcross([](Child&) { std::this_thread::sleep_for(12s); }, 12,
                          {{"TAPEWELL_AUDIO", "portaudio"}, {"LD_PRELOAD", kShim},
                           {"TAPEWELL_SHIM_STALL_WRITE", "2"}, {"TAPEWELL_SHIM_STALL_SECONDS", "12"}});
}

TEST_F(LiveFaultTest, TenSecondStopLosesNothingOnASlowStick) {
  // Every block takes 100 ms to write: after the stop, the frames the server
  // kept come far faster than the ring is handed back.
  ExpectNothingLostAcross(
      [](Child& rec) {
        rec.Signal(SIGSTOP);
        std::this_thread::sleep_for(10s);
        rec.Signal(SIGCONT);
      },
      10, {{"LD_PRELOAD", kShim}, {"TAPEWELL_SHIM_BLOCK_DELAY_MS", "100"}});
}

TEST_F(LiveFaultTest, ThirtySecondStopCountsEveryLostFrameAndExitsThree) {
  auto rec = StartRecorder();
  auto player = PlaySignal(44);
  // The server settles the monitor's latency for the player first.
  std::this_thread::sleep_for(4s);
  rec->Signal(SIGSTOP);
  std::this_thread::sleep_for(30s);
  rec->Signal(SIGCONT);
  std::this_thread::sleep_for(5s);
  EXPECT_EQ(Interrupt(*rec), 3) << FileText(log) << FileText(errors);
  const Continuity c = CheckContinuity(out);
  EXPECT_EQ(c.repeats, 0u) << c;
  // The server keeps about 21.8 s for a stopped client; the rest of the
  // 30 s is lost, and counted against the clock: to within the change of the
  // server's latency across the stall (a few ms, up to about 40 ms when the
  // player started with the recording).
  EXPECT_GT(c.missing, uint64_t(5 * kRate)) << c;
  EXPECT_NEAR(double(DroppedFrames(log)), double(c.missing), 0.050 * kRate) << c << "\n" << FileText(log);
}

// ------------------------------------------------- ending a take after a stall

// A disk at half the take's speed: each block of 2.13 s takes 4.3 s longer to write.
const std::map<std::string, std::string> kHalfSpeedDisk{{"LD_PRELOAD", kShim}, {"TAPEWELL_SHIM_BLOCK_DELAY_MS", "4300"}};

TEST_F(LiveFaultTest, QOnADiskSlowerThanTheTakeWritesEverythingCapturedBeforeItAndSaysSo) {
  int status = -1;
  StopAndCompareWithReference(kHalfSpeedDisk, 7, [](Child& rec) { rec.Type("q"); }, status);
  if (IsSkipped()) return;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
  EXPECT_NE(FileText(errors).find("s behind"), std::string::npos) << FileText(errors);
  EXPECT_NE(FileText(errors).find("writing the last "), std::string::npos) << FileText(errors);
}

// The same through PipeWire (pipewire-pulse), which throws a late client's
// whole backlog away: the recorder reads on into its own slack.
class PipeWireFaultTest : public LiveFaultTest {
 protected:
  PipeWireFaultTest() : LiveFaultTest("pipewire") {}
};

TEST_F(PipeWireFaultTest, QOnADiskSlowerThanTheTakeWritesEverythingCapturedBeforeIt) {
  int status = -1;
  StopAndCompareWithReference(kHalfSpeedDisk, 7, [](Child& rec) { rec.Type("q"); }, status);
  if (IsSkipped()) return;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
}

TEST_F(PipeWireFaultTest, ARecorderStarvedOfCpuButCompleteReportsNoLoss) {
  // 2 s into the take, 8 s with 1 ms of CPU a second: the server keeps what
  // the recorder cannot take and sends it in bursts, a second behind the
  // clock; 6 s after, the stop. Nothing is missing, so nothing is counted.
  int status = -1;
  StopAndCompareWithReference(
      {}, 16, [](Child& rec) { rec.Signal(SIGINT); }, status,
      [](Child& rec) {
        std::this_thread::sleep_for(2s);
        for (int second = 0; second < 8; ++second) {
          rec.Signal(SIGSTOP);
          std::this_thread::sleep_for(999ms);
          rec.Signal(SIGCONT);
          std::this_thread::sleep_for(1ms);
        }
      });
  if (IsSkipped()) return;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
}

TEST_F(LiveFaultTest, SigintDuringAWriteStallWritesEverythingCapturedBeforeIt) {
  // Every block of 2.13 s takes 2.5 s longer (a disk a little slower than the
  // take), and the second (about 4.3 s in) 10 s more:
  // the interrupt comes 9 s into that stall.
  int status = -1;
  StopAndCompareWithReference({{"LD_PRELOAD", kShim},
                               {"TAPEWELL_SHIM_BLOCK_DELAY_MS", "2500"},
                               {"TAPEWELL_SHIM_STALL_WRITE", "2"},
                               {"TAPEWELL_SHIM_STALL_SECONDS", "10"}},
                              13.3, [](Child& rec) { rec.Signal(SIGINT); }, status);
  if (IsSkipped()) return;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
}

TEST_F(LiveFaultTest, ADurationEndingDuringAWriteStallWritesExactlyItsSecondsOfWhatWasCaptured) {
  // The second block (about 4.3 s in) takes 12 s longer: the take's 8 s end
  // while the writes stand still.
  auto parec = StartReference();
  auto rec = StartRecorder({{"LD_PRELOAD", kShim}, {"TAPEWELL_SHIM_STALL_WRITE", "2"},
                            {"TAPEWELL_SHIM_STALL_SECONDS", "12"}},
                           {"--duration", "8"});
  auto player = PlaySignal(30);
  const int status = rec->WaitFor(40s);
  parec->Signal(SIGINT);
  parec->WaitFor(5s);
  ASSERT_TRUE(WIFEXITED(status)) << "still running 40 s after the start\n" << FileText(log) << FileText(errors);
  EXPECT_EQ(WEXITSTATUS(status), 0) << FileText(log) << FileText(errors);
  EXPECT_EQ(DroppedFrames(log), 0) << FileText(log);
  EXPECT_NE(FileText(errors).find("s behind"), std::string::npos) << "the take ended before the stall\n"
                                                                  << FileText(errors);
  const Heard reference = ReadReference();
  if (reference.lost > 0.020 * kRate) {
    GTEST_SKIP() << "the server lost " << reference.lost << " frames for every client, the reference too";
  }
  // One file of exactly 8 s: the take's first 8 s, the signal from its first
  // frame in on, in order, each frame one the reference heard.
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(out)) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(files[0]), 44u + 8 * kRate * 4);
  const Continuity c = CheckContinuity(out);
  EXPECT_EQ(c.missing, 0u) << c;
  EXPECT_EQ(c.repeats, 0u) << c;
  EXPECT_GT(c.frames, uint64_t(7 * kRate)) << c;
  EXPECT_GT(reference.last, c.last) << "the signal ended before the take";
  uint64_t notHeard = 0;
  for (uint32_t n = c.first; n <= c.last; ++n) notHeard += n >= reference.has.size() || !reference.has[n];
  EXPECT_EQ(notHeard, 0u) << c;
}

TEST_F(LiveFaultTest, ASecondCtrlCGivesUpOnTheFramesNotWrittenAndCountsThemExactly) {
  int status = -1;
  StopAndCompareWithReference(
      kHalfSpeedDisk, 7,
      [](Child& rec) {
        rec.Signal(SIGINT);
        std::this_thread::sleep_for(1500ms);
        rec.Signal(SIGINT);
      },
      status);
  if (IsSkipped()) return;
  EXPECT_EQ(status, 3);
  EXPECT_GT(DroppedFrames(log), kRate / 10) << FileText(log);
  EXPECT_NE(FileText(errors).find("gave up on the last "), std::string::npos) << FileText(errors);
}

// ------------------------------------------------- a change of input

TEST_F(LiveFaultTest, AChangeOfTheDefaultSourceIsAnEventLineWithItsFramePosition) {
  auto rec = StartRecorder();
  auto player = PlaySignal(10);
  // The other source plays too, so that it delivers as soon as it is taken.
  server.Pactl("load-module module-null-sink sink_name=tapewell_other");
  Child other({"paplay", "-d", "tapewell_other", dir.file("signal.wav")}, dir.file("other.out"), dir.file("other.err"),
              server.ClientEnv());
  std::this_thread::sleep_for(3s);
  server.Pactl("set-default-source tapewell_other.monitor");
  ASSERT_TRUE(WaitForText(log, "input changed to tapewell_other.monitor\t", 5s)) << FileText(log);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Interrupt(*rec), 0) << FileText(log) << FileText(errors);
  // The line gives where the new input's frames start: within the take.
  const std::string text = FileText(log);
  const size_t at = text.find("input changed to tapewell_other.monitor\t");
  const size_t tab = text.find('\t', text.find('\t', at) + 1);
  const long long frame = std::atoll(text.c_str() + tab + 1);
  EXPECT_GT(frame, kRate / 2) << text;
  EXPECT_LT(frame, 10 * kRate) << text;
}

// ------------------------------------------------- start-up

TEST_F(LiveFaultTest, FrozenServerAtStartIsWaitedForWithAMessageAndSigintEndsItAtOnce) {
  server.Signal(SIGSTOP);
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv());
  ASSERT_TRUE(WaitForText(errors, "the sound server does not answer yet", 5s)) << FileText(errors);
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(rec.WaitFor(0ms), -1) << "gave up on a server that is there\n" << FileText(errors);
  rec.Signal(SIGINT);
  const int status = rec.WaitFor(1s);
  ASSERT_NE(status, -1) << "still running 1 s after SIGINT";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(FileText(errors).find("no audio input"), std::string::npos) << FileText(errors);
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

TEST_F(LiveFaultTest, FrozenServerAtStartIsRecordedFromOnceItAnswers) {
  server.Signal(SIGSTOP);
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv());
  ASSERT_TRUE(WaitForText(errors, "does not answer yet", 5s)) << FileText(errors);
  server.Signal(SIGCONT);
  ASSERT_TRUE(WaitForText(log, "REC - ", 10s)) << FileText(log) << FileText(errors);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Interrupt(rec), 0) << FileText(log) << FileText(errors);
}

// ------------------------------------------------- nohup

TEST_F(LiveFaultTest, NohupKeepsRecordingThroughSighup) {
  auto env = server.ClientEnv();
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, env, [] { signal(SIGHUP, SIG_IGN); });
  ASSERT_TRUE(WaitForText(log, "REC - ", 12s)) << FileText(log) << FileText(errors);
  rec.Signal(SIGHUP);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(rec.WaitFor(0ms), -1) << "a SIGHUP that nohup ignores ended the recording\n" << FileText(log);
  EXPECT_EQ(Interrupt(rec), 0) << FileText(log) << FileText(errors);
}

// ------------------------------------------------- closed standard descriptors

TEST_F(LiveFaultTest, ClosedStandardDescriptorsAreOpenedOnDevNullBeforeAnythingTakesThem) {
  // Started with 0, 1 and 2 closed, the sound server's connection (a pipe of
  // libpulse's) would otherwise take them, and the event lines would go into it.
  Child rec({kBinary, "-r", "48000", "-w", out}, log, errors, server.ClientEnv(), [] {
    close(0);
    close(1);
    close(2);
  });
  const auto end = Clock::now() + 12s;
  while (Clock::now() < end && std::filesystem::is_empty(out)) std::this_thread::sleep_for(20ms);
  ASSERT_FALSE(std::filesystem::is_empty(out)) << "no recording started";
  for (int fd = 0; fd <= 2; ++fd) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(
        "/proc/" + std::to_string(rec.pid()) + "/fd/" + std::to_string(fd), error);
    EXPECT_EQ(target.string(), "/dev/null") << "fd " << fd;
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Interrupt(rec), 0);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(out)) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  const auto bytes = ReadFileBytes(files[0]);
  ASSERT_GE(bytes.size(), 44u);
  EXPECT_EQ(ReadLe32(bytes, 40), bytes.size() - 44);
}

// ------------------------------------------------- without a sound server

class RecLimitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directory(out);
  }
  TempDir dir;
  std::string out = dir.path() + "/out";
};

// A WAV file of `frames` frames of digital silence that takes no disk space:
// its data is a hole.
void WriteSparseSilence(const std::string& path, uint32_t dataBytes) {
  WaveHeader header{};
  int32_t length = 0;
  WaveMakeHeader(header, kRate, 16, 2, dataBytes, length);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(&header), sizeof header);
  std::filesystem::resize_file(path, 44 + uint64_t{dataBytes});
}

TEST_F(RecLimitTest, ATrackListRewriteThatFailsIsSaidOnceAndTriedAgainAtTheNextTrackChange) {
  // Three bursts of sound, 1 s each, with 0.5 s of silence between them.
  const std::string input = dir.file("bursts.wav");
  ASSERT_EQ(WaveCreate(input.c_str(), kRate, 16, 2, 0), WAVE_OK);
  std::vector<int16_t> samples;
  for (int burst = 0; burst < 3; ++burst) {
    for (int i = 0; i < kRate; ++i) samples.insert(samples.end(), 2, int16_t(i % 2 ? 10000 : -10000));
    if (burst < 2) samples.insert(samples.end(), size_t(kRate), int16_t(0));
  }
  ASSERT_EQ(WavePutFrames(reinterpret_cast<const uint8_t*>(samples.data()), uint32_t(samples.size() / 2)), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  // The second rewrite (the first track's end) meets a full disk.
  const std::string cue = dir.file("t.cue");
  int status = -1;
  const std::string text =
      RunCommand("LD_PRELOAD=" + kShim + " TAPEWELL_SHIM_FAIL_TMP_OPEN=2 " + kBinary + " --input " + input +
                     " --fast -a -l 3 -w " + out + " --cue " + cue + " 2>&1 >" + dir.file("rec.out"),
                 &status);
  EXPECT_EQ(status, 0) << text;
  const std::string retry = "it is tried again at the next track change";
  ASSERT_NE(text.find(retry), std::string::npos) << text;
  EXPECT_EQ(text.find(retry), text.rfind(retry)) << "said more than once: " << text;
  const std::string sheet = FileText(cue);
  EXPECT_NE(sheet.find("TRACK 03"), std::string::npos) << sheet;
}

TEST_F(RecLimitTest, Fat32FileSizeLimitStartsTheNextTrackBeforeIt) {
  // Four gibibytes are written: in memory when it has room (seconds rather
  // than half a minute on a disk).
  std::error_code ec;
  const bool inMemory = std::filesystem::space("/dev/shm", ec).available > (uint64_t{6} << 30) && !ec;
  const TempDir place(inMemory ? "/dev/shm" : "");
  const std::string out = place.file("out");
  std::filesystem::create_directory(out);
  // As much input as a WAV file can state: more than one FAT32 file holds.
  const std::string input = place.file("long.wav");
  const uint32_t inputBytes = 0xFFFFFFFFu - 36 - 3;
  WriteSparseSilence(input, inputBytes);
  int status = -1;
  const std::string text = RunCommand("prlimit --fsize=4294967295 " + kBinary + " --input " + input +
                                          " --fast -w " + out + " 2>&1 >" + dir.file("rec.out"),
                                      &status);
  EXPECT_EQ(status, 0) << text << FileText(dir.file("rec.out"));
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(out)) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  if (files.size() == 1 && std::filesystem::file_size(files[0]) == 44 + (uint64_t{1} << 31)) {
    GTEST_SKIP() << "this build's --input replays at most 2 GiB of a file";
  }
  ASSERT_EQ(files.size(), 2u);
  uint64_t frames = 0;
  for (const auto& f : files) {
    const uint64_t size = std::filesystem::file_size(f);
    EXPECT_LE(size, 4294967295u) << f;
    std::ifstream in(f, std::ios::binary);
    WaveHeader h{};
    in.read(reinterpret_cast<char*>(&h), sizeof h);
    EXPECT_EQ(uint64_t{h.dataSize} + 44, size) << f;
    frames += h.dataSize / 4;
  }
  EXPECT_EQ(frames, inputBytes / 4);
  EXPECT_EQ(std::filesystem::file_size(files[0]), 44u + kWaveMaxDataBytes / 4 * 4);
}

}  // namespace
