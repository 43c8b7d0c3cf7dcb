// tapewell-rec --input with the files and streams other programs write: every
// chunk arrangement, extensible and RF64 headers, sizes left by streaming or
// unfinished writers, standard input, mono and 8-bit layouts kept in the
// tracks, a file past 2 GiB, a file cut short, and the layouts it refuses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "tests/rec_support.h"
#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile_state.h"

using testsupport::ReadFileBytes;
using testsupport::ReadLe16;
using testsupport::ReadLe32;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

using namespace recsupport;
using Bytes = std::vector<uint8_t>;

// A track file as the recorder writes it: its layout and its data.
struct Track {
  uint32_t rate = 0;
  uint16_t bits = 0, channels = 0;
  uint16_t format = 0;  // 1: integer PCM, 3: float
  Bytes data;
};

// Walks the track's chunks; the data chunk must end the file (with its pad byte).
Track ReadTrack(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  Track t;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = ReadLe32(bytes, at + 4);
    if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0) {
      t.format = ReadLe16(bytes, at + 8);
      t.channels = ReadLe16(bytes, at + 10);
      t.rate = ReadLe32(bytes, at + 12);
      t.bits = ReadLe16(bytes, at + 22);
    } else if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
      t.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8), bytes.end());
      if (size & 1u) t.data.pop_back();
      EXPECT_EQ(size, t.data.size()) << path;
      break;
    }
    at += 8 + size + (size & 1u);
  }
  return t;
}

// The samples of `frames` as the data of a PCM file: 16 or 8 bits, stereo,
// or mono from the left channel.
Bytes PcmData(const Frames& frames, int bits, int channels) {
  Bytes data;
  for (auto [l, r] : frames) {
    for (int16_t s : {l, r}) {
      if (bits == 16) {
        wavbytes::AppendLe16(data, static_cast<uint16_t>(s));
      } else {
        data.push_back(static_cast<uint8_t>((s >> 8) + 128));
      }
      if (channels == 1) break;
    }
  }
  return data;
}

// 0.4 s of tone, 0.3 s of digital silence, 0.5 s of another tone: two tracks
// at a split length of 0.2 s.
Frames TwoTracks(int rate) { return Signal(rate, {{0.4, 440}, {0.3, 0}, {0.5, 700}}); }

// The extensible format chunk (40 bytes) of integer PCM.
Bytes ExtensibleFmt(uint32_t rate, uint16_t bits, uint16_t channels) {
  Bytes body;
  wavbytes::AppendLe16(body, 0xFFFE);
  wavbytes::AppendLe16(body, channels);
  wavbytes::AppendLe32(body, rate);
  wavbytes::AppendLe32(body, rate * channels * bits / 8);
  wavbytes::AppendLe16(body, static_cast<uint16_t>(channels * bits / 8));
  wavbytes::AppendLe16(body, bits);
  wavbytes::AppendLe16(body, 22);  // extra bytes
  wavbytes::AppendLe16(body, bits);  // valid bits
  wavbytes::AppendLe32(body, channels == 2 ? 3 : 4);  // channel mask
  const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  body.insert(body.end(), pcm, pcm + 16);
  return wavbytes::Chunk("fmt ", body);
}

// A chunk followed by its pad byte when its size is odd.
Bytes Padded(const char* id, const Bytes& body) {
  Bytes c = wavbytes::Chunk(id, body);
  if (body.size() & 1u) c.push_back(0);
  return c;
}

class RecInputTest : public ::testing::Test {
 protected:
  void SetUp() override { g_waveFileState = WaveFileState{}; }

  // Splits `args` (an --input and what goes with it) into a fresh folder
  // with -a -l 2 --fast; `feed` (a shell command) pipes into standard input.
  // `under`: the folder's parent (default: the test's folder).
  RecRun Split(const std::string& args, const std::string& feed = "", const std::string& extra = "--fast",
               const std::string& under = "") {
    ++runs_;
    folder_ = (under.empty() ? dir.path() : under) + "/out" + std::to_string(runs_);
    std::filesystem::create_directory(folder_);
    const std::string command = kBinary + " " + args + " " + extra + " -a -l 2 -w " + folder_;
    if (feed.empty()) return RunRec(command.substr(kBinary.size() + 1));
    RecRun r;
    RunCommand(feed + " | timeout 120 " + command + " >" + dir.file("out.txt") + " 2>" +
                   dir.file("err.txt"),
               &r.status);
    r.out = FileText(dir.file("out.txt"));
    r.err = FileText(dir.file("err.txt"));
    return r;
  }

