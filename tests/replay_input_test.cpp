// The replay's input on its own, on Linux and (cross-built, under Wine) on
// Windows: files opened by their UTF-8 names through libsndfile, the layouts
// kept and refused, the lengths that stated sizes give, frames as 16-bit
// stereo.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "capture/raw_frame_queue.h"
#include "capture/replay/replay_input.h"
#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/utf8_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

void WriteUtf8File(const std::string& path, const Bytes& bytes) {
  std::FILE* f = OpenUtf8File(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  ASSERT_EQ(std::fclose(f), 0);
}

// `count` stereo 16-bit frames: left i * 7, right -i * 5.
Bytes StereoData(int count) {
  Bytes data;
  for (int i = 0; i < count; ++i) {
    wavbytes::AppendLe16(data, static_cast<uint16_t>(i * 7));
    wavbytes::AppendLe16(data, static_cast<uint16_t>(-i * 5));
  }
  return data;
}

std::vector<int16_t> ReadAll(ReplayInput& input, uint32_t chunk = 1000) {
  std::vector<int16_t> all;
  std::vector<int16_t> frames(2 * size_t{chunk});
  for (uint32_t n; (n = input.ReadStereo(frames.data(), chunk)) > 0;) {
    all.insert(all.end(), frames.begin(), frames.begin() + 2 * size_t{n});
  }
  return all;
}

class ReplayInputTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

}  // namespace

TEST_F(ReplayInputTest, AFileWithAJapaneseNameOpensAndReadsItsFrames) {
  const std::string path = dir.path() + "/録音 テスト.wav";
  // A title before the data.
  WriteUtf8File(path, wavbytes::Riff({wavbytes::Fmt(48000, 16, 2), wavbytes::Chunk("LIST", Bytes(26, 'x')),
                                      wavbytes::Chunk("data", StereoData(2500))}));
  ReplayInput input;
  std::string why;
  ASSERT_TRUE(input.Open(path, why)) << why;
  EXPECT_EQ(input.Layout().rate, 48000);
  EXPECT_EQ(input.Layout().channels, 2);
  EXPECT_EQ(input.Layout().keptBits, 16);
  EXPECT_EQ(input.Layout().encoding, "16-bit PCM");
  EXPECT_EQ(input.Layout().frames, 2500);
  const auto frames = ReadAll(input);
  ASSERT_EQ(frames.size(), 5000u);
  for (int i = 0; i < 2500; ++i) {
    ASSERT_EQ(frames[2 * i], static_cast<int16_t>(i * 7)) << i;
    ASSERT_EQ(frames[2 * i + 1], static_cast<int16_t>(-i * 5)) << i;
  }
  EXPECT_EQ(input.FramesRead(), 2500);
  EXPECT_FALSE(input.CutShort());
  EXPECT_EQ(input.ReadError(), "");
}

TEST_F(ReplayInputTest, EightBitMonoComesOutAsEqualSixteenBitChannels) {
  const std::string path = dir.file("mono8.wav");
  WriteUtf8File(path, wavbytes::Riff({wavbytes::Fmt(8000, 8, 1), wavbytes::Chunk("data", {0, 0x80, 0xFF, 0x81})}));
  ReplayInput input;
  std::string why;
  ASSERT_TRUE(input.Open(path, why)) << why;
  EXPECT_EQ(input.Layout().keptBits, 8);
  EXPECT_EQ(input.Layout().channels, 1);
  EXPECT_EQ(ReadAll(input), (std::vector<int16_t>{-32768, -32768, 0, 0, 32512, 32512, 256, 256}));
}

TEST_F(ReplayInputTest, LayoutsThatCannotBeKeptAreNamed) {
  const std::string path = dir.file("six.wav");
  WriteUtf8File(path, wavbytes::Riff({wavbytes::Fmt(44100, 24, 6), wavbytes::Chunk("data", Bytes(1800, 1))}));
  ReplayInput input;
  std::string why;
  ASSERT_TRUE(input.Open(path, why)) << why;
  EXPECT_EQ(input.Layout().keptBits, 0);
  EXPECT_EQ(input.Layout().channels, 6);
  EXPECT_EQ(input.Layout().encoding, "24-bit PCM");
  int16_t frames[8];
  EXPECT_EQ(input.ReadStereo(frames, 2), 0u);
}

