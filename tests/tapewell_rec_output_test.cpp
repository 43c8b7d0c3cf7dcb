// What tapewell-rec tells the user and scripts, run as the real binary: the
// progress line on a terminal (never wrapping, at any width) and in a file,
// the event lines' positions, the CUE sheet and label file (also after
// kill -9), the dry run against a real run, and a terminal that stops taking
// output (Ctrl-S) while a live recording runs.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/rec_support.h"
#include "wavefile/wavefile_state.h"

namespace {

using namespace recsupport;
using Clock = std::chrono::steady_clock;

// tapewell-rec on a pseudo-terminal `columns` wide: standard input and error
// (and standard output, unless `stdoutFile` is given) are the terminal. A
// thread keeps reading what the terminal shows.
class PtyRecorder {
 public:
  PtyRecorder(const std::vector<std::string>& args, int columns, const std::string& stdoutFile = "") {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      if (!stdoutFile.empty()) {
        const int fd = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    reader_ = std::thread([this] {
      char buffer[4096];
      for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO: every end of the terminal is closed
        std::lock_guard lock(mutex_);
        shown_.append(buffer, static_cast<size_t>(n));
      }
    });
  }
  ~PtyRecorder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) reader_.join();
    close(master_);
  }
  pid_t pid() const { return pid_; }
  /// Everything the terminal showed so far.
  std::string Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  /// Types `keys` on the terminal.
  void Type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  void Resize(int columns) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    ioctl(master_, TIOCSWINSZ, &size);
  }
  /// Waits for the program to end; returns its wait status. The terminal's last output is read.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    reader_.join();
    return status;
  }
  bool WaitFor(const std::string& text, double seconds) {
    const auto until = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (Clock::now() < until) {
      if (Shown().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string shown_;
};

// The columns a text takes (the tests' texts hold no wide characters).
size_t Columns(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// What a terminal shows, cut where the cursor goes back to the line's start
// or to a new line, with the erase-to-end-of-line sequences taken out.
std::vector<std::string> Segments(std::string shown) {
  for (size_t at; (at = shown.find("\033[K")) != std::string::npos;) shown.erase(at, 3);
  std::vector<std::string> segments;
  std::string current;
  for (char c : shown) {
    if (c == '\r' || c == '\n') {
      if (!current.empty()) segments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) segments.push_back(current);
  return segments;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
    fields.push_back(line.substr(from, tab - from));
  }
  fields.push_back(line.substr(from));
  return fields;
}

// A track as a CUE sheet states it.
struct CueTrack {
  std::string file;
  int number = 0;
  int64_t firstFrame = -1, frames = -1;
  bool index = false;
};

std::vector<CueTrack> ParseCue(const std::string& text, int* rate) {
  std::vector<CueTrack> tracks;
  std::smatch m;
  for (const std::string& line : Lines(text)) {
    if (std::regex_match(line, m, std::regex(R"re(FILE "(.*)" WAVE)re"))) {
      tracks.push_back({m[1], 0, -1, -1, false});
    } else if (std::regex_match(line, m, std::regex(R"(  TRACK (\d\d) AUDIO)")) && !tracks.empty()) {
      tracks.back().number = std::stoi(m[1]);
    } else if (std::regex_match(line, m, std::regex(R"(    REM FIRST_FRAME (\d+))")) && !tracks.empty()) {
      tracks.back().firstFrame = std::stoll(m[1]);
    } else if (std::regex_match(line, m, std::regex(R"(    REM FRAMES (\d+))")) && !tracks.empty()) {
      tracks.back().frames = std::stoll(m[1]);
    } else if (line == "    INDEX 01 00:00:00" && !tracks.empty()) {
      tracks.back().index = true;
    } else if (std::regex_match(line, m, std::regex(R"(REM RATE (\d+))"))) {
      *rate = std::stoi(m[1]);
    }
  }
  return tracks;
}

// A WAV file's frames as its completed header states them, or -1 when the
// header does not agree with the file's length (a file never completed).
int64_t CompletedFrames(const std::string& path) {
  const auto bytes = ReadFileBytes(path);
  if (bytes.size() < 44) return -1;
  const uint32_t data = testsupport::ReadLe32(bytes, 40);
  return data + 44 == bytes.size() && testsupport::ReadLe32(bytes, 4) == data + 36 ? int64_t{data} / 4 : -1;
}

class RecOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directories(out);
  }
  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string input = dir.file("in.wav");
};

}  // namespace