  // The tracks of the last Split, in order.
  std::vector<Track> Tracks() const {
    std::vector<Track> tracks;
    for (const auto& name : WavFiles(folder_)) tracks.push_back(ReadTrack(folder_ + "/" + name));
    return tracks;
  }

  // Expects the last Split to have made `count` tracks in the given layout
  // whose data, joined, is `data`.
  void ExpectTracks(size_t count, uint32_t rate, uint16_t bits, uint16_t channels, const Bytes& data) {
    const auto tracks = Tracks();
    EXPECT_EQ(tracks.size(), count);
    Bytes joined;
    for (const Track& t : tracks) {
      EXPECT_EQ(t.rate, rate);
      EXPECT_EQ(t.bits, bits);
      EXPECT_EQ(t.channels, channels);
      joined.insert(joined.end(), t.data.begin(), t.data.end());
    }
    EXPECT_EQ(joined.size(), data.size());
    EXPECT_TRUE(joined == data);
  }

  std::string Ffmpeg(const std::string& from, const std::string& options, const std::string& to) {
    int status = 0;
    RunCommand("ffmpeg -nostdin -loglevel error -y -i " + from + " " + options + " " + to, &status);
    EXPECT_EQ(status, 0) << options;
    return to;
  }

  TempDir dir;
  std::string folder_;
  int runs_ = 0;
};

}  // namespace

TEST_F(RecInputTest, EveryChunkArrangementSplitsIntoTheSameData) {
  const Frames signal = TwoTracks(44100);
  const Bytes data = PcmData(signal, 16, 2);
  const Bytes fmt = wavbytes::Fmt(44100, 16, 2);
  Bytes bext(602, 0);
  std::memcpy(bext.data(), "A description", 13);
  const Bytes title = wavbytes::Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 6, 0, 0, 0, 'T', 'i', 't', 'l',
                                               'e', 0});
  Bytes cue;
  wavbytes::AppendLe32(cue, 1);
  for (uint32_t v : {1u, 0u, 0x61746164u, 0u, 0u, 22050u}) wavbytes::AppendLe32(cue, v);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"canonical", wavbytes::Riff({fmt, wavbytes::Chunk("data", data)})},
      {"a title (LIST) before the data", wavbytes::Riff({fmt, title, wavbytes::Chunk("data", data)})},
      {"a title (LIST) after the data", wavbytes::Riff({fmt, wavbytes::Chunk("data", data), title})},
      {"Broadcast WAV: bext and iXML", wavbytes::Riff({wavbytes::Chunk("bext", bext), fmt,
                                                       wavbytes::Chunk("iXML", Bytes(300, ' ')),
                                                       wavbytes::Chunk("data", data)})},
      {"a JUNK chunk of 4 KiB", wavbytes::Riff({wavbytes::Chunk("JUNK", Bytes(4096, 0)), fmt,
                                                wavbytes::Chunk("data", data)})},
      {"a cue chunk before the data", wavbytes::Riff({fmt, wavbytes::Chunk("cue ", cue), wavbytes::Chunk("data", data)})},
      {"an odd-sized chunk and its pad byte", wavbytes::Riff({fmt, Padded("note", {'a', 'b', 'c'}),
                                                              wavbytes::Chunk("data", data)})},
      {"a format chunk of 18 bytes", wavbytes::Riff({wavbytes::Fmt(44100, 16, 2, 18), wavbytes::Chunk("data", data)})},
      {"WAVE_FORMAT_EXTENSIBLE with PCM", wavbytes::Riff({ExtensibleFmt(44100, 16, 2), wavbytes::Chunk("data", data)})},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    WriteFileBytes(dir.file("in.wav"), bytes);
    const RecRun r = Split("--input " + dir.file("in.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectTracks(2, 44100, 16, 2, data);
  }
}

