// tapewell-rec end to end: the real binary splitting generated files,
// answering bad options, taking signals, and recording a live input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/help_layout.h"
#include "recorder/track_naming.h"
#include "tests/rec_support.h"
#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

using namespace recsupport;

class TapewellRecTest : public ::testing::Test {
 protected:
  void SetUp() override { g_waveFileState = WaveFileState{}; }
  // Writes `signal` as the input and starts tapewell-rec replaying it paced
  // into a fresh `out`, standard input and output on /dev/null. Returns the child.
  pid_t StartPacedReplay(const Frames& signal) {
    WriteWav(input, 44100, signal);
    std::filesystem::create_directory(out);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const int devnull = open("/dev/null", O_RDWR);
      dup2(devnull, 0);
      dup2(devnull, 1);
      execl(kBinary.c_str(), kBinary.c_str(), "--input", input.c_str(), "--realtime", "-w", out.c_str(), nullptr);
      _exit(127);
    }
    return pid;
  }

  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string input = dir.file("in.wav");
};

}  // namespace

TEST_F(TapewellRecTest, OfflineSplitKeepsEveryFrame) {
  const Frames signal = Signal(44100, {{2, 440}, {0.5, 0}, {1.5, 880}, {0.3, 0}, {1, 300}, {0.05, 0}, {1, 500}});
  WriteWav(input, 44100, signal);
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " --fast -a -l 2 -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  // Silences of 0.5 s and 0.3 s split at length 0.2 s; the 0.05 s one does not.
  const auto names = WavFiles(out);
  ASSERT_EQ(names, (std::vector<std::string>{TodayName(1), TodayName(2), TodayName(3)}));
  Frames joined;
  for (const auto& n : names) {
    const auto f = ReadFrames(out + "/" + n);
    joined.insert(joined.end(), f.begin(), f.end());
  }
  EXPECT_TRUE(joined == signal);
  EXPECT_NE(r.out.find("REC - " + out + "/" + TodayName(1)), std::string::npos);
  // Each event line is the text, a tab, the recording time, a tab and the frame position.
  EXPECT_NE(r.out.find("\nSilent\t00:00:02.099\t92609\n-\t00:00:02.500\t110250\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("frames dropped: 0"), std::string::npos);
  // After the last track nothing names a file that was never written, and the
  // indicator says nothing once the take has ended.
  EXPECT_EQ(r.out.find(TodayName(4).substr(0, 8)), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\nREC - " + out + "/" + TodayName(3) + "\t00:00:04.300\t189630\nframes dropped: 0\n"))
      << r.out;
}

TEST_F(TapewellRecTest, TenMinutesSplitAsFastAsTheyGoAndKeepEveryFrame) {
  // 10 minutes at 44.1 kHz: sound with a 0.4 s digital silence every 37 s, and
  // a length that ends in the middle of a capture buffer. Without --realtime
  // the input is not paced: it ends well within RunRec's time limit.
  const int rate = 44100;
  const size_t total = size_t{600} * rate + 1234;
  Frames signal(total);
  for (size_t i = 0; i < total; ++i) {
    const bool silent = (i % (37 * rate)) >= size_t(36.6 * rate);
    const int16_t v = silent ? 0 : static_cast<int16_t>(((i * 2654435761u) >> 7) & 0x3FFF);
    signal[i] = {v, static_cast<int16_t>(-v)};
  }
  WriteWav(input, rate, signal);
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " -a -l 3 -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto names = WavFiles(out);
  EXPECT_EQ(names.size(), 17u);  // 16 silences end inside the file
  size_t at = 0;
  for (const auto& n : names) {
    const auto f = ReadFrames(out + "/" + n);
    ASSERT_LE(at + f.size(), total);
    ASSERT_TRUE(std::equal(f.begin(), f.end(), signal.begin() + static_cast<std::ptrdiff_t>(at))) << n;
    at += f.size();
  }
  EXPECT_EQ(at, total);
}

TEST_F(TapewellRecTest, FastAndPacedReplaysWriteTheSameFilesAndLines) {
  // 2.6 s: a silence that ends exactly at the first frame of the fourth
  // buffer (frame 24,576), two that end inside buffers, a short one that
  // does not split, and a last partial buffer.
  const int rate = 44100;
  Frames signal = Signal(rate, {{0.3, 440}});
  signal.resize(24576, {0, 0});
  const Frames rest = Signal(rate, {{0.4, 880}, {0.3, 0}, {0.5, 300}, {0.05, 0}, {0.4, 500}, {0.3, 0}, {0.2, 1000}});
  signal.insert(signal.end(), rest.begin(), rest.end());
  signal.resize(signal.size() + 1234, {0, 0});
  WriteWav(input, rate, signal);
  const std::string fast = dir.path() + "/fast", paced = dir.path() + "/paced";
  std::filesystem::create_directory(fast);
  std::filesystem::create_directory(paced);
  const RecRun f = RunRec("--input " + input + " --fast -a -l 2 -w " + fast);
  const RecRun p = RunRec("--input " + input + " --realtime -a -l 2 -w " + paced);
  ASSERT_EQ(f.status, 0) << f.err;
  ASSERT_EQ(p.status, 0) << p.err;
  const auto names = WavFiles(fast);
  ASSERT_EQ(names, WavFiles(paced));
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(ReadFrames(fast + "/" + names[0]).size(), 24576u);
  for (const auto& n : names) EXPECT_TRUE(ReadFileBytes(fast + "/" + n) == ReadFileBytes(paced + "/" + n)) << n;
  // The same event lines, but for the folder in the file lines.
  std::string pacedOut = p.out;
  for (size_t at; (at = pacedOut.find(paced)) != std::string::npos;) pacedOut.replace(at, paced.size(), fast);
  EXPECT_EQ(f.out, pacedOut);
}

TEST_F(TapewellRecTest, FastReplayFindsTheFramesAfterOtherChunksAndStopsWhereTheFileEnds) {
  // A LIST chunk between "fmt " and "data" moves the first frame to byte 54,
  // and the data chunk promises more frames than the file holds.
  const Frames signal = Signal(44100, {{0.4, 440}, {0.3, 0}, {0.5, 700}});
  std::vector<uint8_t> data;
  for (auto [l, r] : signal) {
    wavbytes::AppendLe16(data, uint16_t(l));
    wavbytes::AppendLe16(data, uint16_t(r));
  }
  auto bytes = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("LIST", {'x', 'y'}),
                               wavbytes::Chunk("data", data)});
  wavbytes::PutLe32(bytes, 50, uint32_t(data.size() + 40000));
  testsupport::WriteFileBytes(input, bytes);
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " --fast -a -l 2 -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 2u);
  Frames joined = ReadFrames(out + "/" + names[0]);
  const Frames second = ReadFrames(out + "/" + names[1]);
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_TRUE(joined == signal);
}

TEST_F(TapewellRecTest, EightBitMonoInputIsRecordedAsEightBitMono) {
  const Frames signal = Signal(32000, {{1, 440}});
  WriteWav(input, 32000, signal, 8, 1);
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " --fast -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto in = ReadFileBytes(input), track = ReadFileBytes(out + "/" + TodayName(1));
  EXPECT_TRUE(track == in);  // the same header and the same bytes
  EXPECT_EQ(testsupport::ReadLe16(track, 34), 8u);
  EXPECT_EQ(testsupport::ReadLe16(track, 22), 1u);
}

TEST_F(TapewellRecTest, DurationStopsAtExactlyThatMuchAudio) {
  WriteWav(input, 48000, Signal(48000, {{3, 440}}));
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " --fast --duration 1.25 -w " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFrames(out + "/" + TodayName(1)).size(), 60000u);
}

