// The command-line option scan, apart from any window.
#include <gtest/gtest.h>

#include "app/option_scan.h"
#include "app/window_options.h"

namespace {

struct Scan {
  int32_t i2s = 1;
  uint16_t port = 0xE000;
  std::string folder, file = "first";
  int names = 0;
  std::string remnant;

  explicit Scan(std::string text) {
    ScanOptions(text, OptionTargets{i2s, port, folder, file, [this] { return "name" + std::to_string(++names); }, '/'});
    remnant = text;
  }
};

}  // namespace

TEST(OptionScanTest, EmptyCommandLineKeepsTheDefaults) {
  Scan s("");
  EXPECT_EQ(s.i2s, 1);
  EXPECT_EQ(s.port, 0xE000);
  EXPECT_EQ(s.folder, "");
  EXPECT_EQ(s.file, "first");
  EXPECT_EQ(s.remnant, "");
}

TEST(OptionScanTest, PortsReadLikeHexScanf) {
  const std::vector<std::pair<std::string, uint16_t>> cases = {
      {"-iE400", 0xE400}, {"-i0xe400", 0xE400}, {"/IE400", 0xE400}, {"-i12345", 0x2345}, {"-izz", 0xE000},
      {"-i", 0xE000},     {"-ie400x", 0xE400},  {"-i0x", 0x0000},   {"-i-1", 0xFFFF},    {"-i+10", 0x0010},
      {"-iE400 -i300", 0x0300}, {"-i300 -izz", 0x0300}, {"e400", 0xE000}, {"-I0XFFFF1", 0xFFF1},
  };
  for (const auto& [text, port] : cases) EXPECT_EQ(Scan(text).port, port) << text;
}

TEST(OptionScanTest, SonyInAnyCaseAndNothingSetsI2SBack) {
  EXPECT_EQ(Scan("-FSONY").i2s, 0);
  EXPECT_EQ(Scan("/fSony").i2s, 0);
  EXPECT_EQ(Scan("-fi2s").i2s, 1);
  EXPECT_EQ(Scan("-fsony -fi2s").i2s, 0);
  EXPECT_EQ(Scan("-fsonyx").i2s, 1);
  EXPECT_EQ(Scan("-f").i2s, 1);
  EXPECT_EQ(Scan("sony").i2s, 1);
}

TEST(OptionScanTest, FolderGetsOneTrailingSeparatorAndRecomputesTheFileLine) {
  Scan a("-w/home/me/rec");
  EXPECT_EQ(a.folder, "/home/me/rec/");
  EXPECT_EQ(a.file, "name1");
  EXPECT_EQ(Scan("-w/home/me/rec/").folder, "/home/me/rec/");
  EXPECT_EQ(Scan("-w").folder, "/");
  Scan blank("-w /home/me/rec");  // a blank after the letter: an empty value, then a skipped token
  EXPECT_EQ(blank.folder, "/");
  Scan two("-w/a /W/b");
  EXPECT_EQ(two.folder, "/b/");
  EXPECT_EQ(two.names, 2);
  EXPECT_EQ(two.file, "name2");
  EXPECT_EQ(Scan("-x -").names, 0);
}

TEST(OptionScanTest, RemnantEndsWithTheFirstToken) {
  EXPECT_EQ(Scan("-fsony").remnant, "-fsony");
  EXPECT_EQ(Scan("-fsony -iE400 -w/x").remnant, "-fsony");
  EXPECT_EQ(Scan("   spaced   -iE400").remnant, "   spaced");
  EXPECT_EQ(Scan("tab\there -i1").remnant, "tab\there");  // tabs are ordinary characters
  EXPECT_EQ(Scan("   ").remnant, "");
}

TEST(OptionScanTest, JoinArgumentsWithSingleBlanks) {
  const char* argv[] = {"tapewell", "-fsony", "-w/my", "folder"};
  EXPECT_EQ(JoinArguments(4, const_cast<char**>(argv)), "-fsony -w/my folder");
  EXPECT_EQ(JoinArguments(1, const_cast<char**>(argv)), "");
}