TEST_F(RecInputTest, FilesThatFfmpegWritesSplit) {
  const Frames signal = TwoTracks(44100);
  const Bytes data = PcmData(signal, 16, 2);
  WriteFileBytes(dir.file("base.wav"), wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", data)}));
  const std::vector<std::pair<std::string, std::string>> writes = {
      {"defaults (a LIST chunk before the data)", ""},
      {"-rf64 auto", "-rf64 auto"},
      {"-rf64 always", "-rf64 always"},
      {"-write_bext 1", "-write_bext 1"},
      {"to a pipe", "-f wav - > " + dir.file("piped.wav") + " && mv " + dir.file("piped.wav")},
  };
  for (const auto& [name, options] : writes) {
    SCOPED_TRACE(name);
    const std::string file = Ffmpeg(dir.file("base.wav"), options, dir.file("ff.wav"));
    const RecRun r = Split("--input " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectTracks(2, 44100, 16, 2, data);
  }
  // At 96 kHz ffmpeg writes an extensible header.
  const Bytes data96 = PcmData(TwoTracks(96000), 16, 2);
  WriteFileBytes(dir.file("base96.wav"), wavbytes::Riff({wavbytes::Fmt(96000, 16, 2), wavbytes::Chunk("data", data96)}));
  Ffmpeg(dir.file("base96.wav"), "-c:a pcm_s16le", dir.file("x96.wav"));
  ASSERT_EQ(ReadLe16(ReadFileBytes(dir.file("x96.wav")), 20), 0xFFFE);
  const RecRun r = Split("--input " + dir.file("x96.wav"));
  EXPECT_EQ(r.status, 0) << r.err;
  ExpectTracks(2, 96000, 16, 2, data96);
}

TEST_F(RecInputTest, Rf64WithADs64ChunkSplits) {
  const Bytes data = PcmData(TwoTracks(48000), 16, 2);
  Bytes ds64;
  for (uint64_t v : {uint64_t{data.size()} + 36 + 36, uint64_t{data.size()}, uint64_t{data.size() / 4}}) {
    wavbytes::AppendLe32(ds64, static_cast<uint32_t>(v));
    wavbytes::AppendLe32(ds64, static_cast<uint32_t>(v >> 32));
  }
  wavbytes::AppendLe32(ds64, 0);  // no table
  Bytes file = wavbytes::Riff({wavbytes::Chunk("ds64", ds64), wavbytes::Fmt(48000, 16, 2),
                               wavbytes::Chunk("data", data)});
  std::memcpy(file.data(), "RF64", 4);
  wavbytes::PutLe32(file, 4, 0xFFFFFFFFu);
  wavbytes::PutLe32(file, 12 + 8 + 28 + 24 + 4, 0xFFFFFFFFu);  // the data chunk's size
  WriteFileBytes(dir.file("in.wav"), file);
  const RecRun r = Split("--input " + dir.file("in.wav"));
  EXPECT_EQ(r.status, 0) << r.err;
  ExpectTracks(2, 48000, 16, 2, data);
}

TEST_F(RecInputTest, Rf64WithAnOddSizedChunkBeforeItsDataSplitsByNameAsOnStandardInput) {
  const Bytes data = PcmData(TwoTracks(48000), 16, 2);
  Bytes ds64;
  for (uint64_t v : {uint64_t{0}, uint64_t{data.size()}, uint64_t{data.size() / 4}}) {
    wavbytes::AppendLe32(ds64, static_cast<uint32_t>(v));
    wavbytes::AppendLe32(ds64, static_cast<uint32_t>(v >> 32));
  }
  wavbytes::AppendLe32(ds64, 0);  // no table
  Bytes file = wavbytes::Riff({wavbytes::Chunk("ds64", ds64), wavbytes::Fmt(48000, 16, 2),
                               Padded("note", {'a', 'b', 'c'}), wavbytes::Chunk("data", data)});
  std::memcpy(file.data(), "RF64", 4);
  wavbytes::PutLe32(file, 4, 0xFFFFFFFFu);
  wavbytes::PutLe32(file, file.size() - data.size() - 4, 0xFFFFFFFFu);  // the data chunk's size
  const std::string input = dir.file("in.wav");
  WriteFileBytes(input, file);
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "standard input" : "by name");
    const RecRun r = stream ? Split("--input -", "cat " + input) : Split("--input " + input);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectTracks(2, 48000, 16, 2, data);
  }
}

