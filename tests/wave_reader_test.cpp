// The reading side: chunk walk, probe, open, the sliding window, and files
// written by our writer and by libsndfile.
#include <gtest/gtest.h>
#ifndef _WIN32  // libsndfile is Linux's here
#include <sndfile.h>
#endif

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

using testsupport::TempDir;
using testsupport::WriteFileBytes;
using wavbytes::Chunk;
using wavbytes::Riff;

namespace {

class WaveReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { g_waveFileState = WaveFileState{}; }
  void TearDown() override { g_waveFileState = WaveFileState{}; }
  TempDir dir;
};

struct Format {
  int32_t rate = -1, bits = -1, channels = -1;
  uint32_t dataSize = 0xDEADBEEF;
  int32_t dataOffset = -1;
};

WaveResult Parse(const std::vector<uint8_t>& bytes, Format& f, size_t length) {
  return WaveParseHeader(bytes.data(), static_cast<int32_t>(length), f.rate, f.bits, f.channels,
                         f.dataSize, f.dataOffset);
}
WaveResult Parse(const std::vector<uint8_t>& bytes, Format& f) { return Parse(bytes, f, bytes.size()); }

WaveResult Probe(const std::string& path, Format& f) {
  return WaveProbe(path.c_str(), f.rate, f.bits, f.channels, f.dataSize, f.dataOffset);
}

WaveResult Open(const std::string& path, Format& f) {
  return WaveOpenRead(path.c_str(), f.rate, f.bits, f.channels, f.dataSize);
}

std::pair<int32_t, int32_t> Get(int32_t position) {
  int32_t l = 99999, r = 99999;
  EXPECT_EQ(WaveGetSample(position, l, r), WAVE_OK);
  return {l, r};
}

// 16-bit stereo frames whose value tells their position.
std::vector<uint8_t> CountingStereo16(int32_t frames) {
  std::vector<uint8_t> data(size_t(frames) * 4);
  for (int32_t i = 0; i < frames; ++i) {
    const int16_t l = static_cast<int16_t>(i % 30000), r = static_cast<int16_t>(-(i % 30000));
    std::memcpy(&data[4 * size_t(i)], &l, 2);
    std::memcpy(&data[4 * size_t(i) + 2], &r, 2);
  }
  return data;
}

}  // namespace

// ------------------------------------------------------------ chunk walk

TEST(WaveParseHeaderTest, CanonicalHeaderIsWalkedAtOnce) {
  const auto bytes = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("data", std::vector<uint8_t>(8))});
  Format f;
  ASSERT_EQ(Parse(bytes, f), WAVE_OK);
  EXPECT_EQ(f.rate, 44100);
  EXPECT_EQ(f.bits, 16);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.dataSize, 8u);
  EXPECT_EQ(f.dataOffset, 44);
}

