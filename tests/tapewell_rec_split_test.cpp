// tapewell-rec on the sources people digitize: generated tape, vinyl and
// digital sides whose pieces begin and end at known frames, split by the
// level rule with a lead-in, a minimum track length, a trim and an end of
// side, checked against that truth and against the input's own bytes.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "tests/analog_side.h"
#include "tests/rec_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile_state.h"

namespace {

using namespace recsupport;
using analogside::Noise;

class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_waveFileState = WaveFileState{};
    std::filesystem::create_directory(out);
  }

  // Writes the side as the input file and keeps its truth.
  void MakeInput(const analogside::Recipe& recipe) {
    side = analogside::MakeSide(recipe);
    WriteWav(input, side.rate, side.frames);
  }

  // The input's data bytes, and the tracks' joined.
  std::vector<uint8_t> InputData() const {
    const auto bytes = ReadFileBytes(input);
    return {bytes.begin() + 44, bytes.end()};
  }
  std::vector<uint8_t> TracksData(const std::string& folder) const {
    std::vector<uint8_t> joined;
    for (const auto& name : WavFiles(folder)) {
      const auto bytes = ReadFileBytes(folder + "/" + name);
      joined.insert(joined.end(), bytes.begin() + 44, bytes.end());
    }
    return joined;
  }
  // The first frame of each track after the first, from the event lines.
  static std::vector<int64_t> Splits(const std::string& events) {
    std::vector<int64_t> splits;
    const std::regex line(R"(REC - .*\.wav\t\S+\t(\d+))");
    bool first = true;
    for (const std::string& text : Lines(events)) {
      std::smatch m;
      if (!std::regex_match(text, m, line)) continue;
      if (!first) splits.push_back(std::stoll(m[1]));
      first = false;
    }
    return splits;
  }
  // The first frame of each track of a dry run after the first.
  static std::vector<int64_t> DrySplits(const std::string& report) {
    std::vector<int64_t> splits;
    const std::regex line(R"(track (\d+)  start \S+ \(frame (\d+)\).*)");
    for (const std::string& text : Lines(report)) {
      std::smatch m;
      if (std::regex_match(text, m, line) && m[1] != "1") splits.push_back(std::stoll(m[2]));
    }
    return splits;
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  int64_t Seconds(double s) const { return std::llround(s * side.rate); }

  TempDir dir;
  std::string out = dir.path() + "/out";
  std::string input = dir.file("side.wav");
  analogside::Side side;
};

}  // namespace