TEST_F(TapewellRecTest, UsageErrorsSayWhatIsWrongAndCreateNothing) {
  WriteWav(input, 44100, Signal(44100, {{0.2, 440}}));
  testsupport::WriteFileBytes(dir.file("text.wav"), std::vector<uint8_t>(200, 'x'));
  std::filesystem::create_directory(out);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-r 22050", "rate"},
      {"-l 0", "length"},
      {"-l 101", "length"},
      {"-p 16", "level"},
      {"--bogus", "bogus"},
      {"--fast", "input"},
      {"--input " + dir.file("missing.wav"), "missing.wav"},
      {"--input " + dir.file("text.wav"), "Format not recognised"},
      {"--input " + input + " -r 48000", "rate"},
      {"--duration -3", "duration"},
      {"-r abc", "--rate must be 32000, 44100 or 48000: abc"},
      {"-l 2x", "--length must be a whole number"},
      {"--duration nan", "--duration must be a number of seconds"},
      {"--duration 1e300", "--duration must be a number of seconds"},
      {"--duration inf", "--duration must be a number of seconds"},
      {"--input ''", "--input needs the path of an audio file, or - for standard input"},
      {"--input '' --fast", "--input needs the path of an audio file, or - for standard input"},
      {"--input " + dir.file("alaw.wav"), "is A-law;"},
      {"--input " + dir.file("extensible.wav"), "File contains data in an unimplemented format."},
      {"--input " + dir.file("rate0.wav"), "': the WAV header gives a sample rate of 0 Hz"},
      {"--input " + dir.file("rateneg.wav"), "': the WAV header gives a sample rate of 4294959296 Hz"},
      {"--input " + dir.file("ratemax.wav"), "': the WAV header gives a sample rate of 4294967295 Hz"},
      {"--input " + dir.file("ratebig.wav"), "sample rate of 1000000 Hz"},
      {"-p 7 --silence-below auto", "-p sets the stillness rule's level and --silence-below chooses the level rule"},
      {"--silence-below -130", "--silence-below must be a level in dBFS from -120 to 0, or auto: -130"},
      {"--silence-below loud", "--silence-below must be"},
      {"-l 0.05s", "--length must be a whole number of tenths of a second from 1 to 100, or seconds"},
      {"-l 11s", "--length must be"},
      {"--lead-in 10.5", "--lead-in must be a number of seconds from 0 to 10"},
      {"--min-track -1", "--min-track must be"},
      {"--stop-after-silence 0", "--stop-after-silence must be a number of seconds above 0"},
  };
  // Files whose headers promise what cannot be replayed.
  auto headerOnly = [&](const std::string& name, uint32_t rate, uint16_t tag) {
    testsupport::WriteFileBytes(dir.file(name), wavbytes::Riff({wavbytes::Fmt(rate, 16, 2, 16, tag),
                                                                wavbytes::Chunk("data", std::vector<uint8_t>(4000, 1))}));
  };
  headerOnly("alaw.wav", 8000, 6);
  headerOnly("extensible.wav", 44100, 0xFFFE);
  headerOnly("rate0.wav", 0, 1);
  headerOnly("rateneg.wav", uint32_t(-8000), 1);
  headerOnly("ratemax.wav", 0xFFFFFFFFu, 1);
  headerOnly("ratebig.wav", 1000000, 1);
  for (const auto& [args, mention] : cases) {
    const RecRun r = RunRec(args + " -w " + out);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    EXPECT_NE(r.err.find(mention), std::string::npos) << args << ": " << r.err;
    EXPECT_TRUE(WavFiles(out).empty()) << args;
  }
  const RecRun help = RunRec("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--auto-track"), std::string::npos);
  const RecRun version = RunRec("--version");
  EXPECT_NE(version.out.find("1.0.4"), std::string::npos);
}