TEST(WaveParseHeaderTest, MalformedHeaders) {
  using wavbytes::Fmt;
  const auto data = Chunk("data", std::vector<uint8_t>(16));
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    WaveResult expected;
    int32_t dataOffset;
  };
  auto notRiff = Riff({Fmt(44100, 16, 2), data});
  std::memcpy(notRiff.data(), "RIFX", 4);
  auto notWave = Riff({Fmt(44100, 16, 2), data});
  std::memcpy(notWave.data() + 8, "AVI ", 4);
  auto shortFmt = Riff({Chunk("fmt ", std::vector<uint8_t>(14)), data});
  auto fmt18 = Riff({Fmt(44100, 16, 2, 18), data});
  auto dataFirst = Riff({data, Fmt(44100, 16, 2)});
  auto oddChunk = Riff({Fmt(8000, 8, 1), Chunk("LIST", std::vector<uint8_t>(3)), data});
  auto foreign100 = Riff({Fmt(44100, 16, 2), Chunk("junk", std::vector<uint8_t>(100)), data});
  auto huge80 = Riff({Fmt(44100, 16, 2), Chunk("junk", {}), data});
  wavbytes::PutLe32(huge80, 40, 0x80000000u);
  auto hugeFF = Riff({Fmt(44100, 16, 2), Chunk("junk", {}), data});
  wavbytes::PutLe32(hugeFF, 40, 0xFFFFFFFFu);
  auto hugeFmt = Riff({Fmt(44100, 16, 2), data});
  wavbytes::PutLe32(hugeFmt, 16, 0xFFFFFFFFu);
  auto twelve = Riff({Fmt(44100, 12, 3), data});
  auto noData = Riff({Fmt(44100, 16, 2), Chunk("junk", std::vector<uint8_t>(8))});
  auto tagNot1 = Riff({Fmt(22050, 8, 2, 16, 3), data});

  const std::vector<Case> cases = {
      {"not RIFF", notRiff, WAVE_ERR_FORMAT, 0},
      {"not WAVE", notWave, WAVE_ERR_FORMAT, 0},
      {"fmt shorter than 16", shortFmt, WAVE_ERR_FORMAT, 0},
      {"18-byte fmt", fmt18, WAVE_OK, 46},
      {"data before fmt", dataFirst, WAVE_ERR_FORMAT, 0},
      {"odd chunk without pad", oddChunk, WAVE_OK, 36 + 11 + 8},
      {"100-byte foreign chunk", foreign100, WAVE_OK, 36 + 108 + 8},
      {"chunk size 0x80000000", huge80, WAVE_ERR_FORMAT, 0},
      {"chunk size 0xFFFFFFFF", hugeFF, WAVE_ERR_FORMAT, 0},
      {"fmt size 0xFFFFFFFF", hugeFmt, WAVE_ERR_FORMAT, 0},
      {"12-bit 3-channel walks", twelve, WAVE_OK, 44},
      {"ends at a chunk boundary", noData, WAVE_ERR_FORMAT, 0},
      {"format tag 3 accepted", tagNot1, WAVE_OK, 44},
  };
  for (const auto& c : cases) {
    Format f;
    EXPECT_EQ(Parse(c.bytes, f), c.expected) << c.name;
    if (c.expected == WAVE_OK) {
      EXPECT_EQ(f.dataOffset, c.dataOffset) << c.name;
    } else {
      EXPECT_EQ(f.rate, -1) << c.name << ": outputs written on failure";
    }
  }
}

TEST(WaveParseHeaderTest, ShortOnlyWhenAChunkHeadIsCutOff) {
  const auto bytes = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("data", std::vector<uint8_t>(100))});
  Format f;
  EXPECT_EQ(Parse(bytes, f, 43), WAVE_ERR_SHORT);
  EXPECT_EQ(Parse(bytes, f, 36), WAVE_ERR_SHORT) << "fewer than 44 bytes";
  // A chunk head that starts 4 bytes before the end of the bytes given.
  auto withJunk = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("junk", std::vector<uint8_t>(4)),
                        Chunk("data", std::vector<uint8_t>(4))});
  EXPECT_EQ(Parse(withJunk, f, 36 + 12 + 4), WAVE_ERR_SHORT);
  EXPECT_EQ(Parse(withJunk, f, 36 + 12 + 8), WAVE_OK);
  EXPECT_EQ(f.dataOffset, 56);
  // A body that runs past the end is FORMAT, not SHORT.
  EXPECT_EQ(Parse(withJunk, f, 46), WAVE_ERR_FORMAT);
}

TEST(WaveParseHeaderTest, LaterFmtReplacesEarlier) {
  const auto bytes = Riff({wavbytes::Fmt(8000, 8, 1), wavbytes::Fmt(48000, 16, 2), Chunk("data", {})});
  Format f;
  ASSERT_EQ(Parse(bytes, f), WAVE_OK);
  EXPECT_EQ(f.rate, 48000);
  EXPECT_EQ(f.bits, 16);
}

// ------------------------------------------------------------ probe/open

TEST_F(WaveReaderTest, MissingFileProbesAsNofileWithDefaultOutputs) {
  Format f;
  EXPECT_EQ(Probe(dir.file("none.wav"), f), WAVE_ERR_NOFILE);
  EXPECT_EQ(f.rate, 0);
  EXPECT_EQ(f.bits, 0);
  EXPECT_EQ(f.channels, 0);
  EXPECT_EQ(f.dataSize, 0u);
  EXPECT_EQ(f.dataOffset, 44);
  EXPECT_EQ(Open(dir.file("none.wav"), f), WAVE_ERR_OPEN);
}