// Every source, with the threshold found or given: one track per piece, each
// split a second (the lead-in) before its piece's first sound, the leading
// gap a track of its own, and every byte of the input in the tracks. The dry
// run finds the same splits, and standard input the same files.
TEST_F(SplitTest, EverySourceSplitsOneSecondBeforeEachPiece) {
  const std::vector<std::pair<Noise, std::string>> cases = {
      {Noise::Tape, "auto"}, {Noise::Vinyl, "auto"}, {Noise::Digital, "auto"}, {Noise::Vinyl, "-45"}};
  for (const auto& [noise, threshold] : cases) {
    SCOPED_TRACE("source " + std::to_string(static_cast<int>(noise)) + ", --silence-below " + threshold);
    analogside::Recipe recipe;
    recipe.noise = noise;
    recipe.pieces = 4;
    MakeInput(recipe);
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const std::string args = " -a -l 1.5s --silence-below " + threshold + " --lead-in 1";
    const RecRun r = RunRec("--input " + input + " --fast -w " + out + args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<int64_t> truth;
    for (const auto& piece : side.pieces) truth.push_back(piece.onset - Seconds(1));
    EXPECT_EQ(Splits(r.out), truth) << r.out;
    EXPECT_EQ(WavFiles(out).size(), side.pieces.size() + 1);
    EXPECT_TRUE(TracksData(out) == InputData()) << "the tracks joined are not the input";

    const RecRun dry = RunRec("--input " + input + " --dry-run" + args);
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(DrySplits(dry.out), truth) << dry.out;
    EXPECT_NE(dry.out.find(threshold == "auto" ? "found from the noise floor" : "silence below -45.0 dBFS"),
              std::string::npos)
        << dry.out;
  }
  // The same stream on standard input gives the same files.
  const std::string piped = dir.path() + "/piped";
  std::filesystem::create_directory(piped);
  const RecRun p = RunRec("--input - --fast -w " + piped + " -a -l 15 --silence-below -45 --lead-in 1", "", input);
  ASSERT_EQ(p.status, 0) << p.err;
  ASSERT_EQ(WavFiles(piped), WavFiles(out));
  for (const auto& name : WavFiles(out)) {
    EXPECT_TRUE(ReadFileBytes(out + "/" + name) == ReadFileBytes(piped + "/" + name)) << name;
  }
}

// A quiet 24-bit transfer: hiss at -110 dBFS and music around -78, all
// below or near the 16-bit floor. The level rule measures the frames in
// their full range (their top 16 bits alone read the hiss at about -93 dBFS,
// above a threshold of -100): the splits fall a second before each piece,
// in the real run, the dry run and from standard input alike.
TEST_F(SplitTest, AQuietTwentyFourBitSideIsMeasuredInItsFullRange) {
  analogside::Recipe recipe;
  recipe.pieces = 3;
  recipe.quietAboveFloorDb = 20;
  side = analogside::MakeSide(recipe);
  std::vector<uint8_t> data;
  for (const auto& [l, r] : side.frames) {
    for (const int16_t s : {l, r}) {
      const auto v = static_cast<uint32_t>(static_cast<int32_t>(std::lround(s * 256 * 0.001)));
      for (int b = 0; b < 3; ++b) data.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
  }
  testsupport::WriteFileBytes(input, wavbytes::Riff({wavbytes::Fmt(44100, 24, 2), wavbytes::Chunk("data", data)}));
  std::vector<int64_t> truth;
  for (const auto& piece : side.pieces) truth.push_back(piece.onset - Seconds(1));
  const std::string args = " -a -l 1.5s --silence-below -100 --lead-in 1";
  const RecRun r = RunRec("--input " + input + " --fast -w " + out + args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Splits(r.out), truth) << r.out;
  const RecRun dry = RunRec("--input " + input + " --dry-run" + args);
  EXPECT_EQ(DrySplits(dry.out), truth) << dry.out;
  const RecRun piped = RunRec("--input - --dry-run" + args, "", input);
  EXPECT_EQ(DrySplits(piped.out), truth) << piped.out;
  int status = 0;
  const std::string info = RunCommand("soxi " + out + "/*.wav", &status);
  EXPECT_NE(info.find("24-bit Signed Integer PCM"), std::string::npos) << info;
}

// A minimum length longer than a piece merges every other track and drops
// nothing; the trim leaves out the silence before the first sound and after
// the last beyond the lead-in, and nothing else: the tracks joined are one
// stretch of the input.
TEST_F(SplitTest, MinimumLengthMergesAndTheTrimLeavesOutOnlySilence) {
  analogside::Recipe recipe;
  recipe.noise = Noise::Vinyl;
  recipe.runOutSeconds = 5;
  MakeInput(recipe);
  const std::string args = " -a -l 1.5s --silence-below auto --lead-in 0.5 --min-track 12 --trim";
  const RecRun r = RunRec("--input " + input + " --fast -w " + out + args);
  ASSERT_EQ(r.status, 0) << r.err;
  // Pieces start 10.5 s apart: the split before the second would end a
  // track of 10.5 s, so only every other piece begins a track.
  const auto& pieces = side.pieces;
  const int64_t first = pieces[0].onset - Seconds(0.5);
  EXPECT_EQ(Splits(r.out), (std::vector<int64_t>{pieces[2].onset - Seconds(0.5), pieces[4].onset - Seconds(0.5)}))
      << r.out;
  const auto data = InputData(), joined = TracksData(out);
  ASSERT_GE(data.size(), 4 * static_cast<size_t>(first) + joined.size());
  EXPECT_TRUE(std::equal(joined.begin(), joined.end(), data.begin() + 4 * first)) << "the tracks are not one stretch";
  // The fade-out falls below the threshold a little before the piece ends;
  // the run-out after it is silence, kept for the lead-in only.
  const int64_t end = first + static_cast<int64_t>(joined.size() / 4);
  EXPECT_LE(end, pieces.back().end + Seconds(0.5) + Seconds(0.01));
  EXPECT_GE(end, pieces.back().end + Seconds(0.5) - Seconds(0.3));
  EXPECT_NE(r.err.find("trim: left out 1.500 s of silence before the first sound and "), std::string::npos) << r.err;

  const RecRun dry = RunRec("--input " + input + " --dry-run" + args);
  EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n') > 0, true);
  size_t merged = 0;
  for (const auto& line : Lines(dry.out)) merged += line.find("shorter than the minimum 12.000 s") != std::string::npos;
  EXPECT_EQ(merged, 3u) << dry.out;
  EXPECT_EQ(DrySplits(dry.out), Splits(r.out));
}

// The end of a side: after the last piece, once the input has been silent
// for the time asked, the recording ends as Stop would, the same by name
// and on standard input.
TEST_F(SplitTest, StopAfterSilenceEndsAtTheEndOfTheSide) {
  analogside::Recipe recipe;
  recipe.noise = Noise::Tape;
  recipe.pieces = 2;
  recipe.runOutSeconds = 12;
  MakeInput(recipe);
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "standard input" : "by name");
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const RecRun r = RunRec(std::string("--input ") + (stream ? "-" : input) +
                                " --fast -a -l 15 --silence-below auto --stop-after-silence 3 -w " + out,
                            "", stream ? input : "/dev/null");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto joined = TracksData(out), data = InputData();
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), data.begin())) << "the tracks are not the input's start";
    const int64_t end = static_cast<int64_t>(joined.size() / 4);
    EXPECT_LE(end, side.pieces.back().end + Seconds(3) + Seconds(0.01));
    EXPECT_GE(end, side.pieces.back().end + Seconds(3) - Seconds(0.3));
    EXPECT_EQ(WavFiles(out).size(), 3u);
  }
}