TEST_F(RecOutputTest, ProgressOnATerminalFitsItsWidthAndNeverWraps) {
  WriteWav(input, 44100, Signal(44100, {{2.5, 440}}));
  // A folder long enough that the full path alone is wider than 80 columns.
  const std::string folder = dir.path() + "/recordings-of-the-evening-concert/second-half-with-the-encores";
  std::filesystem::create_directories(folder);
  for (int columns : {80, 40}) {
    SCOPED_TRACE(columns);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string events = dir.file("events" + std::to_string(columns));
    PtyRecorder rec({kBinary, "--input", input, "--realtime", "-w", folder}, columns, events);
    ASSERT_TRUE(WIFEXITED(rec.Wait()));
    const std::string shown = rec.Shown();
    // Standard error holds only the progress line, redrawn in place: no line ever scrolls.
    EXPECT_EQ(shown.find('\n'), std::string::npos) << shown;
    const auto segments = Segments(shown);
    ASSERT_GE(segments.size(), 5u) << shown;
    for (const auto& s : segments) {
      EXPECT_LT(Columns(s), size_t(columns)) << "'" << s << "'";
      EXPECT_NE(s.find("track 1"), std::string::npos) << s;
    }
    // At 80 columns the line shows the end of the path: the file's name.
    if (columns == 80) {
      EXPECT_NE(segments.back().find("…"), std::string::npos) << segments.back();
      EXPECT_NE(segments.back().find(TodayName(1)), std::string::npos) << segments.back();
    }
    // The event lines went to standard output, untouched by the progress line.
    const std::string lines = FileText(events);
    EXPECT_EQ(lines.find('\r'), std::string::npos) << lines;
    EXPECT_NE(lines.find("REC - " + folder + "/" + TodayName(1) + "\t00:00:00.000\t0\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("frames dropped: 0\n"), std::string::npos) << lines;
  }
}

TEST_F(RecOutputTest, ProgressFollowsAResizedTerminal) {
  WriteWav(input, 44100, Signal(44100, {{3, 440}}));
  PtyRecorder rec({kBinary, "--input", input, "--realtime", "-w", out}, 120, dir.file("events"));
  ASSERT_TRUE(rec.WaitFor("track 1", 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const size_t before = rec.Shown().size();
  rec.Resize(40);
  ASSERT_TRUE(WIFEXITED(rec.Wait()));
  const std::string shown = rec.Shown();
  const auto wide = Segments(shown.substr(0, before));
  ASSERT_FALSE(wide.empty());
  EXPECT_GT(Columns(wide.back()), 40u) << "the line used the wider terminal: " << wide.back();
  // A line or two may be under way while the terminal changes; the rest fit 40 columns.
  const auto narrow = Segments(shown.substr(before));
  ASSERT_GE(narrow.size(), 5u) << shown;
  for (size_t i = 2; i < narrow.size(); ++i) EXPECT_LT(Columns(narrow[i]), 40u) << narrow[i];
}

TEST_F(RecOutputTest, ProgressToAFileIsAPlainLineEveryFewSecondsWhenAskedFor) {
  WriteWav(input, 44100, Signal(44100, {{6, 440}}));
  const RecRun asked = RunRec("--input " + input + " --realtime --progress -w " + out);
  ASSERT_EQ(asked.status, 0) << asked.err;
  EXPECT_EQ(asked.err.find('\r'), std::string::npos) << asked.err;
  EXPECT_EQ(asked.err.find('\033'), std::string::npos) << asked.err;
  const auto lines = Lines(asked.err);
  ASSERT_GE(lines.size(), 2u) << asked.err;
  ASSERT_LE(lines.size(), 3u) << "every few seconds, not at every update: " << asked.err;
  const std::regex status(R"(^00:00:0\d  track 1  L .* dBFS  /.*\.wav  dropped 0$)");
  for (const auto& l : lines) EXPECT_TRUE(std::regex_search(l, status)) << l;
  EXPECT_NE(lines.back().find(out + "/" + TodayName(1)), std::string::npos) << lines.back();
  // The progress never mixes with the event lines.
  EXPECT_EQ(asked.out.find("track 1"), std::string::npos) << asked.out;

  // Not asked for, or silenced with -q: standard error stays empty.
  const RecRun plain = RunRec("--input " + input + " --fast -w " + out);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  PtyRecorder quiet({kBinary, "--input", input, "--fast", "-q", "-w", out}, 80, dir.file("events"));
  ASSERT_TRUE(WIFEXITED(quiet.Wait()));
  EXPECT_EQ(quiet.Shown(), "");
}

TEST_F(RecOutputTest, EventLinesGiveTheTracksRealFirstFrames) {
  const Frames signal =
      Signal(44100, {{1.3, 440}, {0.5, 0}, {0.7, 880}, {0.25, 0}, {1.1, 300}, {0.4, 0}, {0.2, 500}});
  WriteWav(input, 44100, signal);
  const RecRun r = RunRec("--input " + input + " --fast -a -l 3 -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 3u);
  // Each track's REC line, and the indicator's clearing before it, sit at the track's first frame.
  std::map<std::string, int64_t> recAt;
  std::vector<int64_t> clearedAt;
  for (const auto& line : Lines(r.out)) {
    const auto f = Fields(line);
    if (f.size() != 3) continue;
    const int64_t at = std::stoll(f[2]);
    char time[32];
    std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(at / 44100 / 3600),
                  static_cast<long long>(at / 44100 / 60 % 60), static_cast<long long>(at / 44100 % 60),
                  static_cast<long long>(at % 44100 * 1000 / 44100));
    EXPECT_EQ(f[1], time) << line;
    if (f[0].rfind("REC - ", 0) == 0) recAt[f[0].substr(6)] = at;
    if (f[0] == "-") clearedAt.push_back(at);
  }
  int64_t first = 0;
  std::vector<int64_t> splits;
  for (const auto& n : names) {
    ASSERT_EQ(recAt.count(out + "/" + n), 1u) << r.out;
    EXPECT_EQ(recAt[out + "/" + n], first) << n;
    if (first > 0) splits.push_back(first);
    first += static_cast<int64_t>(ReadFrames(out + "/" + n).size());
  }
  EXPECT_EQ(first, int64_t(signal.size()));
  // The silence of 0.25 s cleared the indicator without a split, at the first sounding frame after it.
  ASSERT_EQ(clearedAt.size(), 3u) << r.out;
  ASSERT_EQ(splits.size(), 2u);
  auto frames = [](double seconds) { return int64_t{static_cast<int>(seconds * 44100)}; };  // as Signal counts
  EXPECT_EQ(splits[0], frames(1.3) + frames(0.5));
  EXPECT_EQ(clearedAt[0], splits[0]);
  EXPECT_EQ(clearedAt[1], frames(1.3) + frames(0.5) + frames(0.7) + frames(0.25));
  EXPECT_EQ(clearedAt[2], splits[1]);
}

TEST_F(RecOutputTest, CueSheetAndLabelFileListTheTracksWritten) {
  const Frames signal = Signal(44100, {{1.5, 440}, {0.5, 0}, {2, 880}, {0.5, 0}, {1, 300}, {0.6, 0}, {0.8, 500}});
  WriteWav(input, 44100, signal);
  const std::string cue = out + "/tracks.cue", labels = dir.file("tracks.txt");
  const RecRun r = RunRec("--input " + input + " --fast -a -l 3 -w " + out + " --cue " + cue + " --labels " + labels);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> wavs;
  for (const auto& n : WavFiles(out)) {
    if (n.size() > 4 && n.substr(n.size() - 4) == ".wav") wavs.push_back(n);
  }
  ASSERT_EQ(wavs.size(), 4u);
  int rate = 0;
  const auto tracks = ParseCue(FileText(cue), &rate);
  EXPECT_EQ(rate, 44100);
  ASSERT_EQ(tracks.size(), wavs.size()) << FileText(cue);
  const auto labelLines = Lines(FileText(labels));
  ASSERT_EQ(labelLines.size(), wavs.size()) << FileText(labels);
  int64_t sum = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    SCOPED_TRACE(wavs[i]);
    EXPECT_EQ(tracks[i].file, wavs[i]) << "a file beside the sheet is named alone";
    EXPECT_EQ(tracks[i].number, int(i + 1));
    EXPECT_TRUE(tracks[i].index);
    EXPECT_EQ(tracks[i].firstFrame, sum);
    EXPECT_EQ(tracks[i].frames, CompletedFrames(out + "/" + wavs[i]));
    const auto f = Fields(labelLines[i]);
    ASSERT_EQ(f.size(), 3u) << labelLines[i];
    EXPECT_NEAR(std::stod(f[0]), sum / 44100.0, 1e-6);
    EXPECT_NEAR(std::stod(f[1]), (sum + tracks[i].frames) / 44100.0, 1e-6);
    EXPECT_EQ(f[2], wavs[i]);
    sum += tracks[i].frames;
  }
  EXPECT_EQ(sum, int64_t(signal.size()));
  // A sheet in another folder names the tracks by their full paths.
  const std::string elsewhere = dir.file("elsewhere.cue");
  std::filesystem::remove_all(out);
  std::filesystem::create_directory(out);
  ASSERT_EQ(RunRec("--input " + input + " --fast -a -l 3 -w " + out + " --cue " + elsewhere).status, 0);
  const auto far = ParseCue(FileText(elsewhere), &rate);
  ASSERT_EQ(far.size(), 4u);
  EXPECT_EQ(far[0].file, out + "/" + TodayName(1));
}

TEST_F(RecOutputTest, TrackListIsTrueUpToTheLastCompletedTrackAfterKill9) {
  // A track about every 1.1 s, replayed in real time, killed in the middle.
  std::vector<std::pair<double, double>> pattern;
  for (int i = 0; i < 8; ++i) pattern.insert(pattern.end(), {{0.8, 440.0 + 100 * i}, {0.3, 0}});
  WriteWav(input, 44100, Signal(44100, pattern));
  const std::string cue = dir.file("t.cue"), labels = dir.file("t.txt");
  std::fflush(nullptr);
  ChildGuard rec(fork());
  if (rec.pid() == 0) {
    const int devnull = open("/dev/null", O_RDWR);
    for (int fd : {0, 1, 2}) dup2(devnull, fd);
    execl(kBinary.c_str(), kBinary.c_str(), "--input", input.c_str(), "--realtime", "-a", "-l", "2", "-w", out.c_str(), "--cue",
          cue.c_str(), "--labels", labels.c_str(), nullptr);
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(4000));
  kill(rec.pid(), SIGKILL);
  rec.Wait();
  int rate = 0;
  const auto tracks = ParseCue(FileText(cue), &rate);
  const auto labelLines = Lines(FileText(labels));
  const auto names = WavFiles(out);
  ASSERT_GE(tracks.size(), 2u) << FileText(cue);
  // Every completed track is listed; the one open at the kill is not.
  ASSERT_EQ(names.size(), tracks.size() + 1) << FileText(cue);
  ASSERT_EQ(labelLines.size(), tracks.size());
  int64_t sum = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    EXPECT_EQ(tracks[i].file, out + "/" + names[i]) << "a file in another folder is named by its full path";
    EXPECT_EQ(tracks[i].firstFrame, sum);
    EXPECT_EQ(tracks[i].frames, CompletedFrames(out + "/" + names[i]));
    EXPECT_EQ(Fields(labelLines[i]).back(), names[i]);
    sum += tracks[i].frames;
  }
}

TEST_F(RecOutputTest, DryRunFindsTheRealRunsTracksAndSaysWhySilencesDidNotSplit) {
  const int rate = 44100;
  Frames signal = Signal(rate, {{1, 440}, {0.5, 0}, {1, 880}, {0.2, 0}, {1, 300}});
  // A second of quiet noise (moving by up to 200): still at level 8, not at level 7.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> noise(-100, 100);
  for (int i = 0; i < rate; ++i) signal.push_back({int16_t(noise(random)), int16_t(noise(random))});
  const Frames rest = Signal(rate, {{1, 500}, {0.4, 0}, {0.5, 600}});
  signal.insert(signal.end(), rest.begin(), rest.end());
  WriteWav(input, rate, signal);

  const std::string dry = dir.path() + "/dry";
  std::filesystem::create_directory(dry);
  const RecRun d = RunRec("--input " + input + " --dry-run -a -l 3 -w " + dry);
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_TRUE(WavFiles(dry).empty()) << "a dry run writes no file";
  EXPECT_EQ(d.out.find("REC - "), std::string::npos) << d.out;
  const RecRun real = RunRec("--input " + input + " --fast -a -l 3 -w " + out);
  ASSERT_EQ(real.status, 0) << real.err;
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 3u);

  const std::regex track(R"(track (\d+)  start (\S+) \(frame (\d+)\)  length (\S+) \((\d+) frames\)  started by (.*))");
  std::vector<std::smatch> found;
  std::vector<std::string> lines = Lines(d.out), reasons;
  for (const auto& line : lines) {
    std::smatch m;
    if (std::regex_match(line, m, track)) {
      found.push_back(m);
    } else if (line.find("did not split") != std::string::npos) {
      reasons.push_back(line);
    }
  }
  ASSERT_EQ(found.size(), names.size()) << d.out;
  int64_t first = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const int64_t frames = static_cast<int64_t>(ReadFrames(out + "/" + names[i]).size());
    EXPECT_EQ(std::stoll(found[i][3]), first) << found[i][0];
    EXPECT_EQ(std::stoll(found[i][5]), frames) << found[i][0];
    first += frames;
  }
  EXPECT_EQ(first, int64_t(signal.size()));
  EXPECT_EQ(found[0][6], "the start of the recording");
  EXPECT_EQ(found[1][6], "the first sounding frame after 0.500 s of silence");
  EXPECT_EQ(found[2][6], "the first sounding frame after 0.400 s of silence  ends at the input's end");
  ASSERT_EQ(reasons.size(), 2u) << d.out;
  EXPECT_NE(reasons[0].find("of 0.200 s did not split: 0.100 s shorter than the split length 0.300 s"),
            std::string::npos)
      << reasons[0];
  EXPECT_NE(reasons[1].find("at 00:00:03.700 (frame 163170) of 1.000 s did not split"), std::string::npos)
      << reasons[1];
  EXPECT_NE(reasons[1].find("threshold 128 of level 7 (-p); -p 8 would split it"), std::string::npos) << reasons[1];
}