TEST_F(WaveReaderTest, EmptyRecordingCannotBeProbedOrOpened) {
  const auto path = dir.file("empty.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  Format f;
  EXPECT_EQ(Probe(path, f), WAVE_ERR_OPEN);
  EXPECT_EQ(f.dataOffset, 44);
  EXPECT_EQ(Open(path, f), WAVE_ERR_OPEN);
  int32_t l = 5, r = 5;
  EXPECT_EQ(WaveGetSample(0, l, r), WAVE_ERR_OPEN);
  EXPECT_EQ(l, 5);
}

TEST_F(WaveReaderTest, ProbeAndOpenRetryWithMoreBytesOnlyForCutHeads) {
  const auto path = dir.file("junk.wav");
  // A foreign 100-byte chunk runs past the first try: FORMAT at once.
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 16, 2), Chunk("junk", std::vector<uint8_t>(100)),
                             Chunk("data", std::vector<uint8_t>(400))}));
  Format f;
  EXPECT_EQ(Probe(path, f), WAVE_ERR_FORMAT);
  EXPECT_EQ(Open(path, f), WAVE_ERR_FORMAT);
  // A chunk head cut off by the 50/56-byte tries is retried with more bytes.
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 16, 2), Chunk("junk", std::vector<uint8_t>(2)),
                             Chunk("data", std::vector<uint8_t>(400))}));
  EXPECT_EQ(Probe(path, f), WAVE_OK);
  EXPECT_EQ(f.dataOffset, 36 + 10 + 8);
  EXPECT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(f.dataSize, 400u);
}

TEST_F(WaveReaderTest, OpenRefusesLayoutsItCannotRead) {
  const auto path = dir.file("twelve.wav");
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 12, 1), Chunk("data", std::vector<uint8_t>(400))}));
  Format f;
  EXPECT_EQ(Probe(path, f), WAVE_OK);  // the probe reports any layout
  EXPECT_EQ(f.bits, 12);
  EXPECT_EQ(Open(path, f), WAVE_ERR_FORMAT);
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 16, 3), Chunk("data", std::vector<uint8_t>(400))}));
  EXPECT_EQ(Open(path, f), WAVE_ERR_FORMAT);
  EXPECT_FALSE(g_waveFileState.reader.file);
  EXPECT_FALSE(g_waveFileState.reader.staging);
}

namespace {
// Reference model of the probe's and the open's tries: n bytes at a time
// (step bytes, up to `last`), retried only while the walk answers SHORT.
WaveResult ReferenceTries(const std::vector<uint8_t>& file, int32_t step, int32_t last) {
  WaveResult walk = WAVE_ERR_SHORT;
  for (int32_t n = step; n <= last; n += step) {
    if (file.size() < size_t(n)) return WAVE_ERR_OPEN;
    Format f;
    walk = Parse(file, f, size_t(n));
    if (walk != WAVE_ERR_SHORT) break;
  }
  return walk == WAVE_OK ? WAVE_OK : WAVE_ERR_FORMAT;
}
}  // namespace

TEST_F(WaveReaderTest, TruncationSweepMatchesTheReferenceTries) {
  const auto plain = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("data", std::vector<uint8_t>(1100, 7))});
  // Chunk heads that fall across the 50/56-byte tries, then bodies that do not.
  const auto extras = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("LIST", std::vector<uint8_t>(2)),
                            Chunk("junk", {}), Chunk("data", std::vector<uint8_t>(800, 9))});
  const auto path = dir.file("prefix.wav");
  int opened = 0;
  for (const auto* whole : {&plain, &extras}) {
    for (size_t length = 0; length <= 1100; ++length) {
      std::vector<uint8_t> prefix(whole->begin(), whole->begin() + std::min(length, whole->size()));
      Format walked;
      const WaveResult walk = Parse(prefix, walked);
      if (prefix.size() < 44) {
        EXPECT_EQ(walk, WAVE_ERR_SHORT);
      }
      WriteFileBytes(path, prefix);
      Format probed, open;
      EXPECT_EQ(Probe(path, probed), ReferenceTries(prefix, 50, 500)) << length;
      const WaveResult openResult = Open(path, open);
      EXPECT_EQ(openResult, ReferenceTries(prefix, 56, 1064)) << length;
      if (openResult == WAVE_OK) {
        ++opened;
        EXPECT_EQ(open.dataSize, walked.dataSize);
        int32_t l, r;
        for (int32_t p : {-1, 0, 1, 100, 300000}) EXPECT_EQ(WaveGetSample(p, l, r), WAVE_OK);
        WaveCloseRead();
      }
    }
  }
  EXPECT_GT(opened, 1500);
}

