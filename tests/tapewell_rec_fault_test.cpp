// tapewell-rec under faults, as a user meets them: a full disk at every
// point of a recording, a file size limit, a closed terminal or log pipe, an
// input that shrinks during its replay, and a sound server that stalls.
// Whatever happens, every frame that reached the disk stays readable under
// a header that states exactly those frames, and the outcome is told truly.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/rec_support.h"
#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile_state.h"

namespace {

using namespace recsupport;
using Clock = std::chrono::steady_clock;

// A small tmpfs mounted for one test (the test command runs as root).
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& path, const std::string& size) : path_(path) {
    std::filesystem::create_directories(path);
    mounted_ = mount("tapewell-test", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  /// Fills every free byte with a file of its own.
  void Fill() const {
    std::FILE* f = std::fopen((path_ + "/filler").c_str(), "wb");
    if (!f) return;
    std::vector<char> block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    std::fclose(f);
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

// Frames libsndfile reads from a file; -1 when it cannot open it.
int64_t SndfileFrames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return -1;
  sf_close(f);
  return info.frames;
}

// Checks that a track file is complete: its header states exactly the whole
// frames it holds, libsndfile agrees, and they are the input's frames from `from` on.
void ExpectCompleteTrack(const std::string& path, const Frames& input, size_t from, size_t frames) {
  const auto bytes = ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 44u) << path;
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), bytes.size() - 44) << path;
  EXPECT_EQ(testsupport::ReadLe32(bytes, 4), bytes.size() - 8) << path;
  EXPECT_EQ((bytes.size() - 44) / 4, frames) << path;
  EXPECT_EQ(SndfileFrames(path), int64_t(frames)) << path;
  const Frames got = ReadFrames(path);
  ASSERT_LE(from + got.size(), input.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), input.begin() + from)) << path;
}

std::vector<std::string> WavFilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& n : WavFiles(dir)) {
    if (n.size() > 4 && n.substr(n.size() - 4) == ".wav") names.push_back(n);
  }
  return names;
}

class RecFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directory(out);
  }
  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string input = dir.file("in.wav");
};

// ------------------------------------------------------------- a full disk

TEST_F(RecFaultTest, DiskFullAtCreateLeavesNoEmptyFileAndSaysWhy) {
  WriteWav(input, 44100, Signal(44100, {{6, 440}}));
  SmallDisk disk(out, "256k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
  disk.Fill();
  const std::string labels = input + ".txt";  // on a disk with room
  const RecRun r = RunRec("--input " + input + " --fast -w " + out + " --labels " + labels);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("failed to write file."), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("cannot create " + out + "/" + TodayName(1) + ": No space left on device"), std::string::npos)
      << r.err;
  EXPECT_TRUE(WavFilesIn(out).empty()) << "a file without a header opens nowhere";
}

TEST_F(RecFaultTest, DiskFullMidBlockKeepsEveryFlushedFrameAndFails) {
  const Frames signal = Signal(44100, {{6, 440}});
  WriteWav(input, 44100, signal);
  SmallDisk disk(out, "900k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
  const std::string labels = input + ".txt";  // on a disk with room
  const RecRun r = RunRec("--input " + input + " --fast -w " + out + " --labels " + labels);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("failed to write file."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\n" + TodayName(2).substr(0, 8) + "\t"), std::string::npos) << "no success line";
  EXPECT_NE(r.err.find("cannot write " + out + "/" + TodayName(1) + ": No space left on device"), std::string::npos)
      << r.err;
  const auto names = WavFilesIn(out);
  ASSERT_EQ(names.size(), 1u);
  const std::string path = out + "/" + names[0];
  const size_t held = (ReadFileBytes(path).size() - 44) / 4;
  EXPECT_GT(held, 102400u);  // at least the first block
  EXPECT_LT(held, signal.size());
  ExpectCompleteTrack(path, signal, 0, held);
  // The track the failure ended is listed, with the frames its file holds.
  char line[128];
  std::snprintf(line, sizeof line, "0.000000\t%zu.%06zu\t%s\n", held / 44100, held % 44100 * 1000000 / 44100,
                names[0].c_str());
  EXPECT_EQ(FileText(labels), line);
}

TEST_F(RecFaultTest, AWideTrackMeetingAFullDiskEndsWithItsLastWholeFrameAndSaysWhy) {
  // 24-bit stereo (6 bytes a frame): a write cut short by the disk leaves part of a frame.
  std::vector<uint8_t> data;
  for (auto [l, r] : Signal(44100, {{3, 440}})) {
    for (int16_t s : {l, r}) {
      const uint32_t v = static_cast<uint32_t>(s) << 8 | 0x5A;
      for (int b = 0; b < 3; ++b) data.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
  }
  testsupport::WriteFileBytes(input, wavbytes::Riff({wavbytes::Fmt(44100, 24, 2), wavbytes::Chunk("data", data)}));
  SmallDisk disk(out, "300k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs (needs root)";
  const RecRun r = RunRec("--input " + input + " --fast -w " + out);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("cannot write " + out + "/" + TodayName(1) + ": No space left on device"), std::string::npos)
      << r.err;
  const std::vector<uint8_t> file = ReadFileBytes(out + "/" + TodayName(1));
  ASSERT_GT(file.size(), 44u);
  const size_t held = file.size() - 44;
  EXPECT_EQ(held % 6, 0u);
  EXPECT_EQ(testsupport::ReadLe32(file, 40), held);
  EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), data.begin())) << "the input's first frames";
}

