// The streaming writer: header bytes, block boundaries, conversions, failure
// paths, and what independent readers (libsndfile, SoX) make of the files.
#include <gtest/gtest.h>
#include <signal.h>
#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
#include <sndfile.h>
#include <sys/resource.h>
#endif
#include <sys/stat.h>
#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <cerrno>
#include <climits>
#include <random>
#include <thread>
#include <tuple>

#include "tests/test_support.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

using testsupport::ReadFileBytes;
using testsupport::ReadLe16;
using testsupport::ReadLe32;
using testsupport::TempDir;

namespace {

class WaveWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { g_waveFileState = WaveFileState{}; }
  void TearDown() override { g_waveFileState = WaveFileState{}; }
  TempDir dir;
};

struct Frame {
  int32_t left, right;
};

[[maybe_unused]] std::vector<Frame> RandomFrames(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> sample(-32768, 32767);
  std::vector<Frame> frames(count);
  for (auto& f : frames) f = {sample(rng), sample(rng)};
  return frames;
}

#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
// Reads a file with libsndfile as 16-bit stereo-or-mono shorts.
struct SndRead {
  SF_INFO info{};
  std::vector<short> samples;
};

SF_INFO SndfileInfo(const std::string& path) {
  SF_INFO info{};
  if (SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info)) sf_close(f);
  return info;
}
#endif

WaveHeader ReadHeader(const std::string& path) {
  WaveHeader h{};
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    if (std::fread(&h, 1, sizeof h, f) != sizeof h) h = WaveHeader{};
    std::fclose(f);
  }
  return h;
}

#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
SndRead ReadWithSndfile(const std::string& path) {
  SndRead r;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info);
  if (!f) return r;
  r.samples.resize(static_cast<size_t>(r.info.frames * r.info.channels));
  sf_read_short(f, r.samples.data(), static_cast<sf_count_t>(r.samples.size()));
  sf_close(f);
  return r;
}
#endif

}  // namespace

// ------------------------------------------------------------------ header

TEST(WaveHeaderTest, FieldsForEveryLayoutAndRate) {
  for (int32_t rate : {32000, 44100, 48000}) {
    for (auto [bits, channels] : {std::pair{16, 2}, {16, 1}, {8, 2}, {8, 1}}) {
      WaveHeader h{};
      int32_t length = 0;
      ASSERT_EQ(WaveMakeHeader(h, rate, bits, channels, 1000, length), WAVE_OK);
      EXPECT_EQ(length, 44);
      std::vector<uint8_t> b(44);
      std::memcpy(b.data(), &h, 44);
      EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
      EXPECT_EQ(ReadLe32(b, 4), 1036u);
      EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
      EXPECT_EQ(ReadLe32(b, 16), 16u);
      EXPECT_EQ(ReadLe16(b, 20), 1);
      EXPECT_EQ(ReadLe16(b, 22), channels);
      EXPECT_EQ(ReadLe32(b, 24), uint32_t(rate));
      const uint32_t align = bits * channels / 8;
      EXPECT_EQ(ReadLe32(b, 28), rate * align);
      EXPECT_EQ(ReadLe16(b, 32), align);
      EXPECT_EQ(ReadLe16(b, 34), bits);
      EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
      EXPECT_EQ(ReadLe32(b, 40), 1000u);
    }
  }
}

TEST(WaveHeaderTest, ByteRatesOfTheRecorderLayouts) {
  WaveHeader h{};
  int32_t length = 0;
  WaveMakeHeader(h, 44100, 16, 2, 0, length);
  EXPECT_EQ(h.avgBytesPerSec, 176400u);
  EXPECT_EQ(h.blockAlign, 4);
  WaveMakeHeader(h, 32000, 16, 2, 0, length);
  EXPECT_EQ(h.avgBytesPerSec, 128000u);
  WaveMakeHeader(h, 48000, 16, 2, 0, length);
  EXPECT_EQ(h.avgBytesPerSec, 192000u);
  WaveMakeHeader(h, 44100, 8, 1, 0, length);
  EXPECT_EQ(h.avgBytesPerSec, 44100u);
  EXPECT_EQ(h.blockAlign, 1);
}