// The dry run says why each gap did not split: too short (to the frame
// where milliseconds round to nothing), or the level above the threshold,
// with the threshold that would split it.
TEST_F(SplitTest, DryRunExplainsEveryGapThatDidNotSplit) {
  analogside::Recipe recipe;
  recipe.noise = Noise::Vinyl;
  recipe.pieces = 3;
  MakeInput(recipe);
  // Vinyl's surface noise lies at -54 dBFS: a threshold below it finds no silence.
  const RecRun low = RunRec("--input " + input + " --dry-run -a -l 1.5s --silence-below -60");
  ASSERT_EQ(low.status, 0) << low.err;
  std::vector<std::string> above;
  for (const auto& line : Lines(low.out)) {
    if (line.find("did not split: its level stays up to") != std::string::npos) above.push_back(line);
  }
  ASSERT_EQ(above.size(), 3u) << low.out;  // the leading gap and the two between the pieces
  std::smatch m;
  ASSERT_TRUE(std::regex_search(above[1], m, std::regex(R"(--silence-below (-\d+\.\d) would split it)"))) << above[1];
  const RecRun fixed = RunRec("--input " + input + " --dry-run -a -l 1.5s --silence-below " + m[1].str());
  EXPECT_EQ(DrySplits(fixed.out).size(), 3u) << fixed.out;

  // The stillness rule's silence one frame short of the split length.
  Frames tones = Signal(44100, {{1, 440}});
  tones.resize(tones.size() + 13230 - 1, {0, 0});
  const Frames second = Signal(44100, {{1, 440}});
  tones.insert(tones.end(), second.begin(), second.end());
  WriteWav(input, 44100, tones);
  const RecRun oneFrame = RunRec("--input " + input + " --dry-run -a -l 3");
  EXPECT_NE(oneFrame.out.find("did not split: 1 frame shorter than the split length 0.300 s"), std::string::npos)
      << oneFrame.out;
}