// A file size limit (ulimit -f, in KiB) fails the writes past it precisely.
RecRun RunRecLimited(int kib, const std::string& args) {
  return RunRec(args, "bash -c 'ulimit -f " + std::to_string(kib) + "; exec \"$0\" \"$@\"'");
}

TEST_F(RecFaultTest, WriteFailingAtCloseIsReportedWithExactlyTheFramesOnDisk) {
  const Frames signal = Signal(44100, {{3, 440}});
  WriteWav(input, 44100, signal);
  // 404 KiB: the first 409,600-byte block fits, the rest (written at the stop) does not.
  const RecRun r = RunRecLimited(404, "--input " + input + " --fast -w " + out);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("failed to write file."), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("cannot write " + out + "/" + TodayName(1)), std::string::npos) << r.err;
  ExpectCompleteTrack(out + "/" + TodayName(1), signal, 0, (404 * 1024 - 44) / 4);
}

TEST_F(RecFaultTest, WriteFailingAtATrackChangeEndsTheRecording) {
  const Frames signal = Signal(44100, {{1, 440}, {0.5, 0}, {1, 880}});
  WriteWav(input, 44100, signal);
  // Track 1 (1.5 s) is staged whole and written when it is completed: 40 KiB of it fit.
  const RecRun r = RunRecLimited(40, "--input " + input + " --fast -a -l 2 -w " + out);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("failed to write file."), std::string::npos) << r.out;
  EXPECT_EQ(WavFilesIn(out), std::vector<std::string>{TodayName(1)}) << "the recording went on after a loss";
  ExpectCompleteTrack(out + "/" + TodayName(1), signal, 0, (40 * 1024 - 44) / 4);
}

// ------------------------------------------------ terminals, pipes, inputs

// Starts tapewell-rec with `args` through the shell; returns its pid.
pid_t StartRec(const std::string& shellCommand) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    execl("/bin/bash", "bash", "-c", shellCommand.c_str(), nullptr);
    _exit(127);
  }
  return pid;
}