TEST_F(RecInputTest, AnInputWithoutFramesIsRefusedAlikeByNameAndOnStandardInput) {
  const Bytes empty = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", {})});
  Bytes missing = empty;  // a header that states data that is not there
  wavbytes::PutLe32(missing, 40, 4000);
  Bytes partial = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", {1, 2, 3})});
  wavbytes::PutLe32(partial, 40, 0);  // less than one frame, to the end
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, Bytes>>{
           {"no data", empty}, {"data stated, none there", missing}, {"part of a frame", partial}}) {
    const std::string input = dir.file("in.wav");
    WriteFileBytes(input, bytes);
    for (const bool stream : {false, true}) {
      SCOPED_TRACE(name + (stream ? ", standard input" : ", by name"));
      const RecRun r = stream ? Split("--input -", "cat " + input) : Split("--input " + input);
      EXPECT_EQ(r.status, 2);
      EXPECT_TRUE(WavFiles(folder_).empty());
      EXPECT_NE(r.err.find("' holds no audio frames"), std::string::npos) << r.err;
    }
  }
}

TEST_F(RecInputTest, SizesLeftByStreamingOrUnfinishedWritersReadToTheEnd) {
  const Bytes data = PcmData(TwoTracks(44100), 16, 2);
  // Data size 0 with RIFF size 36: the provisional header of a recorder that
  // never came back to it. Then the sizes of writers to a pipe.
  for (auto [riffSize, dataSize] : std::vector<std::pair<uint32_t, uint32_t>>{
           {36, 0}, {0, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu}, {0x7FFFF024u, 0x7FFFF000u}, {0x80000024u, 0x7FFFFFFFu}}) {
    SCOPED_TRACE(dataSize);
    Bytes file = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", data)});
    wavbytes::PutLe32(file, 4, riffSize);
    wavbytes::PutLe32(file, 40, dataSize);
    WriteFileBytes(dir.file("in.wav"), file);
    const RecRun r = Split("--input " + dir.file("in.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // nothing was missing
    ExpectTracks(2, 44100, 16, 2, data);
  }
}

TEST_F(RecInputTest, MonoAndEightBitLayoutsAreKeptByteForByte) {
  const Frames signal = TwoTracks(32000);
  for (auto [bits, channels] : std::vector<std::pair<int, int>>{{16, 1}, {8, 2}, {8, 1}}) {
    SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(channels) + " channels");
    const Bytes data = PcmData(signal, bits, channels);
    WriteFileBytes(dir.file("in.wav"),
                   wavbytes::Riff({wavbytes::Fmt(32000, bits, channels), wavbytes::Chunk("data", data)}));
    const RecRun r = Split("--input " + dir.file("in.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectTracks(2, 32000, bits, channels, data);
  }
}

TEST_F(RecInputTest, MonoIsAnalysedAsBothChannelsEqual) {
  // Mono splits where a stereo file with its channel twice splits.
  Frames signal = Signal(44100, {{0.3, 440}, {0.25, 0}, {0.2, 300}, {0.3, 0}, {0.3, 500}});
  for (auto& f : signal) f.second = f.first;
  WriteFileBytes(dir.file("mono.wav"), wavbytes::Riff({wavbytes::Fmt(44100, 16, 1),
                                                       wavbytes::Chunk("data", PcmData(signal, 16, 1))}));
  WriteFileBytes(dir.file("stereo.wav"), wavbytes::Riff({wavbytes::Fmt(44100, 16, 2),
                                                         wavbytes::Chunk("data", PcmData(signal, 16, 2))}));
  ASSERT_EQ(Split("--input " + dir.file("stereo.wav")).status, 0);
  const auto stereo = Tracks();
  ASSERT_EQ(Split("--input " + dir.file("mono.wav")).status, 0);
  const auto mono = Tracks();
  ASSERT_EQ(stereo.size(), 3u);
  ASSERT_EQ(mono.size(), stereo.size());
  for (size_t i = 0; i < mono.size(); ++i) {
    EXPECT_EQ(mono[i].channels, 1);
    EXPECT_EQ(mono[i].data.size() * 2, stereo[i].data.size()) << i;
  }
}

TEST_F(RecInputTest, StandardInputGivesTheTracksOfTheFileByName) {
  const Frames signal = TwoTracks(44100);
  const Bytes data = PcmData(signal, 16, 2);
  // A title after the data: a stream with a true size stops where its data ends.
  const std::string file = dir.file("in.wav");
  WriteFileBytes(file, wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("LIST", Bytes(40, 'x')),
                                       wavbytes::Chunk("data", data), wavbytes::Chunk("LIST", Bytes(20, 'y'))}));
  ASSERT_EQ(Split("--input " + file).status, 0);
  const auto byName = Tracks();
  ASSERT_EQ(byName.size(), 2u);
  const std::vector<std::pair<std::string, std::string>> feeds = {
      {"the file", "cat " + file},
      {"sox of unknown length", "sox -t wav " + file + " -t raw - | sox -t raw -r 44100 -c 2 -b 16 -e signed - -t wav - 2>/dev/null"},
      {"ffmpeg -f wav -", "ffmpeg -nostdin -loglevel error -i " + file + " -f wav -"},
      {"ffmpeg -rf64 always -f wav -", "ffmpeg -nostdin -loglevel error -i " + file + " -rf64 always -f wav -"},
  };
  for (const auto& [name, feed] : feeds) {
    for (const std::string pace : {"--fast", "--realtime"}) {
      SCOPED_TRACE(name + " " + pace);
      const RecRun r = Split("--input -", feed, pace);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      const auto tracks = Tracks();
      ASSERT_EQ(tracks.size(), byName.size());
      for (size_t i = 0; i < tracks.size(); ++i) EXPECT_TRUE(tracks[i].data == byName[i].data) << i;
      if (name != "the file") break;  // paced once is enough
    }
  }
}

TEST_F(RecInputTest, APipeGivenByNameIsReadOnceAsAStream) {
  // What bash's <(ffmpeg …) hands over: a pipe with a name.
  const Bytes data = PcmData(TwoTracks(44100), 16, 2);
  const std::string file = dir.file("in.wav"), fifo = dir.file("pipe.wav");
  WriteFileBytes(file, wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("LIST", Bytes(40, 'x')),
                                       wavbytes::Chunk("data", data)}));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const RecRun r = Split("--input " + fifo, "(ffmpeg -nostdin -loglevel error -i " + file + " -f wav - >" + fifo +
                                                " &) ; cat /dev/null");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ExpectTracks(2, 44100, 16, 2, data);
}

