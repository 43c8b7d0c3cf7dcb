// Where the desktop entry starts the window (-m): the music folder that
// xdg-user-dir names, created when missing, or the reason it cannot be.
// xdg-user-dir is replaced by a script on PATH that prints what a case needs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/music_folder.h"
#include "tests/test_support.h"

namespace {

class MusicFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    savedHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::filesystem::create_directory(tools);
    setenv("HOME", home.c_str(), 1);
    std::filesystem::create_directory(home);
  }
  void TearDown() override {
    std::filesystem::current_path(saved_);
    setenv("PATH", savedPath_.c_str(), 1);
    setenv("HOME", savedHome_.c_str(), 1);
  }
  // An xdg-user-dir that prints `folder`, alone on PATH.
  void FakeTool(const std::string& folder) {
    std::ofstream(tools + "/xdg-user-dir") << "#!/bin/sh\n[ \"$1\" = MUSIC ] && echo '" << folder << "'\n";
    std::filesystem::permissions(tools + "/xdg-user-dir", std::filesystem::perms::owner_all);
    setenv("PATH", tools.c_str(), 1);
  }
  testsupport::TempDir dir;
  std::string tools = dir.path() + "/tools", home = dir.path() + "/home";

 private:
  std::filesystem::path saved_;
  std::string savedPath_, savedHome_;
};

}  // namespace

TEST(MusicOptionTest, OnlyTheBareLetterMInAnyCaseAndEitherPrefix) {
  EXPECT_TRUE(ScanMusicOption("-m"));
  EXPECT_TRUE(ScanMusicOption("-wD:/rec /M"));
  EXPECT_FALSE(ScanMusicOption(""));
  EXPECT_FALSE(ScanMusicOption("-mx -w/music m"));
}

TEST_F(MusicFolderTest, AMissingMusicFolderIsCreatedAndEntered) {
  const std::string music = home + "/Musik/Aufnahmen";
  FakeTool(music);
  std::string why;
  ASSERT_TRUE(EnterMusicFolder(why)) << why;
  EXPECT_TRUE(std::filesystem::is_directory(music));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(music));
}

TEST_F(MusicFolderTest, SaysWhyNot) {
  const auto before = std::filesystem::current_path();
  std::string why;
  // Only the home folder: no music folder is set.
  FakeTool(home);
  EXPECT_FALSE(EnterMusicFolder(why));
  EXPECT_NE(why.find("no music folder is set"), std::string::npos) << why;
  // A folder that cannot be made (a file is in the way).
  std::ofstream(home + "/file") << "x";
  FakeTool(home + "/file/Music");
  EXPECT_FALSE(EnterMusicFolder(why));
  EXPECT_NE(why.find("cannot create the music folder " + home + "/file/Music"), std::string::npos) << why;
  // No xdg-user-dir at all.
  std::filesystem::remove(tools + "/xdg-user-dir");
  EXPECT_FALSE(EnterMusicFolder(why));
  EXPECT_NE(why.find("xdg-user-dir is not installed"), std::string::npos) << why;
  EXPECT_EQ(std::filesystem::current_path(), before) << "the current folder stays";
}