TEST_F(ReplayInputTest, WideLayoutsComeOutAsTheirTopSixteenBitsAndKeepTheirOwnBytes) {
  // 24-bit stereo: the top 16 bits, shifted arithmetically.
  Bytes data24;
  for (uint32_t v : {0x123456u, 0xFFFFFFu, 0x800000u, 0x7FFFFFu, 0x0000FFu, 0xFFFF00u}) {
    for (int b = 0; b < 3; ++b) data24.push_back(static_cast<uint8_t>(v >> (8 * b)));
  }
  // 32-bit float mono: × 32768, floored and clamped; NaN as 0.
  Bytes dataFloat;
  for (float f : {0.5f, -0.00001f, 1.5f, -2.0f, 0.99999f, std::numeric_limits<float>::quiet_NaN()}) {
    uint32_t word;
    std::memcpy(&word, &f, 4);
    wavbytes::AppendLe32(dataFloat, word);
  }
  struct Case {
    const char* name;
    Bytes file, data;
    int32_t bits, channels;
    bool floating;
    std::vector<int16_t> frames;
  };
  const std::vector<Case> cases = {
      {"24-bit stereo", wavbytes::Riff({wavbytes::Fmt(44100, 24, 2), wavbytes::Chunk("data", data24)}), data24, 24, 2,
       false, {0x1234, -1, -32768, 32767, 0, -1}},
      {"float mono", wavbytes::Riff({wavbytes::Fmt(8000, 32, 1, 18, 3), wavbytes::Chunk("data", dataFloat)}),
       dataFloat, 32, 1, true, {16384, 16384, -1, -1, 32767, 32767, -32768, -32768, 32767, 32767, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("wide.wav");
    WriteUtf8File(path, c.file);
    ReplayInput input;
    std::string why;
    ASSERT_TRUE(input.Open(path, why)) << why;
    EXPECT_EQ(input.Layout().keptBits, c.bits);
    EXPECT_EQ(input.Layout().floating, c.floating);
    EXPECT_TRUE(input.Wide());
    RawFrameQueue raw(static_cast<uint32_t>(c.bits / 8 * c.channels));
    input.KeepRawFrames(&raw);
    EXPECT_EQ(ReadAll(input, 4), c.frames);
    // The frames as the file holds them, in order.
    Bytes kept(c.data.size());
    ASSERT_EQ(raw.Frames(), c.frames.size() / 2);
    EXPECT_EQ(raw.Take(kept.data(), raw.Frames()), c.frames.size() / 2);
    EXPECT_EQ(kept, c.data);
  }
}

TEST_F(ReplayInputTest, StatedSizesGiveTheLength) {
  const std::string path = dir.file("sizes.wav");
  Bytes file = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", StereoData(3000))});
  struct Case {
    uint32_t stated;
    int64_t frames, statedFrames;
  };
  for (const Case c : {Case{0, 3000, 3000}, Case{0xFFFFFFFFu, 3000, 3000}, Case{4000, 1000, 1000},
                       Case{40000, 3000, 10000}}) {
    SCOPED_TRACE(c.stated);
    wavbytes::PutLe32(file, 40, c.stated);
    WriteUtf8File(path, file);
    ReplayInput input;
    std::string why;
    ASSERT_TRUE(input.Open(path, why)) << why;
    EXPECT_EQ(input.Layout().frames, c.frames);
    EXPECT_EQ(input.Layout().statedFrames, c.statedFrames);
    EXPECT_EQ(ReadAll(input, 8192).size(), 2 * size_t(c.frames));
  }
}

TEST_F(ReplayInputTest, AFileThatCannotBeOpenedGivesLibsndfilesReason) {
  ReplayInput input;
  std::string why;
  EXPECT_FALSE(input.Open(dir.file("missing.wav"), why));
  EXPECT_FALSE(why.empty());
#ifndef _WIN32
  EXPECT_NE(why.find("No such file"), std::string::npos) << why;
#endif
  WriteUtf8File(dir.file("text.wav"), Bytes(300, 'x'));
  EXPECT_FALSE(input.Open(dir.file("text.wav"), why));
  EXPECT_EQ(why, "Format not recognised.");
}

TEST_F(ReplayInputTest, AHeaderWithNoRateOrNoChannelsSaysWhichRatherThanAnInternalError) {
  // libsndfile's own reason for these is "Internal error : SF_INFO struct incomplete."
  struct Case {
    int32_t rate, channels;
    const char* why;
  };
  for (const Case c : {Case{0, 2, "the WAV header gives a sample rate of 0 Hz"},
                       Case{44100, 0, "the WAV header gives 0 channels"}}) {
    const std::string path = dir.file("empty-format.wav");
    // The format chunk comes after a chunk of odd size and its pad byte.
    Bytes list = wavbytes::Chunk("LIST", Bytes(13, 'x'));
    list.push_back(0);
    WriteUtf8File(path, wavbytes::Riff({list, wavbytes::Fmt(c.rate, 16, c.channels),
                                        wavbytes::Chunk("data", StereoData(10))}));
    ReplayInput input;
    std::string why;
    EXPECT_FALSE(input.Open(path, why));
    EXPECT_EQ(why, c.why);
  }
}

namespace {

// Reads the whole input in batches of buffers of the given sizes (in frames),
// as a fast replay does; each buffer's frames must follow the last one's.
std::vector<int16_t> ReadAllInBatches(ReplayInput& input, const std::vector<uint32_t>& sizes) {
  std::vector<std::vector<int16_t>> buffers;
  std::vector<int16_t*> pointers;
  for (uint32_t n : sizes) buffers.emplace_back(2 * size_t{n}, int16_t{0x5A5A});
  for (auto& b : buffers) pointers.push_back(b.data());
  std::vector<int16_t> all;
  std::vector<uint32_t> got(sizes.size());
  for (;;) {
    input.ReadStereo(pointers.data(), sizes.data(), got.data(), sizes.size());
    for (size_t k = 0; k < sizes.size(); ++k) {
      all.insert(all.end(), buffers[k].begin(), buffers[k].begin() + 2 * size_t{got[k]});
      if (got[k] < sizes[k]) {
        for (size_t rest = k + 1; rest < sizes.size(); ++rest) EXPECT_EQ(got[rest], 0u) << "after a short buffer";
        return all;
      }
    }
  }
}

}  // namespace

TEST_F(ReplayInputTest, ABatchOfBuffersTakesTheFramesInOrderAsSingleReadsDo) {
  const std::vector<uint32_t> sizes = {1000, 7, 333, 1, 2048};
  struct Case {
    int bits, channels;
    Bytes data;
  };
  Bytes mono8;
  for (int i = 0; i < 9001; ++i) mono8.push_back(static_cast<uint8_t>(i * 31));
  for (const Case& c : {Case{16, 2, StereoData(10000)}, Case{8, 1, mono8}}) {
    SCOPED_TRACE(c.bits);
    const std::string path = dir.file("batch.wav");
    WriteUtf8File(path, wavbytes::Riff({wavbytes::Fmt(44100, c.bits, c.channels), wavbytes::Chunk("data", c.data),
                                        wavbytes::Chunk("LIST", Bytes(40, 'x'))}));
    ReplayInput one, batch;
    std::string why;
    ASSERT_TRUE(one.Open(path, why)) << why;
    ASSERT_TRUE(batch.Open(path, why)) << why;
    const auto expected = ReadAll(one, 500);
    ASSERT_EQ(expected.size(), 2 * c.data.size() * 8 / size_t(c.bits * c.channels));
    // The chunk after the data is never read as frames: the stated size ends the batch inside a buffer.
    EXPECT_EQ(ReadAllInBatches(batch, sizes), expected);
    EXPECT_EQ(batch.FramesRead(), one.FramesRead());
    EXPECT_FALSE(batch.CutShort());
  }
}

#ifndef _WIN32
TEST_F(ReplayInputTest, OnlyPlaceholderSizesReadToTheEnd) {
  // A genuine data size past 2 GiB with a title after the data (a sparse
  // file): the title is no audio.
  const uint32_t genuine = 0x80000010u;
  const Bytes title = wavbytes::Chunk("LIST", Bytes(20, 'x'));
  Bytes head = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", {})});
  wavbytes::PutLe32(head, 4, static_cast<uint32_t>(36 + genuine + title.size()));
  wavbytes::PutLe32(head, 40, genuine);
  const std::string path = dir.file("long.wav");
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), ssize_t(head.size()));
    ASSERT_EQ(::pwrite(fd, title.data(), title.size(), off_t{44} + genuine), ssize_t(title.size()));
    ::close(fd);
  }
  ReplayInput file;
  std::string why;
  ASSERT_TRUE(file.Open(path, why)) << why;
  EXPECT_EQ(file.Layout().frames, genuine / 4);
  EXPECT_EQ(file.Layout().statedFrames, genuine / 4);

  // On a stream: the genuine size is its length; sox's placeholders (whole
  // frames below 0x7FFFF000) and the others read to the end.
  const std::string fifo = dir.file("stream.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    uint32_t stated;
    uint16_t bits, channels;
    int64_t frames;
  };
  for (const Case c : {Case{genuine, 16, 2, genuine / 4}, Case{0x7FFFEFFCu, 24, 2, -1}, Case{0x7FFFEFFFu, 24, 1, -1},
                       Case{0x7FFFF000u, 16, 2, -1}, Case{0x7FFFFFFFu, 16, 2, -1}, Case{0xFFFFFFFFu, 8, 1, -1},
                       Case{0x7FFFF004u, 16, 2, 0x7FFFF004 / 4}}) {
    SCOPED_TRACE(c.stated);
    Bytes stream = wavbytes::Riff({wavbytes::Fmt(44100, c.bits, c.channels), wavbytes::Chunk("data", Bytes(60, 1))});
    wavbytes::PutLe32(stream, 40, c.stated);
    std::thread writer([&] {
      const int fd = ::open(fifo.c_str(), O_WRONLY);
      if (fd < 0) return;
      if (::write(fd, stream.data(), stream.size()) != ssize_t(stream.size())) {
        ADD_FAILURE() << "short write";
      }
      ::close(fd);
    });
    ReplayInput input;
    const bool opened = input.Open(fifo, why);
    if (opened) ReadAll(input);
    writer.join();
    ASSERT_TRUE(opened) << why;
    EXPECT_EQ(input.Layout().frames, c.frames);
  }
}