TEST_F(TapewellRecTest, MissingFolderIsMadeWithItsParentsAndSaidOnce) {
  WriteWav(input, 44100, Signal(44100, {{0.2, 440}}));
  const std::string missing = dir.path() + "/no/such";
  const RecRun r = RunRec("--input " + input + " -w " + missing + "/");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tapewell-rec: made the folder " + missing + "/ for the tracks\n");
  EXPECT_EQ(WavFiles(missing), std::vector<std::string>{TodayName(1)});
  // The second time the folder is there: nothing to say.
  EXPECT_EQ(RunRec("--input " + input + " -w " + missing).err, "");
  // A file where a folder must be is named; nothing is made.
  testsupport::WriteFileBytes(dir.file("plain"), {1});
  const RecRun blocked = RunRec("--input " + input + " -w " + dir.file("plain") + "/tracks");
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.err, "tapewell-rec: cannot make the folder " + dir.file("plain") + "/tracks: " + dir.file("plain") +
                             " is a file, not a folder (move it, or choose another folder with -w)\n");
  EXPECT_EQ(blocked.out, "");
}

TEST_F(TapewellRecTest, AFileThatCannotBeCreatedGivesTheFileLineMessage) {
  WriteWav(input, 44100, Signal(44100, {{0.2, 440}}));
  // /proc is a folder where no one can create a file, root included.
  const RecRun r = RunRec("--input " + input + " -w /proc");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("failed to open file!"), std::string::npos) << r.out;
}

