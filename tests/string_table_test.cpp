// The string table's texts with a value put in: the caption's dropped-frame
// suffix both windows show after a recording, in either language.
#include <gtest/gtest.h>

#include "recorder/string_table.h"

namespace {

std::string Suffix(uint64_t dropped, Language language) {
  return DroppedFramesSuffix(dropped, [language](int id) { return LoadTableString(id, language); });
}

TEST(StringTableTest, TheDroppedFramesSuffixCountsInEitherLanguage) {
  EXPECT_EQ(Suffix(0, Language::English), " - 0 frames dropped");
  EXPECT_EQ(Suffix(1, Language::English), " - 1 frame dropped");
  EXPECT_EQ(Suffix(2, Language::English), " - 2 frames dropped");
  EXPECT_EQ(Suffix(18446744073709551615u, Language::English), " - 18446744073709551615 frames dropped");
  EXPECT_EQ(Suffix(0, Language::Japanese), " - 取りこぼしたフレーム: 0");
  EXPECT_EQ(Suffix(1, Language::Japanese), " - 取りこぼしたフレーム: 1");
}

TEST(StringTableTest, TheSuffixComesFromTheLoaderItIsGiven) {
  // A window's own LoadString (its resources, its translation) decides the text.
  const auto load = [](int id) { return id == IDS_FRAME_DROPPED ? std::string("[%1]") : std::string("<%1>"); };
  EXPECT_EQ(DroppedFramesSuffix(1, load), "[1]");
  EXPECT_EQ(DroppedFramesSuffix(7, load), "<7>");
}

TEST(StringTableTest, FillingReplacesEveryPlaceholderAndNothingElse) {
  EXPECT_EQ(FillTableString("port %1: %1", "0xe000"), "port 0xe000: 0xe000");
  EXPECT_EQ(FillTableString("100% sure, %2 and %", "x"), "100% sure, %2 and %");
  EXPECT_EQ(FillTableString("%1", "%1"), "%1");  // the value is not searched again
  EXPECT_EQ(FillTableString("", "x"), "");
}

TEST(StringTableTest, EveryStringHasBothLanguages) {
  for (int id = IDS_ABOUTBOX; id <= kLastTableString; ++id) {
    EXPECT_FALSE(LoadTableString(id, Language::English).empty()) << id;
    EXPECT_FALSE(LoadTableString(id, Language::Japanese).empty()) << id;
  }
  EXPECT_EQ(LoadTableString(kLastTableString + 1, Language::English), "");
}

TEST(StringTableTest, ThePortTipNamesThePortInLinesOfItsOwn) {
  for (Language language : {Language::English, Language::Japanese}) {
    const std::string tip = FillTableString(LoadTableString(IDS_NO_PORT_ACCESS, language), "0xe000");
    EXPECT_NE(tip.find("0xe000"), std::string::npos) << tip;
    EXPECT_NE(tip.find("(tapewell-card"), std::string::npos) << tip;
    EXPECT_NE(tip.find('\n'), std::string::npos) << tip;
  }
}

}  // namespace