TEST_F(RecFaultTest, ClosedTerminalStopsCleanlyWithTheFileCompleted) {
  const Frames signal = Signal(44100, {{20, 440}});
  WriteWav(input, 44100, signal);
  ChildGuard rec(StartRec("exec " + kBinary + " --input " + input + " --realtime -w " + out + " </dev/null >/dev/null 2>&1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(rec.pid(), SIGHUP);
  const int status = rec.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto names = WavFilesIn(out);
  ASSERT_EQ(names.size(), 1u);
  const size_t held = (ReadFileBytes(out + "/" + names[0]).size() - 44) / 4;
  EXPECT_GT(held, 0u);
  ExpectCompleteTrack(out + "/" + names[0], signal, 0, held);
}

TEST_F(RecFaultTest, ClosedLogPipeDoesNotEndTheRecording) {
  const Frames signal = Signal(44100, {{1, 440}, {0.4, 0}, {1, 880}});
  WriteWav(input, 44100, signal);
  int status = -1;
  const std::string result = RunCommand("bash -c '" + kBinary + " --input " + input + " --realtime -a -l 2 -w " + out +
                                            " 2>/dev/null | head -n 1 >/dev/null; echo ${PIPESTATUS[0]}'",
                                        &status);
  EXPECT_EQ(result, "0\n") << "tapewell-rec's exit status";
  const auto names = WavFilesIn(out);
  ASSERT_EQ(names.size(), 2u);
  const size_t first = (ReadFileBytes(out + "/" + names[0]).size() - 44) / 4;
  ExpectCompleteTrack(out + "/" + names[0], signal, 0, first);
  ExpectCompleteTrack(out + "/" + names[1], signal, first, signal.size() - first);
}

TEST_F(RecFaultTest, InputCutShortDuringTheReplayIsReported) {
  WriteWav(input, 44100, Signal(44100, {{3, 440}}));
  const std::string err = dir.file("err");
  ChildGuard rec(StartRec("exec " + kBinary + " --input " + input + " --realtime -w " + out + " </dev/null >/dev/null 2>" + err));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(truncate(input.c_str(), 44 + 4 * 22050), 0);
  const int status = rec.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(FileText(err).find("was cut short while it was replayed"), std::string::npos) << FileText(err);
}

// ------------------------------------- a stalled sound server, via PortAudio
// (the sound-server backend's own stall tests are in live_capture_test.cpp)

class PortAudioStallTest : public RecFaultTest {
 protected:
  void SetUp() override {
    RecFaultTest::SetUp();
    if (!std::getenv("TAPEWELL_PULSE")) GTEST_SKIP() << "no private PulseAudio server (the test command starts one)";
    sink_ = RunCommand("pactl get-default-sink");
    while (!sink_.empty() && sink_.back() == '\n') sink_.pop_back();
    ASSERT_FALSE(sink_.empty());
  }
  void TearDown() override { Suspend(false); }
  void Suspend(bool on) {
    if (!sink_.empty()) RunCommand("pactl suspend-sink " + sink_ + (on ? " 1" : " 0"));
  }
  // Waits for the recorder to end by itself; the seconds it took, or -1 after `limit`.
  static double WaitFor(ChildGuard& rec, double limit, int& status) {
    const auto start = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - start).count() < limit) {
      if (waitpid(rec.pid(), &status, WNOHANG) == rec.pid()) {
        rec.Forget();
        return std::chrono::duration<double>(Clock::now() - start).count();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  std::string Start(const std::string& name) {
    const std::string log = dir.file(name);
    rec_ = std::make_unique<ChildGuard>(StartRec("ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 TAPEWELL_AUDIO=portaudio exec " + kBinary +
                                                 " -w " + out + " </dev/null >" + log + " 2>" + log + ".err"));
    return log;
  }
  // True once the recorder's log shows the capture delivering (the null
  // sink's monitor is silent, which lights the indicator), within 15 s.
  static bool WaitUntilCapturing(const std::string& log) {
    for (int i = 0; i < 150; ++i) {
      if (FileText(log).find("Silent") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  std::string sink_;
  std::unique_ptr<ChildGuard> rec_;
};

TEST_F(PortAudioStallTest, SourceStalledFromTheStartEndsAsALostDevice) {
  Suspend(true);
  const std::string log = Start("before.out");
  int status = 0;
  const double took = WaitFor(*rec_, 20, status);
  ASSERT_GE(took, 0) << "the recorder hung on a stalled source";
  EXPECT_LT(took, 14);  // 10 s before the first frames, and the stop
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(FileText(log).find("failed to record sound."), std::string::npos) << FileText(log);
  EXPECT_NE(FileText(log + ".err").find("no frames"), std::string::npos) << FileText(log + ".err");
  for (const auto& n : WavFilesIn(out)) EXPECT_EQ(SndfileFrames(out + "/" + n), 0) << n;
}

TEST_F(PortAudioStallTest, SourceStallingMidwayEndsAsALostDeviceWithTheFileComplete) {
  const std::string log = Start("during.out");
  ASSERT_TRUE(WaitUntilCapturing(log)) << "the capture never delivered";
  Suspend(true);
  int status = 0;
  const double took = WaitFor(*rec_, 15, status);
  ASSERT_GE(took, 0) << "the recorder hung on a stalled source";
  EXPECT_LT(took, 4.5);  // 2 s without frames, and the stop
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(FileText(log).find("failed to record sound."), std::string::npos) << FileText(log);
  const auto names = WavFilesIn(out);
  ASSERT_EQ(names.size(), 1u);
  const auto bytes = ReadFileBytes(out + "/" + names[0]);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), bytes.size() - 44);
  EXPECT_EQ(SndfileFrames(out + "/" + names[0]), int64_t(bytes.size() - 44) / 4);
}

TEST_F(PortAudioStallTest, InterruptDuringAStallCompletesTheFileWithinTwoSeconds) {
  const std::string log = Start("interrupt.out");
  ASSERT_TRUE(WaitUntilCapturing(log)) << "the capture never delivered";
  Suspend(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(rec_->pid(), SIGINT);
  int status = 0;
  const double took = WaitFor(*rec_, 10, status);
  ASSERT_GE(took, 0) << "Stop waited on the stalled server";
  EXPECT_LT(took, 2.0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto names = WavFilesIn(out);
  ASSERT_EQ(names.size(), 1u);
  const auto bytes = ReadFileBytes(out + "/" + names[0]);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 40), bytes.size() - 44);
}

}  // namespace
