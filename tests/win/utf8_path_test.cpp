// On Windows the program's paths are UTF-8 while the C library reads char
// paths in the ANSI code page: a folder named in Japanese must still take
// track files, be searched for free names, and be read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "recorder/track_naming.h"
#include "tests/test_support.h"
#include "wavefile/utf8_file.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

namespace {

class FixedDate : public SystemNaming {
 public:
  LocalDate Today() const override { return {7, 12}; }
};

TEST(Utf8PathTest, AJapaneseFolderTakesTrackFilesUnderItsOwnName) {
  g_waveFileState = WaveFileState{};
  testsupport::TempDir dir;
  const std::string folder = dir.path() + "/録音 ｱﾌﾟﾘ/";
  ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(WideFromUtf8(folder))));
  const FixedDate naming;
  EXPECT_EQ(MakeTrackName(folder, naming), "07Dec001");

  const std::string path = folder + "07Dec001.wav";
  ASSERT_EQ(WaveCreate(path.c_str(), 44100, 16, 2, 0), WAVE_OK);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(WavePutSample(i, -i), WAVE_OK);
  ASSERT_EQ(WaveClose(), WAVE_OK);

  // The file has the folder's real (UTF-16) name on disk.
  const std::filesystem::path onDisk = std::filesystem::path(WideFromUtf8(folder)) / L"07Dec001.wav";
  ASSERT_TRUE(std::filesystem::exists(onDisk));
  EXPECT_EQ(std::filesystem::file_size(onDisk), 44u + 4000u);
  EXPECT_EQ(MakeTrackName(folder, naming), "07Dec002");

  int32_t rate = 0, bits = 0, channels = 0;
  uint32_t dataSize = 0;
  ASSERT_EQ(WaveOpenRead(path.c_str(), rate, bits, channels, dataSize), WAVE_OK);
  int32_t left = 0, right = 0;
  ASSERT_EQ(WaveGetSample(999, left, right), WAVE_OK);
  EXPECT_EQ(left, 999);
  EXPECT_EQ(right, -999);
  WaveCloseRead();

  EXPECT_EQ(RemoveUtf8File(path.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(onDisk));
  g_waveFileState = WaveFileState{};
}

}  // namespace