TEST_F(RecOutputTest, ATerminalThatStopsTakingOutputLosesNoAudio) {
  if (!std::getenv("TAPEWELL_PULSE")) {
    GTEST_SKIP() << "no private PulseAudio server (the test command starts one)";
  }
  // Keep the null sink running, so that its monitor delivers frames.
  std::fflush(nullptr);
  ChildGuard player(fork());
  if (player.pid() == 0) {
    execl("/bin/sh", "sh", "-c", "exec pacat --playback --format=s16le --channels=2 --rate=48000 </dev/zero",
          nullptr);
    _exit(127);
  }
  // Event lines and progress both on the terminal, as a user runs it.
  PtyRecorder rec({kBinary, "-r", "48000", "-w", out}, 80);
  ASSERT_TRUE(rec.WaitFor("REC - ", 15)) << rec.Shown();
  const auto started = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  rec.Type("\x13");  // Ctrl-S: the terminal takes no more output
  std::this_thread::sleep_for(std::chrono::seconds(15));
  rec.Type("\x11");  // Ctrl-Q
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  kill(rec.pid(), SIGINT);
  const int status = rec.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << rec.Shown();
  EXPECT_NE(rec.Shown().find("frames dropped: 0"), std::string::npos) << rec.Shown();
  int64_t frames = 0;
  for (const auto& n : WavFiles(out)) frames += static_cast<int64_t>(ReadFrames(out + "/" + n).size());
  // Start-up and the server's latency at the stop take up to about 1.5 s in a
  // run without a stall; a blocked recorder loses all of the 15 s but the ring's 1.4 s.
  EXPECT_GE(frames, static_cast<int64_t>((seconds - 3.0) * 48000)) << "recorded " << frames / 48000.0 << " s of "
                                                                    << seconds << " s";
}