TEST(WaveHeaderTest, TwelveBitMonoTruncatesBlockAlignBeforeTheByteRate) {
  WaveHeader h{};
  int32_t length = 0;
  WaveMakeHeader(h, 44100, 12, 1, 0, length);
  EXPECT_EQ(h.blockAlign, 1);             // 12 / 8
  EXPECT_EQ(h.avgBytesPerSec, 44100u);    // rate x 1, not rate x 12 / 8
}

// ------------------------------------------------------------ create/close

TEST_F(WaveWriterTest, CreateThenCloseGivesA44ByteFileWithRiffSize36) {
  const auto path = dir.file("empty.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  const auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(ReadLe32(bytes, 4), 36u);
  EXPECT_EQ(ReadLe32(bytes, 40), 0u);
}

TEST_F(WaveWriterTest, ProvisionalHeaderCarriesTheGivenDataSizeUntilTheFirstBlock) {
  const auto path = dir.file("prov.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 12345), WAVE_OK);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(WavePutSample(i, -i), WAVE_OK);
  auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 44u);  // staged frames are only in memory
  EXPECT_EQ(ReadLe32(bytes, 40), 12345u);
  EXPECT_EQ(ReadLe32(bytes, 4), 12345u + 36u);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  bytes = ReadFileBytes(path);
  EXPECT_EQ(ReadLe32(bytes, 40), 400u);
}

TEST_F(WaveWriterTest, BlockBoundaryFlushesExactlyOnceAt102400Frames) {
  const auto path = dir.file("block.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  for (int i = 0; i < 102399; ++i) ASSERT_EQ(WavePutSample(1, 2), WAVE_OK);
  EXPECT_EQ(ReadFileBytes(path).size(), 44u);
  ASSERT_EQ(WavePutSample(1, 2), WAVE_OK);
  auto bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 44u + 409600u);
  // The header follows the flushed block at once.
  EXPECT_EQ(ReadLe32(bytes, 40), 409600u);
  EXPECT_EQ(ReadLe32(bytes, 4), 409636u);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 44u + 409600u);
  EXPECT_EQ(ReadLe32(bytes, 40), 409600u);
}