TEST_F(RecInputTest, AFilePastTwoGibibytesSplitsCompletely) {
  // 540,000,000 frames (2.16 GB of data, 3 h 24 min at 44.1 kHz), digital
  // silence but for three sounds, the last one past the first 2 GiB of data.
  const int64_t total = 540000000;
  const std::vector<int64_t> sounds = {4410000, 300000000, 538000000};
  const Frames tone = Signal(44100, {{0.5, 440}});
  const Bytes toneData = PcmData(tone, 16, 2);
  // In memory when the system has a tmpfs there: 2.16 GB of tracks are written.
  std::optional<TempDir> shm;
  if (std::filesystem::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0) {
    setenv("TMPDIR", "/dev/shm", 1);
    shm.emplace();
    unsetenv("TMPDIR");
  }
  const std::string file = (shm ? shm->path() : dir.path()) + "/long.wav";
  Bytes header = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", {})});
  wavbytes::PutLe32(header, 4, static_cast<uint32_t>(36 + total * 4));
  wavbytes::PutLe32(header, 40, static_cast<uint32_t>(total * 4));
  {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, header.data(), header.size(), 0), ssize_t(header.size()));
    for (int64_t at : sounds) {
      ASSERT_EQ(pwrite(fd, toneData.data(), toneData.size(), off_t(44 + at * 4)), ssize_t(toneData.size()));
    }
    ASSERT_EQ(ftruncate(fd, off_t(44 + total * 4)), 0);
    close(fd);
  }
  const RecRun r = Split("--input " + file, "", "--fast", shm ? shm->path() : "");
  std::filesystem::remove(file);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // One track of leading silence, then one from each sound on; each begins
  // with its sound's first frame.
  const auto names = WavFiles(folder_);
  ASSERT_EQ(names.size(), sounds.size() + 1);
  int64_t frames = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string path = folder_ + "/" + names[i];
    const auto size = static_cast<int64_t>(std::filesystem::file_size(path));
    if (i > 0) {
      EXPECT_EQ(frames, sounds[i - 1]) << names[i];
    }
    std::ifstream in(path, std::ios::binary);
    Bytes head(44 + toneData.size());
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(ReadLe32(head, 40), uint32_t(size - 44)) << names[i];
    if (i > 0) {
      EXPECT_TRUE(Bytes(head.begin() + 44, head.end()) == toneData) << names[i];
    }
    frames += (size - 44) / 4;
  }
  EXPECT_EQ(frames, total);
}