TEST_F(WaveReaderTest, ChunkHeadCutByTheFirstTryIsRetried) {
  const auto path = dir.file("extras.wav");
  const auto bytes = Riff({wavbytes::Fmt(44100, 16, 2), Chunk("LIST", std::vector<uint8_t>(2)),
                           Chunk("junk", {}), Chunk("data", std::vector<uint8_t>(800, 9))});
  WriteFileBytes(path, bytes);
  Format f;
  Format first;
  ASSERT_EQ(Parse(bytes, first, 50), WAVE_ERR_SHORT);
  ASSERT_EQ(Parse(bytes, first, 56), WAVE_ERR_SHORT);
  EXPECT_EQ(Probe(path, f), WAVE_OK);
  EXPECT_EQ(f.dataOffset, 36 + 10 + 8 + 8);
  EXPECT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(f.dataSize, 800u);
}

// ---------------------------------------------------------- frame fetch

#ifndef _WIN32  // libsndfile is Linux's here
TEST_F(WaveReaderTest, EveryLayoutReadsBackWhatTheWriterWrote) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> sample(-32768, 32767);
  std::vector<std::pair<int32_t, int32_t>> frames(250000);
  for (auto& f : frames) f = {sample(rng), sample(rng)};
  for (auto [bits, channels] : {std::pair{16, 2}, {16, 1}, {8, 2}, {8, 1}}) {
    const auto ours = dir.file("ours.wav"), theirs = dir.file("theirs.wav");
    ASSERT_EQ(WaveCreate(ours.c_str(), 44100, bits, channels, 0), WAVE_OK);
    for (auto [l, r] : frames) ASSERT_EQ(WavePutSample(l, r), WAVE_OK);
    ASSERT_EQ(WaveClose(), WAVE_OK);

    // The same audio through libsndfile: it writes what our writer would.
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8);
    SNDFILE* sf = sf_open(theirs.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr);
    std::vector<short> interleaved;
    for (auto [l, r] : frames) {
      if (channels == 2) {
        interleaved.push_back(short(bits == 16 ? l : (l >> 8) << 8));
        interleaved.push_back(short(bits == 16 ? r : (r >> 8) << 8));
      } else {
        const int32_t m = (l + r) / 2;
        interleaved.push_back(short(bits == 16 ? m : (m >> 8) << 8));
      }
    }
    sf_write_short(sf, interleaved.data(), sf_count_t(interleaved.size()));
    sf_close(sf);

    for (const auto& path : {ours, theirs}) {
      Format f;
      ASSERT_EQ(Open(path, f), WAVE_OK) << path;
      EXPECT_EQ(f.bits, bits);
      EXPECT_EQ(f.channels, channels);
      for (size_t i = 0; i < frames.size(); ++i) {
        int32_t l, r;
        ASSERT_EQ(WaveGetSample(int32_t(i), l, r), WAVE_OK);
        const size_t k = channels * i;
        const int32_t el = interleaved[k], er = channels == 2 ? interleaved[k + 1] : el;
        ASSERT_EQ(l, el) << bits << "x" << channels << " frame " << i << " " << path;
        ASSERT_EQ(r, er) << bits << "x" << channels << " frame " << i << " " << path;
      }
      EXPECT_EQ(Get(int32_t(frames.size()) + 10), std::make_pair(0, 0)) << "past the end";
      WaveCloseRead();
    }
  }
}
#endif