TEST_F(WaveWriterTest, OneFrameBeyondTheBlockIsWrittenAtClose) {
  const auto path = dir.file("block1.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  for (int i = 0; i < 102401; ++i) ASSERT_EQ(WavePutSample(i, i), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  const auto bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 44u + 409604u);
  EXPECT_EQ(ReadLe32(bytes, 40), 409604u);
  EXPECT_EQ(ReadLe32(bytes, 4), 409640u);
}

TEST_F(WaveWriterTest, FramesPerFlushFollowTheLayout) {
  for (auto [bits, channels, perFlush] : {std::tuple{16, 1, 204800}, {8, 2, 204800}, {8, 1, 409600}}) {
    const auto path = dir.file("layout.wav");
    ASSERT_EQ(WaveCreate(path.c_str(), 32000, bits, channels, 0), WAVE_OK);
    for (int i = 0; i < perFlush - 1; ++i) ASSERT_EQ(WavePutSample(0, 0), WAVE_OK);
    EXPECT_EQ(ReadFileBytes(path).size(), 44u);
    ASSERT_EQ(WavePutSample(0, 0), WAVE_OK);
    EXPECT_EQ(ReadFileBytes(path).size(), 44u + 409600u) << bits << "x" << channels;
    ASSERT_EQ(WaveClose(), WAVE_OK);
  }
}

// ------------------------------------------------------------ conversions

namespace {
// Writes the given frames in one layout and returns the data bytes.
std::vector<uint8_t> WriteAndReadData(const std::string& path, int bits, int channels,
                                      const std::vector<Frame>& frames) {
  EXPECT_EQ(WaveCreate(path.c_str(), 44100, bits, channels, 0), WAVE_OK);
  for (auto f : frames) EXPECT_EQ(WavePutSample(f.left, f.right), WAVE_OK);
  EXPECT_EQ(WaveClose(), WAVE_OK);
  auto bytes = ReadFileBytes(path);
  return {bytes.begin() + 44, bytes.end()};
}
}  // namespace

TEST_F(WaveWriterTest, SixteenBitStereoClampsAndKeepsLeftFirst) {
  const auto data = WriteAndReadData(dir.file("c.wav"), 16, 2, {{40000, -40000}, {-1, 1}});
  ASSERT_EQ(data.size(), 8u);
  EXPECT_EQ(int16_t(ReadLe16(data, 0)), 32767);
  EXPECT_EQ(int16_t(ReadLe16(data, 2)), -32768);
  EXPECT_EQ(int16_t(ReadLe16(data, 4)), -1);
  EXPECT_EQ(int16_t(ReadLe16(data, 6)), 1);
}

TEST_F(WaveWriterTest, SixteenBitMonoTruncatesTowardZero) {
  const auto data = WriteAndReadData(dir.file("m.wav"), 16, 1, {{-1, 0}, {3, 0}, {-3, 0}, {40000, 40000}});
  ASSERT_EQ(data.size(), 8u);
  EXPECT_EQ(int16_t(ReadLe16(data, 0)), 0);
  EXPECT_EQ(int16_t(ReadLe16(data, 2)), 1);
  EXPECT_EQ(int16_t(ReadLe16(data, 4)), -1);
  EXPECT_EQ(int16_t(ReadLe16(data, 6)), 32767);
}

TEST_F(WaveWriterTest, EightBitValuesShiftArithmeticallyAndClamp) {
  const std::vector<Frame> in = {{-1, 0}, {255, 256}, {32767, -32768}, {40000, -40000}};
  const auto data = WriteAndReadData(dir.file("8s.wav"), 8, 2, in);
  const std::vector<uint8_t> expected = {127, 128, 128, 129, 255, 0, 255, 0};
  EXPECT_EQ(data, expected);
}

TEST_F(WaveWriterTest, EightBitMonoAveragesThenConverts) {
  const auto data = WriteAndReadData(dir.file("8m.wav"), 8, 1, {{-300, 0}, {32767, 32767}, {-32768, -32768}});
  const std::vector<uint8_t> expected = {127, 255, 0};
  EXPECT_EQ(data, expected);
}

TEST_F(WaveWriterTest, OtherLayoutsStoreNothingAndKeepTheProvisionalHeader) {
  const auto path = dir.file("12.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 12, 1, 777), WAVE_OK);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(WavePutSample(i, i), WAVE_OK);
  EXPECT_EQ(WaveClose(), WAVE_OK);
  const auto bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(ReadLe16(bytes, 32), 1);
  EXPECT_EQ(ReadLe32(bytes, 28), 44100u);
  EXPECT_EQ(ReadLe32(bytes, 40), 777u);
}

// -------------------------------------------- independent readers agree

#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
TEST_F(WaveWriterTest, EveryLayoutReadsBackThroughLibsndfile) {
  const auto frames = RandomFrames(250000, 7);  // crosses at least one block in every layout
  for (auto [bits, channels] : {std::pair{16, 2}, {16, 1}, {8, 2}, {8, 1}}) {
    const auto path = dir.file("snd.wav");
    ASSERT_EQ(WaveCreate(path.c_str(), 48000, bits, channels, 0), WAVE_OK);
    for (auto f : frames) ASSERT_EQ(WavePutSample(f.left, f.right), WAVE_OK);
    ASSERT_EQ(WaveClose(), WAVE_OK);

    const auto r = ReadWithSndfile(path);
    ASSERT_EQ(r.info.frames, sf_count_t(frames.size())) << bits << "x" << channels;
    EXPECT_EQ(r.info.channels, channels);
    EXPECT_EQ(r.info.samplerate, 48000);
    EXPECT_EQ(r.info.format, SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8));
    for (size_t i = 0; i < frames.size(); ++i) {
      const auto [l, rr] = frames[i];
      if (bits == 16 && channels == 2) {
        ASSERT_EQ(r.samples[2 * i], l);
        ASSERT_EQ(r.samples[2 * i + 1], rr);
      } else if (bits == 16) {
        ASSERT_EQ(r.samples[i], (l + rr) / 2);
      } else if (channels == 2) {
        // libsndfile reads unsigned 8-bit u as (u - 128) << 8.
        ASSERT_EQ(r.samples[2 * i], (l >> 8) << 8);
        ASSERT_EQ(r.samples[2 * i + 1], (rr >> 8) << 8);
      } else {
        ASSERT_EQ(r.samples[i], (((l + rr) / 2) >> 8) << 8);
      }
    }
  }
}

TEST_F(WaveWriterTest, SoxReportsTheFormatAndTheSamples) {
  const auto frames = RandomFrames(5000, 11);
  for (auto [bits, channels] : {std::pair{16, 2}, {16, 1}, {8, 2}, {8, 1}}) {
    const auto path = dir.file("sox.wav");
    ASSERT_EQ(WaveCreate(path.c_str(), 32000, bits, channels, 0), WAVE_OK);
    for (auto f : frames) ASSERT_EQ(WavePutSample(f.left, f.right), WAVE_OK);
    ASSERT_EQ(WaveClose(), WAVE_OK);

    int status = -1;
    std::string info;
    for (const char* flag : {"-c", "-r", "-b", "-s"}) {
      info += testsupport::RunCommand(std::string("soxi ") + flag + " '" + path + "' 2>&1", &status);
      ASSERT_EQ(status, 0) << info;
    }
    EXPECT_EQ(info, std::to_string(channels) + "\n32000\n" + std::to_string(bits) + "\n5000\n");

    // SoX converts to signed 16-bit raw; the 16-bit stereo data must come out unchanged.
    if (bits == 16 && channels == 2) {
      const auto raw = testsupport::RunCommand("sox '" + path + "' -t raw -e signed -b 16 -", &status);
      ASSERT_EQ(status, 0);
      ASSERT_EQ(raw.size(), frames.size() * 4);
      for (size_t i = 0; i < frames.size(); ++i) {
        int16_t l, r;
        std::memcpy(&l, raw.data() + 4 * i, 2);
        std::memcpy(&r, raw.data() + 4 * i + 2, 2);
        ASSERT_EQ(l, frames[i].left);
        ASSERT_EQ(r, frames[i].right);
      }
    }
  }
}
#endif

// -------------------------------------------------------------- failures

TEST_F(WaveWriterTest, ClosedWriterRefusesFramesAndCloseWithoutTouchingAnything) {
  EXPECT_EQ(WavePutSample(1, 1), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveClose(), WAVE_ERR_WRITE);
  const auto path = dir.file("a.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  EXPECT_EQ(WavePutSample(1, 1), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveClose(), WAVE_ERR_WRITE);
  EXPECT_EQ(ReadFileBytes(path).size(), 44u);
}

TEST_F(WaveWriterTest, CreateWhileOpenCompletesTheFirstFile) {
  const auto first = dir.file("first.wav");
  ASSERT_EQ(WaveCreate(first.c_str(), 44100, 16, 2, 0), WAVE_OK);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(WavePutSample(i, i), WAVE_OK);
  ASSERT_EQ(WaveCreate(dir.file("second.wav").c_str(), 44100, 16, 2, 0), WAVE_OK);
  const auto bytes = ReadFileBytes(first);
  EXPECT_EQ(bytes.size(), 84u);
  EXPECT_EQ(ReadLe32(bytes, 40), 40u);
  EXPECT_EQ(WaveClose(), WAVE_OK);
}

TEST_F(WaveWriterTest, UnopenablePathsGiveOpenErrors) {
  EXPECT_EQ(WaveCreate(dir.file("no/such/folder/x.wav").c_str(), 44100, 16, 2, 0), WAVE_ERR_OPEN);
  EXPECT_EQ(WavePutSample(1, 1), WAVE_ERR_WRITE);  // still closed
  EXPECT_EQ(WaveCreate(dir.path().c_str(), 44100, 16, 2, 0), WAVE_ERR_OPEN);  // a folder
}

#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
TEST_F(WaveWriterTest, DevFullRefusesTheHeader) {
  if (!testsupport::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(WaveCreate("/dev/full", 44100, 16, 2, 0), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveWriterErrno(), ENOSPC);
  EXPECT_EQ(WavePutSample(1, 1), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveClose(), WAVE_ERR_WRITE);
  EXPECT_TRUE(testsupport::FileExists("/dev/full"));  // a failed create removes only files it made
}

TEST_F(WaveWriterTest, CreateThatCannotWriteItsHeaderLeavesNoFile) {
  const auto path = dir.file("noroom.wav");
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{10, 10};  // not even the 44-byte header fits
    setrlimit(RLIMIT_FSIZE, &rl);
    if (WaveCreate(path.c_str(), 44100, 16, 2, 0) != WAVE_ERR_WRITE) return 10;
    if (WaveWriterErrno() != EFBIG) return 11;
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(testsupport::FileExists(path));
}

TEST_F(WaveWriterTest, PipeGetsOneHeaderAndEveryFrameInOrder) {
  // A pipe cannot seek: the writer streams the header it was created with,
  // then the frames, and never writes a header into the middle of the stream.
  const auto path = dir.file("stream.wav");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::vector<uint8_t> received;
  std::thread reader([&] {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) received.insert(received.end(), buffer, buffer + n);
    std::fclose(f);
  });
  const uint32_t frameCount = 102400 * 2 + 77;  // two full blocks and a partial one
  ASSERT_EQ(WaveCreate(path.c_str(), 48000, 16, 2, 0), WAVE_OK);
  for (uint32_t i = 0; i < frameCount; ++i) ASSERT_EQ(WavePutSample(int16_t(i), int16_t(~i)), WAVE_OK);
  EXPECT_EQ(WaveClose(), WAVE_OK);
  reader.join();
  ASSERT_EQ(received.size(), 44u + 4u * frameCount);
  EXPECT_EQ(std::memcmp(received.data(), "RIFF", 4), 0);
  EXPECT_EQ(ReadLe32(received, 40), 0u);  // the provisional size: a pipe is never rewritten
  for (uint32_t i = 0; i < frameCount; i += 1009) {
    int16_t frame[2];
    std::memcpy(frame, &received[44 + 4 * size_t{i}], 4);
    ASSERT_EQ(frame[0], int16_t(i)) << i;
    ASSERT_EQ(frame[1], int16_t(~i)) << i;
  }
}
#endif

TEST_F(WaveWriterTest, HeaderArithmeticTakesAnyArguments) {
  // Bits x channels past 32 bits must not overflow; the fields keep their low bits.
  WaveHeader h{};
  int32_t length = 0;
  ASSERT_EQ(WaveMakeHeader(h, INT32_MAX, INT32_MAX, INT32_MAX, 0, length), WAVE_OK);
  const int64_t blockAlign = (int64_t{INT32_MAX} * INT32_MAX) / 8;
  EXPECT_EQ(h.blockAlign, static_cast<uint16_t>(blockAlign));
  EXPECT_EQ(h.avgBytesPerSec, static_cast<uint32_t>(uint64_t{INT32_MAX} * static_cast<uint32_t>(blockAlign)));
  ASSERT_EQ(WaveMakeHeader(h, 44100, 16, 2, 8, length), WAVE_OK);
  EXPECT_EQ(h.blockAlign, 4);
  EXPECT_EQ(h.avgBytesPerSec, 176400u);
}

#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
TEST_F(WaveWriterTest, ShortBlockWriteClosesTheFileWithWholeFramesCounted) {
  const auto path = dir.file("short.wav");
  // The file system refuses bytes beyond 44 + 409,600 + 1,001: the second
  // block is cut mid-frame, and the header must count only the whole frames.
  const rlim_t limit = 44 + 409600 + 1001;
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    if (WaveCreate(path.c_str(), 44100, 16, 2, 0) != WAVE_OK) return 10;
    for (int i = 0; i < 102400; ++i) {
      if (WavePutSample(i & 0x7FFF, -(i & 0x7FFF)) != WAVE_OK) return 11;
    }
    for (int i = 0; i < 102399; ++i) {
      if (WavePutSample(1, 1) != WAVE_OK) return 12;
    }
    if (WavePutSample(1, 1) != WAVE_ERR_WRITE) return 13;
    if (WavePutSample(1, 1) != WAVE_ERR_WRITE) return 14;  // the writer closed itself
    if (WaveClose() != WAVE_ERR_WRITE) return 15;
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const auto bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), limit - 1);  // the cut frame's odd byte is trimmed off
  EXPECT_EQ(ReadLe32(bytes, 40), 409600u + 1000u);  // 250 whole frames of the second block
  EXPECT_EQ(ReadLe32(bytes, 4), 409600u + 1000u + 36u);
  const auto r = ReadWithSndfile(path);
  EXPECT_EQ(r.info.frames, 102400 + 250);
}