TEST_F(RecInputTest, AFileCutShortIsSplitCompletelyAndReported) {
  const Bytes data = PcmData(TwoTracks(44100), 16, 2);
  Bytes file = wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", data)});
  wavbytes::PutLe32(file, 40, static_cast<uint32_t>(data.size() + 400000));  // 100,000 frames more than it holds
  WriteFileBytes(dir.file("in.wav"), file);
  const RecRun r = Split("--input " + dir.file("in.wav"));
  EXPECT_EQ(r.status, 0) << r.err;
  ExpectTracks(2, 44100, 16, 2, data);
  const std::string held = std::to_string(data.size() / 4), stated = std::to_string(data.size() / 4 + 100000);
  EXPECT_NE(r.err.find("holds " + held + " frames, fewer than the " + stated + " its header states"), std::string::npos)
      << r.err;
}

TEST_F(RecInputTest, WideLayoutsAreSplitIntoTracksOfTheirOwnLayoutByteForByte) {
  // The side's samples in 24 and 32 bits and as floats, with low bits the
  // 16-bit analysis does not see; the gaps stay digital silence.
  const Frames signal = TwoTracks(44100);
  Bytes data24, data32, dataFloat;
  uint32_t low = 1;
  for (auto [l, r] : signal) {
    for (int16_t s : {l, r}) {
      low = low * 1103515245u + 12345u;
      const uint32_t fine = s == 0 ? 0 : (low >> 16);
      const uint32_t v24 = (static_cast<uint32_t>(s) << 8) | (fine & 0xFF);
      for (int b = 0; b < 3; ++b) data24.push_back(static_cast<uint8_t>(v24 >> (8 * b)));
      wavbytes::AppendLe32(data32, (static_cast<uint32_t>(s) << 16) | (fine & 0xFFFF));
    }
    const float f = static_cast<float>(l) / 32768.0f + (l == 0 ? 0.0f : 1e-6f);
    uint32_t word;
    std::memcpy(&word, &f, 4);
    wavbytes::AppendLe32(dataFloat, word);  // mono: the left channel
  }
  const std::string wav24 = dir.file("side24.wav"), flac24 = dir.file("side24.flac");
  WriteFileBytes(wav24, wavbytes::Riff({wavbytes::Fmt(44100, 24, 2), wavbytes::Chunk("data", data24)}));
  WriteFileBytes(dir.file("side32.wav"),
                 wavbytes::Riff({wavbytes::Fmt(44100, 32, 2), wavbytes::Chunk("data", data32)}));
  WriteFileBytes(dir.file("float.wav"), wavbytes::Riff({wavbytes::Fmt(44100, 32, 1, 18, 3),
                                                        wavbytes::Chunk("fact", Bytes(4, 0)),
                                                        wavbytes::Chunk("data", dataFloat)}));
  int status = 0;
  RunCommand("sox " + wav24 + " " + flac24, &status);  // FLAC is read through libsndfile
  ASSERT_EQ(status, 0);
  const std::vector<std::tuple<std::string, uint16_t, uint16_t, uint16_t, const Bytes*>> cases = {
      {wav24, 24, 2, 1, &data24},
      {dir.file("side32.wav"), 32, 2, 1, &data32},
      {dir.file("float.wav"), 32, 1, 3, &dataFloat},
      {flac24, 24, 2, 1, &data24},
  };
  for (const auto& [file, bits, channels, format, data] : cases) {
    SCOPED_TRACE(file);
    RecRun r = Split("--input " + file, "", "--fast");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectTracks(2, 44100, bits, channels, *data);
    const auto byName = Tracks();
    for (const Track& t : byName) EXPECT_EQ(t.format, format);
    // In real time, and the same stream on standard input, give the same tracks.
    // sox writes a placeholder size of whole 24-bit frames when it streams.
    const std::string soxStream =
        "sox -t wav " + file + " -t raw - | sox -t raw -r 44100 -c 2 -b 24 -e signed - -t wav - 2>/dev/null";
    for (const auto& [feed, pace] : std::vector<std::pair<std::string, std::string>>{
             {"", "--realtime"}, {"cat " + file, "--fast"}, {soxStream, "--fast"}}) {
      if ((feed.empty() || feed == soxStream) && file != wav24) continue;  // paced once is enough
      if (!feed.empty() && file == flac24) continue;
      SCOPED_TRACE(feed.empty() ? "in real time" : "standard input");
      r = Split(feed.empty() ? "--input " + file : "--input -", feed, pace);
      EXPECT_EQ(r.status, 0) << r.err;
      const auto tracks = Tracks();
      ASSERT_EQ(tracks.size(), byName.size());
      for (size_t i = 0; i < tracks.size(); ++i) EXPECT_TRUE(tracks[i].data == byName[i].data) << i;
    }
  }
  // soxi reads the tracks as the input's layout.
  Split("--input " + wav24);
  const std::string info = testsupport::RunCommand("soxi " + folder_ + "/*.wav", &status);
  EXPECT_NE(info.find("24-bit Signed Integer PCM"), std::string::npos) << info;
}