TEST_F(TapewellRecTest, JapaneseLocaleUsesTheJapaneseTable) {
  WriteWav(input, 44100, Signal(44100, {{0.5, 440}, {0.3, 0}, {0.2, 440}}));
  std::filesystem::create_directory(out);
  const RecRun r = RunRec("--input " + input + " --fast -w " + out, "LANG=ja_JP.UTF-8 LC_ALL=");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("録音中 - "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("無音"), std::string::npos) << r.out;
}

// The locale the messages and --help follow, and one that keeps them English.
const std::string kJapanese = "LANG=ja_JP.UTF-8 LC_ALL= LC_MESSAGES=";
const std::string kEnglish = "LANG=C LC_ALL= LC_MESSAGES=";

TEST_F(TapewellRecTest, JapaneseLocaleGivesJapaneseUsageErrorsAndHelp) {
  std::filesystem::create_directory(out);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-r abc", "--rate は 32000、44100、48000 のいずれかにしてください: abc"},
      {"-l 0", "--length は 1 から 100 までの整数"},
      {"--bogus", "コマンドラインの誤り: The following argument was not expected: --bogus"},
      {"--input " + dir.file("missing.wav"), "入力ファイル '" + dir.file("missing.wav") + "' を開けません"},
  };
  for (const auto& [args, mention] : cases) {
    const RecRun r = RunRec(args + " -w " + out, kJapanese);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    EXPECT_EQ(r.err.rfind("tapewell-rec: ", 0), 0u) << args << ": " << r.err;
    EXPECT_NE(r.err.find(mention), std::string::npos) << args << ": " << r.err;
    EXPECT_TRUE(WavFiles(out).empty()) << args;
  }
  const RecRun help = RunRec("--help", kJapanese);
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"DDMmmNNN.wav のトラックファイルに録音します", "使い方: tapewell-rec [オプション]",
                           "\nオプション:\n", "このヘルプを表示して終了します", "--auto-track", "録音先のフォルダ",
                           "音声 SEC 秒分で停止します", "\nキー（音声入力から録音している間）:\n", "\n例:\n",
                           "\n終了ステータス: 0 完了"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text << " in\n" << help.out;
  }
  for (const char* english : {"Usage", "OPTIONS", "Options", "Needs", "Print this help", "destination folder", "必要",
                              "Exit status"}) {
    EXPECT_EQ(help.out.find(english), std::string::npos) << english << " in\n" << help.out;
  }
  // LC_MESSAGES alone decides when LC_ALL is empty.
  const RecRun messages = RunRec("-r abc", "LANG=C LC_ALL= LC_MESSAGES=ja_JP.UTF-8");
  EXPECT_NE(messages.err.find("--rate は"), std::string::npos) << messages.err;
}

TEST_F(TapewellRecTest, OtherLocalesGiveEnglishUsageErrorsAndHelp) {
  const RecRun r = RunRec("-r abc", kEnglish);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tapewell-rec: --rate must be 32000, 44100 or 48000: abc\n");
  const RecRun parse = RunRec("--bogus", "LANG=de_DE.UTF-8 LC_ALL= LC_MESSAGES=");
  EXPECT_EQ(parse.err, "tapewell-rec: The following argument was not expected: --bogus (see tapewell-rec --help)\n");
  const RecRun help = RunRec("--help", kEnglish);
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"Usage: tapewell-rec [OPTIONS]", "\nOptions:\n", "Print this help message and exit",
                           "destination folder (default: the current", "--realtime"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text << " in\n" << help.out;
  }
}