TEST_F(WaveReaderTest, EightBitBytesAndMono) {
  const auto path = dir.file("u8.wav");
  WriteFileBytes(path, Riff({wavbytes::Fmt(8000, 8, 1), Chunk("data", {0x00, 0x80, 0xFF, 0x81, 0x80, 0x80, 0x80, 0x80,
                                                                0x80, 0x80, 0x80, 0x80})}));
  Format f;
  ASSERT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(Get(0), std::make_pair(-32768, -32768));
  EXPECT_EQ(Get(1), std::make_pair(0, 0));
  EXPECT_EQ(Get(2), std::make_pair(32512, 32512));
  EXPECT_EQ(Get(3), std::make_pair(256, 256));
  EXPECT_EQ(Get(4), std::make_pair(0, 0)) << "the silence fill 0x80 reads as 0";
  EXPECT_EQ(Get(-1), std::make_pair(0, 0));
}

TEST_F(WaveReaderTest, TheSlidingWindow) {
  const auto path = dir.file("window.wav");
  const int32_t frames = 102400 * 3 + 500;
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 16, 2), Chunk("data", CountingStereo16(frames))}));
  auto expect = [](int32_t i) { return std::make_pair(i % 30000, -(i % 30000)); };
  Format f;
  ASSERT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(Get(-5), std::make_pair(0, 0)) << "the previous half is silent after opening";
  EXPECT_EQ(Get(7), expect(7));
  EXPECT_EQ(Get(102400), expect(102400));
  EXPECT_EQ(g_waveFileState.reader.windowNumber, 1);
  EXPECT_EQ(Get(0), expect(0)) << "the previous window is still there";
  EXPECT_EQ(Get(204800), expect(204800));
  EXPECT_EQ(g_waveFileState.reader.windowNumber, 2);
  EXPECT_EQ(Get(0), expect(102400)) << "further back reads the first frame of the previous window";
  EXPECT_EQ(Get(102401), expect(102401));
  EXPECT_EQ(Get(frames - 1), expect(frames - 1));
  EXPECT_EQ(Get(frames), std::make_pair(0, 0));
  EXPECT_EQ(Get(2000000), std::make_pair(0, 0));
  EXPECT_EQ(Get(frames - 1), std::make_pair(0, 0)) << "far behind: first frame of the previous, silent window";
}

TEST_F(WaveReaderTest, DataSizeDoesNotBoundTheReading) {
  const auto path = dir.file("trailing.wav");
  auto bytes = Riff({wavbytes::Fmt(44100, 16, 1), Chunk("data", {1, 0, 2, 0}), Chunk("LIST", {3, 0, 4, 0})});
  WriteFileBytes(path, bytes);
  Format f;
  ASSERT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(f.dataSize, 4u);
  EXPECT_EQ(Get(1).first, 2);
  EXPECT_EQ(Get(2).first, 0x494C);  // "LI" of the chunk after the data
}

TEST_F(WaveReaderTest, PositionsBeyondTheByteRangeReadSilence) {
  const auto path = dir.file("far.wav");
  WriteFileBytes(path, Riff({wavbytes::Fmt(44100, 16, 2), Chunk("data", CountingStereo16(1000))}));
  Format f;
  ASSERT_EQ(Open(path, f), WAVE_OK);
  EXPECT_EQ(Get(INT32_MAX), std::make_pair(0, 0));
  EXPECT_EQ(Get(INT32_MAX / 4), std::make_pair(0, 0));
  EXPECT_EQ(Get(INT32_MAX / 4 + 1), std::make_pair(0, 0));
  EXPECT_EQ(Get(INT32_MIN), std::make_pair(0, 0));
}

TEST_F(WaveReaderTest, ClosedReaderAnswersOpenErrorAndWritesNothing) {
  int32_t l = 7, r = 8;
  EXPECT_EQ(WaveGetSample(0, l, r), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveGetSampleLinear(0.5, l, r), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveGetSampleCubic(0.5, l, r), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveGetSampleSinc(0.5, l, r, 10), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveGetSampleSinc(5e12, l, r, 10), WAVE_ERR_OPEN);
  double dl = 1, dr = 2;
  EXPECT_EQ(WaveGetSampleCubicReal(0.5, dl, dr), WAVE_ERR_OPEN);
  EXPECT_EQ(l, 7);
  EXPECT_EQ(r, 8);
  EXPECT_EQ(dl, 1);
  EXPECT_EQ(WaveCloseRead(), WAVE_OK);
  EXPECT_EQ(WaveCloseRead(), WAVE_OK);
}

