// The terminal tools' texts: every one in both languages with the same
// placeholders, and the placeholders filled by number.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/cli_text.h"

namespace {

constexpr int kTextCount = static_cast<int>(CliTextId::kCount);

// The placeholder numbers (%1..%9) that `text` holds.
std::set<int> Placeholders(const std::string& text) {
  std::set<int> numbers;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') numbers.insert(text[i + 1] - '0');
  }
  return numbers;
}

bool HasNonAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return true;
  }
  return false;
}

}  // namespace

TEST(CliTextTest, EveryTextHasBothLanguagesWithTheSamePlaceholders) {
  ASSERT_GT(kTextCount, 40);
  for (int i = 0; i < kTextCount; ++i) {
    const auto id = static_cast<CliTextId>(i);
    const std::string english = CliText(id, Language::English);
    const std::string japanese = CliText(id, Language::Japanese);
    EXPECT_FALSE(english.empty()) << "text " << i;
    EXPECT_FALSE(japanese.empty()) << "text " << i;
    EXPECT_NE(english, japanese) << "text " << i << " is not translated";
    EXPECT_FALSE(HasNonAscii(english)) << "text " << i << ": " << english;
    EXPECT_TRUE(HasNonAscii(japanese)) << "text " << i << " is not translated: " << japanese;
    const std::set<int> numbers = Placeholders(english);
    EXPECT_EQ(numbers, Placeholders(japanese)) << "text " << i << ": " << english << " / " << japanese;
    // Numbered from %1 without gaps, so that the n-th argument always has a place.
    int expected = 1;
    for (int n : numbers) EXPECT_EQ(n, expected++) << "text " << i << ": " << english;
  }
  EXPECT_EQ(CliText(CliTextId::kCount, Language::English), "");
}

TEST(CliTextTest, PlaceholdersAreFilledByNumber) {
  EXPECT_EQ(CliText(CliTextId::kRecBadRate, Language::English, {"abc"}), "--rate must be 32000, 44100 or 48000: abc");
  EXPECT_EQ(CliText(CliTextId::kRecBadRate, Language::Japanese, {"abc"}),
            "--rate は 32000、44100、48000 のいずれかにしてください: abc");
  EXPECT_EQ(CliText(CliTextId::kRecCannotWrite, Language::English, {"/mnt/a.wav", "No space left on device"}),
            "cannot write /mnt/a.wav: No space left on device");
  // The Japanese sentence names the frames in the other order.
  const std::string cut = CliText(CliTextId::kRecInputCutShort, Language::Japanese, {"in.wav", "12", "3456"});
  EXPECT_NE(cut.find("入力ファイル 'in.wav'"), std::string::npos) << cut;
  EXPECT_NE(cut.find("3456 フレームのうち 12 フレーム"), std::string::npos) << cut;
  EXPECT_EQ(CliText(CliTextId::kRecInputCutShort, Language::English, {"in.wav", "12", "3456"}),
            "input file 'in.wav' was cut short while it was replayed: 12 of its 3456 frames were read and recorded");
}

TEST(CliTextTest, ArgumentsAreTakenAsTheyAre) {
  // A value typed by the user that looks like a placeholder is not filled again.
  EXPECT_EQ(CliText(CliTextId::kRecRateDiffers, Language::English, {"%2", "48000"}),
            "--rate %2 differs from the input file's rate 48000");
  EXPECT_EQ(CliText(CliTextId::kRecBadLevel, Language::English, {"100%"}),
            "--level must be a whole number from 0 to 15: 100%");
  // Without its argument a placeholder stays as written.
  EXPECT_EQ(CliText(CliTextId::kRecBadLevel, Language::English), "--level must be a whole number from 0 to 15: %1");
}
