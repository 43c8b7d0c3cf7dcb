// The progress line fitted to a terminal: never as wide as the terminal (so
// it never wraps), whatever the width, the path or the language; the path
// gives way from the left first, then the level meter.
#include <gtest/gtest.h>

#include "cli/help_layout.h"
#include "cli/progress_line.h"

namespace {

ProgressParts Parts(const std::string& path, const std::string& track = "track 12",
                    const std::string& dropped = "dropped 0") {
  ProgressParts p;
  p.frames = 44100 * 3725 + 22050;  // 1 h 2 min 5.5 s
  p.rate = 44100;
  p.track = track;
  p.level = "L -12.3 (-6.0)  R -14.1 (-0.0 CLIP) dBFS";
  p.path = path;
  p.dropped = dropped;
  return p;
}

}  // namespace

TEST(ProgressLineTest, NeverReachesTheLastColumnAtAnyWidth) {
  const ProgressParts english = Parts("/home/me/recordings/live/08Dec012.wav");
  const ProgressParts japanese = Parts("/home/me/録音/ライブ演奏/08Dec012.wav", "トラック 12", "欠落 0");
  for (const ProgressParts& p : {english, japanese}) {
    for (int columns = 2; columns <= 160; ++columns) {
      const std::string line = FittedProgressLine(p, columns);
      EXPECT_LT(DisplayWidth(line), columns) << columns << ": " << line;
      EXPECT_FALSE(line.empty()) << columns;
    }
  }
}

TEST(ProgressLineTest, ThePathGivesWayFromTheLeftThenTheLevel) {
  const ProgressParts p = Parts("/home/me/recordings/live/08Dec012.wav");
  EXPECT_EQ(FittedProgressLine(p, 200), PlainProgressLine(p));
  EXPECT_EQ(PlainProgressLine(p),
            "01:02:05  track 12  L -12.3 (-6.0)  R -14.1 (-0.0 CLIP) dBFS  /home/me/recordings/live/08Dec012.wav  "
            "dropped 0");
  EXPECT_EQ(FittedProgressLine(p, 100),
            "01:02:05  track 12  L -12.3 (-6.0)  R -14.1 (-0.0 CLIP) dBFS  …ordings/live/08Dec012.wav  dropped 0");
  // 59 columns: the level goes, the path keeps its last 27 characters.
  EXPECT_EQ(FittedProgressLine(p, 60), "01:02:05  track 12  …ecordings/live/08Dec012.wav  dropped 0");
  EXPECT_EQ(FittedProgressLine(p, 40), "01:02:05  track 12  …012.wav  dropped 0");
  EXPECT_EQ(FittedProgressLine(p, 30), "01:02:05  track 12  dropped 0");
  EXPECT_EQ(FittedProgressLine(p, 12), "01:02:05  t");
}

TEST(ProgressLineTest, WideCharactersTakeTwoColumns) {
  EXPECT_EQ(DisplayWidth("abc"), 3);
  EXPECT_EQ(DisplayWidth("録音"), 4);
  EXPECT_EQ(DisplayWidth("…"), 1);
  EXPECT_EQ(DisplayWidth("ﾊﾞｰｼﾞｮﾝ"), 7) << "half-width katakana take one";
}

TEST(ProgressLineTest, RecordingTime) {
  EXPECT_EQ(RecordingTime(0, 44100, true), "00:00:00.000");
  EXPECT_EQ(RecordingTime(44099, 44100, true), "00:00:00.999");
  EXPECT_EQ(RecordingTime(int64_t{48000} * 360000, 48000, false), "100:00:00");
  EXPECT_EQ(RecordingTime(5, 0, false), "--:--:--");
}