// The words of `text`, in order, whatever the spaces and line breaks between them.
std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST_F(TapewellRecTest, HelpFitsTheTerminalWithoutBreakingAWord) {
  const RecRun wide = RunRec("--help", kEnglish + " COLUMNS=80");
  const RecRun narrow = RunRec("--help", kEnglish + " COLUMNS=40");
  // The same words at either width: lines broke only between them.
  EXPECT_EQ(Words(wide.out), Words(narrow.out));
  std::string joined;
  for (const std::string& word : Words(wide.out)) joined += word + " ";
  for (const char* text : {"destination folder (default: the current directory)",
                           "record from an audio file (WAV, RF64, W64, AIFF, FLAC...) instead of the audio input",
                           "Keys, while recording from the audio input: Enter or m start the next track q stop",
                           "Examples: tapewell-rec -a -l 20 -w ~/rec tapewell-rec --input side-a.wav -a -l 15 -w side-a",
                           "Exit status: 0 done; 1 a failure"}) {
    EXPECT_NE(joined.find(text), std::string::npos) << text << " in\n" << wide.out;
  }
  for (const auto& [run, columns] : {std::pair{wide, 80}, {narrow, 40},
                                     {RunRec("--help", kJapanese + " COLUMNS=40"), 40}}) {
    EXPECT_EQ(run.out.find("Excludes"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("併用不可"), std::string::npos) << run.out;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(DisplayWidth(line), columns) << line;
    }
  }
}

TEST_F(TapewellRecTest, AFileThatCannotBeCreatedIsReportedInTheLocalesLanguage) {
  WriteWav(input, 44100, Signal(44100, {{0.2, 440}}));
  const RecRun ja = RunRec("--input " + input + " -w /proc", kJapanese);
  EXPECT_EQ(ja.status, 1);
  EXPECT_NE(ja.err.find("tapewell-rec: /proc/" + TodayName(1) + " を作成できません: "), std::string::npos) << ja.err;
  const RecRun en = RunRec("--input " + input + " -w /proc", kEnglish);
  EXPECT_NE(en.err.find("tapewell-rec: cannot create /proc/" + TodayName(1) + ": "), std::string::npos) << en.err;
  const RecRun blocked = RunRec("--input " + input + " -w " + input + "/x", kJapanese);
  EXPECT_NE(blocked.err.find("はフォルダではなくファイルです"), std::string::npos) << blocked.err;
}

TEST_F(TapewellRecTest, SignalsMarkAndStopAPacedReplayCleanly) {
  const Frames signal = Signal(44100, {{20, 440}});
  ChildGuard recorder(StartPacedReplay(signal));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  kill(recorder.pid(), SIGUSR1);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  kill(recorder.pid(), SIGINT);
  kill(recorder.pid(), SIGINT);  // a second interrupt while stopping changes nothing
  const int status = recorder.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 2u);
  const auto first = ReadFrames(out + "/" + names[0]);
  const auto second = ReadFrames(out + "/" + names[1]);
  EXPECT_EQ(first.size() % 8192, 0u) << "the mark falls between two buffers";
  EXPECT_GT(first.size(), 0u);
  EXPECT_GT(second.size(), 0u);
  Frames joined = first;
  joined.insert(joined.end(), second.begin(), second.end());
  ASSERT_LE(joined.size(), signal.size());
  EXPECT_TRUE(std::equal(joined.begin(), joined.end(), signal.begin()));
}