TEST_F(WaveWriterTest, KilledWriterLeavesEveryFlushedFrameReadable) {
  const auto path = dir.file("crash.wav");
  const auto frames = RandomFrames(102400 * 3 + 5000, 3);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    if (WaveCreate(path.c_str(), 44100, 16, 2, 0) != WAVE_OK) _exit(1);
    for (auto f : frames) WavePutSample(f.left, f.right);
    const char ready = 'r';
    (void)!write(pipeFds[1], &ready, 1);
    pause();  // killed here: three blocks flushed, 5,000 frames staged
    _exit(0);
  }
  close(pipeFds[1]);
  char ready = 0;
  ASSERT_EQ(read(pipeFds[0], &ready, 1), 1);
  close(pipeFds[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  const auto r = ReadWithSndfile(path);
  ASSERT_EQ(r.info.frames, 102400 * 3);
  for (size_t i = 0; i < 102400 * 3; ++i) {
    ASSERT_EQ(r.samples[2 * i], frames[i].left);
    ASSERT_EQ(r.samples[2 * i + 1], frames[i].right);
  }
  int soxStatus = -1;
  const auto count = testsupport::RunCommand("soxi -s '" + path + "'", &soxStatus);
  EXPECT_EQ(soxStatus, 0);
  EXPECT_EQ(count, std::to_string(102400 * 3) + "\n");
  const auto raw = testsupport::RunCommand("sox '" + path + "' -t raw -", &soxStatus);
  ASSERT_EQ(raw.size(), 102400u * 3 * 4);
  EXPECT_EQ(std::memcmp(raw.data(), ReadFileBytes(path).data() + 44, raw.size()), 0);
}
#endif

TEST_F(WaveWriterTest, SizeLimitRefusesTheFrameThatWouldWrapTheHeader) {
  const auto path = dir.file("limit.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 48000, 16, 2, 0), WAVE_OK);
  const int64_t maxFrames = kWaveMaxDataBytes / 4;  // 1,073,741,812 frames
  ASSERT_EQ(WaveTestSetFramesWritten(maxFrames - 3), WAVE_OK);
  EXPECT_EQ(WaveFramesLeft(), 3u);
  EXPECT_EQ(WaveBytesHeld(), uint64_t(maxFrames - 3) * 4);
  EXPECT_EQ(WavePutSample(1, 2), WAVE_OK);
  EXPECT_EQ(WavePutSample(3, 4), WAVE_OK);
  EXPECT_EQ(WavePutSample(5, 6), WAVE_OK);
  EXPECT_EQ(WaveFramesLeft(), 0u);
  // Refused: like every other failed write, the writer completes and closes the file.
  EXPECT_EQ(WavePutSample(7, 8), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveWriterErrno(), EFBIG);
  EXPECT_EQ(WaveBytesHeld(), 0u);
  EXPECT_EQ(WaveClose(), WAVE_ERR_WRITE);  // nothing is open any more

  // The header states the largest size that fits and never wraps.
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  WaveHeader h{};
  ASSERT_EQ(std::fread(&h, 1, 44, f), 44u);
  EXPECT_EQ(h.dataSize, uint32_t(maxFrames * 4));
  EXPECT_EQ(h.riffSize, uint32_t(maxFrames * 4 + 36));
  ASSERT_EQ(fseeko(f, 44 + (maxFrames - 3) * 4, SEEK_SET), 0);
  int16_t tail[6];
  ASSERT_EQ(std::fread(tail, 2, 6, f), 6u);
  std::fclose(f);
  EXPECT_EQ(tail[0], 1);
  EXPECT_EQ(tail[5], 6);
#ifndef _WIN32
  EXPECT_EQ(SndfileInfo(path).frames, maxFrames);
#endif
}

TEST_F(WaveWriterTest, SizeLimitAcrossABlockFlush) {
  const auto path = dir.file("limit2.wav");
  ASSERT_EQ(WaveCreate(path.c_str(), 48000, 8, 1, 0), WAVE_OK);
  const int64_t maxFrames = kWaveMaxDataBytes;  // one byte per frame
  ASSERT_EQ(WaveTestSetFramesWritten(maxFrames - 409600 - 10), WAVE_OK);
  for (int i = 0; i < 409600 + 10; ++i) ASSERT_EQ(WavePutSample(0, 0), WAVE_OK) << i;
  EXPECT_EQ(WavePutSample(0, 0), WAVE_ERR_WRITE);
  EXPECT_EQ(WaveClose(), WAVE_ERR_WRITE);  // the refusal closed the file
  const auto h = ReadHeader(path);
  EXPECT_EQ(h.dataSize, kWaveMaxDataBytes);
  EXPECT_EQ(h.riffSize, kWaveMaxDataBytes + 36);
  // The file ends exactly at FAT32's limit of 4 GiB - 1 bytes, not past it.
  EXPECT_EQ(std::filesystem::file_size(path), 0xFFFFFFFFu);
}

TEST_F(WaveWriterTest, CreateNewRefusesATakenNameAndLeavesItAlone) {
  const auto path = dir.file("taken.wav");
  {
    std::ofstream(path, std::ios::binary) << "someone else's take";
  }
  EXPECT_EQ(WaveCreateNew(path.c_str(), 44100, 16, 2, 0), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveWriterErrno(), EEXIST);
  EXPECT_EQ(WaveWriterRate(), 0);  // nothing open
  EXPECT_EQ(std::filesystem::file_size(path), 19u) << "the other file was not truncated";

  const auto folder = dir.file("folder.wav");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(WaveCreateNew(folder.c_str(), 44100, 16, 2, 0), WAVE_ERR_OPEN);
  EXPECT_EQ(WaveWriterErrno(), EEXIST);

  const auto fresh = dir.file("fresh.wav");
  ASSERT_EQ(WaveCreateNew(fresh.c_str(), 44100, 16, 2, 0), WAVE_OK);
  ASSERT_EQ(WavePutSample(1, 2), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);
  EXPECT_EQ(ReadHeader(fresh).dataSize, 4u);
}

#if !defined(__SANITIZE_ADDRESS__)
#ifndef _WIN32  // libsndfile, SoX, fork, fifos and resource limits are Linux's here
TEST_F(WaveWriterTest, NoMemoryForTheStagingBufferCreatesNoFile) {
  const auto path = dir.file("nomem.wav");
  testsupport::WriteFileBytes(dir.file("in.wav"), {});
  const int status = testsupport::RunInChild([&] {
    // No room in the address space for another block of 400 KB.
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    if (pages == 0) return 20;
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + 64 * 1024;
    rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) return 21;
    // Blocks freed by earlier tests may still sit in the heap: take them all,
    // so that nothing of the staging buffer's size is left to hand out.
    std::vector<void*> held;
    while (void* block = std::malloc(409856)) held.push_back(block);
    if (WaveCreate(path.c_str(), 44100, 16, 2, 0) != WAVE_ERR_NOMEM) return 22;
    if (WavePutSample(1, 1) != WAVE_ERR_WRITE) return 23;
    int32_t rate, bits, channels;
    uint32_t size;
    if (WaveOpenRead(dir.file("in.wav").c_str(), rate, bits, channels, size) != WAVE_ERR_NOMEM) return 24;
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(testsupport::FileExists(path));
}
#endif
#endif
