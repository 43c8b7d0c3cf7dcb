// Track names: the first free DDMmmNNN in a folder on a given day.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "recorder/track_naming.h"
#include "tests/engine_harness.h"
#include "tests/test_support.h"

namespace {

class TrackNamingTest : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { testsupport::WriteFileBytes(dir.file(name), {}); }
  std::string Next() const { return MakeTrackName(folder, naming); }

  testsupport::TempDir dir;
  std::string folder = dir.path() + "/";
  harness::FixedDateNaming naming;
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
  for (int i = 1; i <= 999; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "07Dec%03d.wav", i);
    Touch(name);
  }
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