TEST_F(TapewellRecTest, StopSignalsThatKeepComingWhileTheProgramEndsChangeNothing) {
  // A second Ctrl-C, or a supervisor that repeats SIGTERM, may arrive after
  // the recording's queue is gone, while the program ends: it must neither
  // crash the program nor change its exit status or its file.
  const Frames signal = Signal(44100, {{3, 440}});
  ChildGuard recorder(StartPacedReplay(signal));
  // The signals start once the track file exists, when the recorder handles
  // them (before that, SIGINT would end it by its default action).
  for (int wait = 0; wait < 200 && WavFiles(out).empty(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(WavFiles(out).size(), 1u) << "the recording did not start";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  int status = 0;
  int sent = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  pid_t ended = 0;
  while ((ended = waitpid(recorder.pid(), &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    kill(recorder.pid(), SIGINT);
    ++sent;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  ASSERT_EQ(ended, recorder.pid()) << "the recorder did not end";
  recorder.Forget();
  EXPECT_GT(sent, 1);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 1u);
  const auto frames = ReadFrames(out + "/" + names[0]);
  EXPECT_GT(frames.size(), 0u);
  ASSERT_LE(frames.size(), signal.size());
  EXPECT_TRUE(std::equal(frames.begin(), frames.end(), signal.begin()));
}

TEST_F(TapewellRecTest, LiveRecordingFromTheSoundServer) {
  if (!std::getenv("TAPEWELL_PULSE")) {
    GTEST_SKIP() << "no private PulseAudio server (the test command starts one)";
  }
  std::filesystem::create_directory(out);
  const std::string log = dir.file("live.out"), errors = dir.file("live.err");
  std::fflush(nullptr);
  // Keep the null sink running, so that its monitor delivers frames.
  ChildGuard player(fork());
  if (player.pid() == 0) {
    execl("/bin/sh", "sh", "-c", "exec pacat --playback --format=s16le --channels=2 --rate=48000 </dev/zero",
          nullptr);
    _exit(127);
  }
  ChildGuard recorder(StartLiveRecorder({"-r", "48000", "-a", "-l", "3", "-w", out}, log, errors));
  // Wait until the capture delivers (the indicator lights on the zeros).
  bool live = false;
  for (int i = 0; i < 150 && !live; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    live = FileText(log).find("Silent") != std::string::npos;
  }
  ASSERT_TRUE(live) << "the capture never delivered:\n" << FileText(log) << FileText(errors);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string tones = dir.file("tones.wav");
  WriteWav(tones, 48000, Signal(48000, {{1, 440}, {0.6, 0}, {1, 1000}}, 16384));
  int playStatus = -1;
  RunCommand("paplay " + tones, &playStatus);
  EXPECT_EQ(playStatus, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(recorder.pid(), SIGINT);
  const int status = recorder.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << FileText(log);

  const std::string text = FileText(log);
  EXPECT_NE(text.find("frames dropped: 0"), std::string::npos) << text;
  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 3u) << text;  // leading silence, 440 Hz, 1000 Hz
  const auto lead = ReadFrames(out + "/" + names[0]);
  const auto a = ReadFrames(out + "/" + names[1]);
  const auto b = ReadFrames(out + "/" + names[2]);
  ASSERT_GT(a.size(), 24000u);
  ASSERT_GT(b.size(), 24000u);
  // The split lies exactly at the first tone's onset: the leading track ends
  // with 0.3 s of silence (each frame within the level 2^7 of the one before),
  // and the tone's track starts with the first frame that moves by more. The
  // server may start the tone at any phase, so its first frame can be quiet
  // enough to count as silence.
  const size_t splitLength = 3 * 4800;
  const int32_t level = 128;
  ASSERT_GE(lead.size(), splitLength);
  auto moves = [&](std::pair<int16_t, int16_t> from, std::pair<int16_t, int16_t> to) {
    return std::abs(to.first - from.first) >= level || std::abs(to.second - from.second) >= level;
  };
  std::string tail = "the leading track's last frames:";
  for (size_t i = lead.size() - 8; i < lead.size(); ++i) {
    tail += " " + std::to_string(lead[i].first) + "/" + std::to_string(lead[i].second);
  }
  bool quiet = true;
  for (size_t i = lead.size() - splitLength + 1; i < lead.size(); ++i) quiet = quiet && !moves(lead[i - 1], lead[i]);
  EXPECT_TRUE(quiet) << tail << "\n" << text;
  EXPECT_TRUE(moves(lead.back(), a.front())) << tail << "; the tone's track starts with " << a.front().first << "/"
                                             << a.front().second;
  EXPECT_NEAR(ToneAmplitude(a, 4800, 24000, 48000, 440), 16384, 1600);
  EXPECT_LT(ToneAmplitude(a, 4800, 24000, 48000, 1000), 500);
  EXPECT_NEAR(ToneAmplitude(b, 4800, 24000, 48000, 1000), 16384, 1600);
  EXPECT_LT(ToneAmplitude(b, 4800, 24000, 48000, 440), 500);
}