TEST_F(WaveReaderTest, OpeningAgainClosesTheFirstFile) {
  const auto a = dir.file("a.wav"), b = dir.file("b.wav");
  // Files shorter than the open's first 56-byte try do not open: give 12 bytes of data.
  WriteFileBytes(a, Riff({wavbytes::Fmt(44100, 16, 1), Chunk("data", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}));
  WriteFileBytes(b, Riff({wavbytes::Fmt(44100, 16, 1), Chunk("data", {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}));
  Format f;
  ASSERT_EQ(Open(a, f), WAVE_OK);
  ASSERT_EQ(Open(b, f), WAVE_OK);
  EXPECT_EQ(Get(0).first, 2);
  ASSERT_EQ(Open(dir.file("missing.wav"), f), WAVE_ERR_OPEN);
  int32_t l, r;
  EXPECT_EQ(WaveGetSample(0, l, r), WAVE_ERR_OPEN);
}

TEST_F(WaveReaderTest, ReaderAndWriterWorkSideBySide) {
  const auto in = dir.file("in.wav"), out = dir.file("out.wav");
  WriteFileBytes(in, Riff({wavbytes::Fmt(32000, 16, 2), Chunk("data", CountingStereo16(300000))}));
  Format f;
  ASSERT_EQ(Open(in, f), WAVE_OK);
  ASSERT_EQ(WaveCreate(out.c_str(), f.rate, 16, 2, 0), WAVE_OK);
  for (int32_t i = 0; i < 300000; ++i) {
    auto [l, r] = Get(i);
    ASSERT_EQ(WavePutSample(l, r), WAVE_OK);
  }
  ASSERT_EQ(WaveClose(), WAVE_OK);
  WaveCloseRead();
  const auto a = testsupport::ReadFileBytes(in), b = testsupport::ReadFileBytes(out);
  EXPECT_EQ(a, b);
}

TEST_F(WaveReaderTest, BulkFetchEqualsFrameByFrameFetch) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int32_t> sample(-32768, 32767);
  const auto path = dir.file("bulk.wav");
  for (auto [bits, channels] : {std::pair{16, 2}, {16, 1}, {8, 2}, {8, 1}}) {
    ASSERT_EQ(WaveCreate(path.c_str(), 44100, bits, channels, 0), WAVE_OK);
    for (int i = 0; i < 500000; ++i) ASSERT_EQ(WavePutSample(sample(rng), sample(rng)), WAVE_OK);
    ASSERT_EQ(WaveClose(), WAVE_OK);
    // The same walk of (position, count) requests, mostly forward with look-backs.
    std::vector<std::pair<int32_t, uint32_t>> requests;
    std::uniform_int_distribution<int32_t> jump(-120000, 200000);
    std::uniform_int_distribution<uint32_t> count(0, 150000);
    int32_t at = -50;
    for (int k = 0; k < 40; ++k) {
      requests.push_back({at, count(rng)});
      at = std::max(-200000, at + jump(rng));
    }
    requests.push_back({INT32_MAX - 10, 20});
    Format f;
    ASSERT_EQ(Open(path, f), WAVE_OK);
    std::vector<int16_t> bulk;
    for (auto [p, n] : requests) {
      std::vector<int16_t> got(2 * size_t{n});
      ASSERT_EQ(WaveGetFrames(p, n, got.data()), WAVE_OK);
      bulk.insert(bulk.end(), got.begin(), got.end());
    }
    ASSERT_EQ(Open(path, f), WAVE_OK);
    std::vector<int16_t> single;
    for (auto [p, n] : requests) {
      for (uint32_t j = 0; j < n; ++j) {
        const int64_t q = int64_t{p} + j;
        int32_t l = 0, r = 0;
        if (q <= INT32_MAX) {
          ASSERT_EQ(WaveGetSample(int32_t(q), l, r), WAVE_OK);
        }
        single.push_back(int16_t(l));
        single.push_back(int16_t(r));
      }
    }
    EXPECT_TRUE(bulk == single) << bits << "x" << channels;
    WaveCloseRead();
  }
  int16_t none[2] = {5, 5};
  EXPECT_EQ(WaveGetFrames(0, 1, none), WAVE_ERR_OPEN);
  EXPECT_EQ(none[0], 5);
}