TEST_F(RecOutputTest, ListingNoInputExitsOneWithTheReason) {
  if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) GTEST_SKIP() << "pulseaudio is not installed";
  // A private sound server that answers but has no sink and no source at all.
  const std::string d = dir.path();
  std::ofstream(d + "/default.pa") << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << d
                                   << "/native\n";
  const std::string env = "XDG_RUNTIME_DIR=" + d + " PULSE_RUNTIME_PATH=" + d + "/pulse PULSE_STATE_PATH=" + d +
                          "/state PULSE_SERVER=unix:" + d + "/native";
  int status = -1;
  const std::string listed = RunCommand(
      env + " sh -c 'pulseaudio --daemonize=no --system=false --exit-idle-time=-1 -n -F " + d +
          "/default.pa --log-target=file:" + d + "/log & server=$!; "
          "for i in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done; " +
          kBinary + " --list-devices 2>" + d + "/err; echo \"status $?\"; kill $server; wait $server'",
      &status);
  EXPECT_NE(listed.find("status 1\n"), std::string::npos) << listed << FileText(d + "/err") << FileText(d + "/log");
  EXPECT_EQ(FileText(d + "/err"), "tapewell-rec: the sound server has no input (is a sound server running?)\n");
}

TEST_F(RecOutputTest, TheFirstLanguageOfLANGUAGEDecidesAsInTheWindow) {
  const std::string japanese = "--rate は 32000、44100、48000 のいずれかにしてください: 1";
  EXPECT_NE(RunRec("--rate 1", "LC_ALL= LC_MESSAGES= LANG=C.UTF-8 LANGUAGE=ja:en").err.find(japanese),
            std::string::npos);
  EXPECT_NE(RunRec("--rate 1", "LC_ALL= LC_MESSAGES= LANG=C.UTF-8 LANGUAGE=fr:ja").err.find("--rate must be"),
            std::string::npos);
  EXPECT_NE(RunRec("--rate 1", "LC_ALL= LC_MESSAGES= LANG=ja_JP.UTF-8 LANGUAGE=").err.find(japanese),
            std::string::npos);
}