// A live take through the private sound server: a tape's hiss keeps the
// server's sink sounding while the recorder listens, then the pieces are
// played over it. The automatic threshold finds the hiss for its floor, and
// each piece's track starts with a second of its gap before its sound.
TEST_F(SplitTest, LiveTakeSplitsATapeByItsOwnFloorWithALeadIn) {
  if (!std::getenv("TAPEWELL_PULSE")) {
    GTEST_SKIP() << "no private PulseAudio server (the test command starts one)";
  }
  const int rate = 48000;
  analogside::Recipe hissOnly;
  hissOnly.rate = rate;
  hissOnly.pieces = 0;
  hissOnly.gapSeconds = 0;
  hissOnly.leadInSeconds = 40;
  hissOnly.runOutSeconds = 0;
  const std::string hiss = dir.file("hiss.wav");
  WriteWav(hiss, rate, analogside::MakeSide(hissOnly).frames);
  analogside::Recipe pieces;
  pieces.rate = rate;
  pieces.noise = Noise::Digital;
  pieces.pieces = 3;
  pieces.pieceSeconds = 3;
  pieces.fadeSeconds = 0.8;
  pieces.quietSeconds = 0.4;
  pieces.gapSeconds = 1.6;
  pieces.leadInSeconds = 0.5;
  pieces.runOutSeconds = 1.5;
  const std::string music = dir.file("pieces.wav");
  WriteWav(music, rate, analogside::MakeSide(pieces).frames);

  const std::string log = dir.file("live.out"), errors = dir.file("live.err");
  std::fflush(nullptr);
  ChildGuard player(fork());
  if (player.pid() == 0) {
    execlp("paplay", "paplay", hiss.c_str(), nullptr);
    _exit(127);
  }
  ChildGuard recorder(StartLiveRecorder(
      {"-r", "48000", "-a", "-l", "1s", "--silence-below", "auto", "--lead-in", "1", "-w", out}, log, errors));
  bool live = false;
  for (int i = 0; i < 150 && !live; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    live = FileText(log).find("Silent") != std::string::npos;
  }
  ASSERT_TRUE(live) << "the capture never delivered:\n" << FileText(log) << FileText(errors);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  int playStatus = -1;
  RunCommand("paplay " + music, &playStatus);
  EXPECT_EQ(playStatus, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(recorder.pid(), SIGINT);
  const int status = recorder.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << FileText(log) << FileText(errors);
  const std::string text = FileText(log);
  EXPECT_NE(text.find("frames dropped: 0"), std::string::npos) << text;

  const auto names = WavFiles(out);
  ASSERT_EQ(names.size(), 4u) << text;  // the hiss before the first piece, then one track a piece
  for (size_t k = 1; k < names.size(); ++k) {
    SCOPED_TRACE(names[k]);
    const Frames track = ReadFrames(out + "/" + names[k]);
    // The first 10 ms block where the music stands far above the hiss.
    size_t sound = track.size();
    for (size_t at = 0; at + 480 <= track.size() && sound == track.size(); at += 48) {
      double sum = 0;
      for (size_t i = at; i < at + 480; ++i) sum += double(track[i].first) * track[i].first;
      if (10 * std::log10(sum / 480 / (32768.0 * 32768.0) + 1e-30) > -30) sound = at;
    }
    // The split lies a second before the 10 ms block in which the sound begins.
    EXPECT_GE(sound, size_t(rate) - 480) << text;
    EXPECT_LE(sound, size_t(rate) + 480) << text;
  }
}