TEST_F(RecInputTest, LayoutsThatCannotBeKeptAreNamedWithAConversionThatWorks) {
  const Bytes data = PcmData(TwoTracks(44100), 16, 2);
  const std::string base = dir.file("base.wav");
  WriteFileBytes(base, wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", data)}));
  // An encoding that is kept keeps its bits in the conversion; another becomes 16-bit.
  const std::string six = "sox -M " + base + " " + base + " " + base;
  const std::vector<std::tuple<std::string, std::string, std::string, std::string, uint16_t>> cases = {
      {"double.wav", "sox " + base + " -b 64 -e floating-point ", "64-bit float", "-16bit.wav", 16},
      {"alaw.wav", "sox " + base + " -e a-law ", "A-law", "-16bit.wav", 16},
      {"six.wav", six + " -b 16 ", "6 channels", "-stereo.wav", 16},
      {"six24.wav", six + " -b 24 ", "6 channels", "-stereo.wav", 24},
      {"sixfloat.wav", six + " -b 32 -e floating-point ", "6 channels", "-stereo.wav", 32},
      // Compressed: Debian's sox reads no MP3, so the command offered must not be sox's.
      {"mp3.mp3", "ffmpeg -nostdin -loglevel error -i " + base + " -c:a libmp3lame ", "MPEG Layer III", "-16bit.wav",
       16},
      {"vorbis.ogg", "ffmpeg -nostdin -loglevel error -i " + base + " -c:a libvorbis ", "Vorbis", "-16bit.wav", 16},
  };
  for (const auto& [name, make, said, ending, bits] : cases) {
    SCOPED_TRACE(name);
    const std::string input = dir.file(name);
    int status = 0;
    RunCommand(make + input + " 2>/dev/null", &status);
    if (status != 0 && make.rfind("ffmpeg", 0) == 0) continue;  // this ffmpeg cannot encode it
    ASSERT_EQ(status, 0);
    const RecRun r = Split("--input " + input);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(WavFiles(folder_).empty());
    EXPECT_NE(r.err.find("input file '" + input + "' is " + said + ";"), std::string::npos) << r.err;
    // The command offered makes a file that splits.
    const std::string lead = "convert it first with ";
    const size_t at = r.err.find(lead);
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::string command = r.err.substr(at + lead.size(), r.err.find('\n', at) - at - lead.size());
    RunCommand(command + " 2>/dev/null", &status);
    ASSERT_EQ(status, 0) << command;
    const std::string converted = input.substr(0, input.size() - 4) + ending;
    const RecRun again = Split("--input " + converted);
    EXPECT_EQ(again.status, 0) << command << ": " << again.err;
    const auto tracks = Tracks();
    EXPECT_EQ(tracks.size(), 2u) << command;
    for (const Track& t : tracks) {
      EXPECT_EQ(t.bits, bits);
      EXPECT_EQ(t.channels, 2);
    }
  }
}

TEST_F(RecInputTest, AHeaderWithASampleRateOfZeroIsRefusedWithThatReasonFromAFileAndAStream) {
  const std::string input = dir.file("rate0.wav");
  WriteFileBytes(input,
                 wavbytes::Riff({wavbytes::Fmt(0, 16, 2), wavbytes::Chunk("data", PcmData(TwoTracks(8000), 16, 2))}));
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "standard input" : "by name");
    const RecRun r = stream ? Split("--input -", "cat " + input) : Split("--input " + input);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(WavFiles(folder_).empty());
    EXPECT_NE(r.err.find("': the WAV header gives a sample rate of 0 Hz"), std::string::npos) << r.err;
  }
}
