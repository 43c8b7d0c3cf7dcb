// Track names: the first free DDMmmNNN in a folder on a given day.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "recorder/track_naming.h"
#include "tests/engine_harness.h"
#include "tests/test_support.h"

namespace {

// The fixed date, counting the directory searches.
class CountingNaming : public harness::FixedDateNaming {
 public:
  bool EntryExists(const std::string& path) const override {
    ++searches;
    return FixedDateNaming::EntryExists(path);
  }
  mutable int searches = 0;
};

class TrackNamingTest : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { testsupport::WriteFileBytes(dir.file(name), {}); }
  void TouchDay(int from, int to) {
    for (int i = from; i <= to; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "07Dec%03d.wav", i);
      Touch(name);
    }
  }
  std::string Next() const { return MakeTrackName(folder, naming); }
  std::string After(const std::string& name) const { return MakeTrackNameAfter(folder, folder + name + ".wav", naming); }

  testsupport::TempDir dir;
  std::string folder = dir.path() + "/";
  CountingNaming naming;
};

}  // namespace

TEST_F(TrackNamingTest, FirstFreeNumberOfTheDay) {
  EXPECT_EQ(Next(), "07Dec001");
  Touch("07Dec001.wav");
  Touch("07Dec002.wav");
  EXPECT_EQ(Next(), "07Dec003");
}

TEST_F(TrackNamingTest, GapsAreFilledFirst) {
  Touch("07Dec001.wav");
  Touch("07Dec003.wav");
  EXPECT_EQ(Next(), "07Dec002");
}

TEST_F(TrackNamingTest, NumberGrowsADigitAfter999) {
  TouchDay(1, 999);
  EXPECT_EQ(Next(), "07Dec1000");
}

TEST_F(TrackNamingTest, AFolderNamedLikeATrackTakesTheNumber) {
  ASSERT_TRUE(std::filesystem::create_directory(dir.file("07Dec001.wav")));
  EXPECT_EQ(Next(), "07Dec002");
}

TEST_F(TrackNamingTest, OtherDaysAndOtherExtensionsDoNotCount) {
  Touch("06Dec001.wav");
  Touch("07Nov001.wav");
  Touch("07Dec001.mp3");
  Touch("07Dec001");
  EXPECT_EQ(Next(), "07Dec001");
}

TEST_F(TrackNamingTest, MonthTableAndDayPadding) {
  naming.date = {15, 4};
  EXPECT_EQ(Next(), "15Apl001");
  naming.date = {1, 1};
  EXPECT_EQ(Next(), "01Jan001");
  const char* months[] = {"Jan", "Feb", "Mar", "Apl", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) EXPECT_STREQ(MonthAbbreviation(m), months[m - 1]);
}

TEST_F(TrackNamingTest, MissingFolderGivesTheFirstNumber) {
  folder = dir.path() + "/no/such/folder/";
  EXPECT_EQ(Next(), "07Dec001");
}

TEST_F(TrackNamingTest, EmptyFolderSearchesTheCurrentDirectory) {
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  Touch("07Dec001.wav");
  folder.clear();
  EXPECT_EQ(Next(), "07Dec002");
  std::filesystem::current_path(saved);
}

TEST_F(TrackNamingTest, SystemClockGivesAPlausibleName) {
  SystemNaming system;
  const std::string name = MakeTrackName(folder, system);
  ASSERT_EQ(name.size(), 8u);
  const LocalDate today = system.Today();
  EXPECT_EQ(name.substr(2, 3), MonthAbbreviation(today.month));
  EXPECT_EQ(std::stoi(name.substr(0, 2)), today.day);
}

TEST_F(TrackNamingTest, NextTrackTakesTheFirstFreeNumberAfterTheCurrentOne) {
  Touch("07Dec001.wav");
  Touch("07Dec003.wav");
  EXPECT_EQ(After("07Dec003"), "07Dec004");  // 002 is free but lies before the current track
  Touch("07Dec004.wav");
  Touch("07Dec005.wav");
  EXPECT_EQ(After("07Dec003"), "07Dec006");
  EXPECT_EQ(After("07Dec1000"), "07Dec1001");
}

TEST_F(TrackNamingTest, NextTrackInAnotherFolderOrOnAnotherDayStartsFromOne) {
  Touch("07Dec001.wav");
  Touch("07Dec002.wav");
  EXPECT_EQ(MakeTrackNameAfter(folder, dir.path() + "/other/07Dec005.wav", naming), "07Dec003");
  EXPECT_EQ(After("06Dec005"), "07Dec003");
  naming.date = {8, 12};
  EXPECT_EQ(After("07Dec002"), "08Dec001");  // a track change after midnight
  naming.date = {7, 12};
  EXPECT_EQ(After("07Dec00x"), "07Dec003");
  EXPECT_EQ(After("07Dec99999999999"), "07Dec003");  // no number after it
}

TEST_F(TrackNamingTest, WithTheDaysFirst999FilesPresentATrackChangeSearchesOneName) {
  TouchDay(1, 999);
  naming.searches = 0;
  EXPECT_EQ(Next(), "07Dec1000");  // the first file of a recording searches from 001
  EXPECT_EQ(naming.searches, 1000);
  Touch("07Dec1000.wav");
  naming.searches = 0;
  EXPECT_EQ(After("07Dec1000"), "07Dec1001");
  EXPECT_EQ(naming.searches, 1);
}