TEST_F(ReplayInputTest, AStreamThatArrivesInOddPiecesFillsTheBatchCompletely) {
  // A named pipe fed 1 to 37 bytes at a time: reads come back short in the
  // middle of frames and of buffers, and every byte still lands in order.
  const std::string path = dir.file("stream.wav");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const Bytes stream = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", StereoData(5000))});
  std::thread writer([&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return;
    for (size_t at = 0, step = 1; at < stream.size(); at += step, step = step % 37 + 1) {
      const size_t n = std::min(step, stream.size() - at);
      if (::write(fd, stream.data() + at, n) != static_cast<ssize_t>(n)) break;
      if (at % 997 < step) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::close(fd);
  });
  ReplayInput input;
  std::string why;
  const bool opened = input.Open(path, why);
  std::vector<int16_t> frames;
  if (opened) frames = ReadAllInBatches(input, {1024, 3, 2000, 512});
  writer.join();
  ASSERT_TRUE(opened) << why;
  ASSERT_EQ(frames.size(), 10000u);
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(frames[2 * i], static_cast<int16_t>(i * 7)) << i;
    ASSERT_EQ(frames[2 * i + 1], static_cast<int16_t>(-i * 5)) << i;
  }
  EXPECT_EQ(input.ReadError(), "");
}
#endif