TEST(OptionScanTest, DeviceOptionTakesTheLastAttachedNameInAnyCase) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"-wrec -iE400", ""},
      {"-dtapewell_null.monitor", "tapewell_null.monitor"},
      {"/Dalsa_input.pci-0000_00_05.0.analog-stereo", "alsa_input.pci-0000_00_05.0.analog-stereo"},
      {"-done -wrec -dtwo", "two"},
      {"d-x -d", ""},
      {"x-dname", ""},
  };
  for (const auto& [text, device] : cases) EXPECT_EQ(ScanDeviceOption(text), device) << text;
}

TEST(OptionScanTest, DeviceOptionChangesNothingElse) {
  Scan s("-dtapewell_null.monitor -wrec");
  EXPECT_EQ(s.folder, "rec/");
  EXPECT_EQ(s.i2s, 1);
  EXPECT_EQ(s.port, 0xE000);
}

TEST(OptionScanTest, LongOptionsAreTakenWithTheirValuesBeforeTheShortScan) {
  std::vector<std::string> args = {"-w/rec",   "--auto-track", "--length",       "15",         "--silence-below",
                                   "auto",     "--lead-in=1",  "--trim",         "--min-track", "30",
                                   "--stop-after-silence", "8", "--cue", "/home/me/side.cue", "-dline",
                                   "--labels", "-w.txt",       "--unknown"};
  WindowOptions options;
  EXPECT_FALSE(TakeWindowOptions(args, options).Any());
  // Only the short options and the unknown token stay: the values never reach the short scan.
  EXPECT_EQ(JoinArguments(args), "-w/rec -dline --unknown");
  EXPECT_TRUE(options.autoTrack);
  EXPECT_EQ(options.lengthPos, 15);
  EXPECT_EQ(options.levelPos, 7);
  EXPECT_TRUE(options.split.levelRule);
  EXPECT_TRUE(options.split.automaticThreshold);
  EXPECT_EQ(options.split.leadInSeconds, 1.0);
  EXPECT_TRUE(options.split.trim);
  EXPECT_EQ(options.split.minTrackSeconds, 30.0);
  EXPECT_EQ(options.split.stopAfterSilenceSeconds, 8.0);
  EXPECT_EQ(options.cue, "/home/me/side.cue");
  EXPECT_EQ(options.labels, "-w.txt");
  Scan s(JoinArguments(args));
  EXPECT_EQ(s.folder, "/rec/");
}

TEST(OptionScanTest, LongOptionsCheckedAsTheTerminalRecorderChecksThem) {
  auto take = [](std::vector<std::string> args, WindowOptions& options) { return TakeWindowOptions(args, options); };
  WindowOptions stillness;
  EXPECT_FALSE(take({"--length", "1.5s", "--level", "3"}, stillness).Any());
  EXPECT_EQ(stillness.lengthPos, 15);  // seconds become the slider's tenths
  EXPECT_EQ(stillness.split.silenceSeconds, 0.0);
  EXPECT_EQ(stillness.levelPos, 3);
  EXPECT_FALSE(stillness.split.levelRule);
  WindowOptions level;
  EXPECT_FALSE(take({"--silence-below=-42.5"}, level).Any());
  EXPECT_EQ(level.split.thresholdDb, -42.5);
  EXPECT_FALSE(level.split.automaticThreshold);

  WindowOptions bad;
  WindowOptionProblem problem = take({"--length", "1.5s", "--lead-in", "11"}, bad);
  EXPECT_EQ(problem.error, SplitOptionError::BadLeadIn);
  EXPECT_EQ(problem.typed, "11");
  EXPECT_EQ(bad.lengthPos, 1);  // a bad value sets none of them
  EXPECT_EQ(take({"--level", "3", "--silence-below", "auto"}, bad).error, SplitOptionError::LevelWithStillness);
  EXPECT_EQ(take({"--silence-below", "1"}, bad).error, SplitOptionError::BadSilenceBelow);
  EXPECT_EQ(take({"--stop-after-silence", "0"}, bad).error, SplitOptionError::BadStopAfterSilence);
  EXPECT_EQ(take({"--length", "101"}, bad).error, SplitOptionError::BadLength);
  EXPECT_EQ(take({"--cue"}, bad).missingValue, "--cue");
}
