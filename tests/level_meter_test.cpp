// The progress line's level meter: window, hold, clip mark, and the same
// readings however the frames are cut into blocks; and the level rule's
// silences: clicks, hysteresis, the louder channel, the automatic threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "recorder/level_meter.h"
#include "recorder/level_rule.h"

namespace {

constexpr int kRate = 48000;

struct Frames {
  std::vector<int16_t> samples;  // left, right, left, right...
  void Add(double seconds, int16_t left, int16_t right) {
    for (int i = 0; i < static_cast<int>(seconds * kRate); ++i) {
      samples.push_back(left);
      samples.push_back(right);
    }
  }
  uint32_t count() const { return static_cast<uint32_t>(samples.size() / 2); }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(samples.data()); }
};

LevelMeter Fed(const Frames& f) {
  LevelMeter meter;
  meter.Reset(kRate);
  meter.Measure(f.bytes(), f.count());
  return meter;
}

}  // namespace

TEST(LevelMeterTest, ReadsTheLoudestMagnitudeOfEachChannelInDecibels) {
  Frames f;
  for (int i = 0; i < kRate / 5; ++i) {
    const double v = std::sin(2 * M_PI * 1000 * i / kRate);
    f.samples.push_back(static_cast<int16_t>(std::lround(16384 * v)));
    f.samples.push_back(static_cast<int16_t>(std::lround(-1024 * v)));
  }
  const LevelMeter meter = Fed(f);
  EXPECT_EQ(meter.Read(0).peak, 16384);
  EXPECT_EQ(meter.Read(1).peak, 1024);
  EXPECT_EQ(LevelMeter::Decibels(meter.Read(0).peak), "-6.0");
  EXPECT_EQ(LevelMeter::Decibels(meter.Read(1).peak), "-30.1");
  EXPECT_EQ(LevelMeter::Decibels(0), "-inf");
  EXPECT_EQ(LevelMeter::Decibels(32768), "0.0");
  EXPECT_FALSE(meter.Read(0).clipped);
  EXPECT_EQ(meter.Text(), "L -6.0 (-6.0)  R -30.1 (-30.1) dBFS");
}

TEST(LevelMeterTest, PeakCoversAboutTheLastHundredMillisecondsAndTheHoldTwoSeconds) {
  Frames f;
  f.Add(0.05, 8000, -8000);
  f.Add(0.09, 100, 100);
  EXPECT_EQ(Fed(f).Read(0).peak, 8000);  // the burst is still inside the window
  f.Add(0.03, 100, 100);
  EXPECT_EQ(Fed(f).Read(0).peak, 100);  // 120 ms later it has left it
  EXPECT_EQ(Fed(f).Read(1).hold, 8000);
  f.Add(1.8, 100, 100);
  EXPECT_EQ(Fed(f).Read(1).hold, 8000);
  f.Add(0.3, 100, 100);
  EXPECT_EQ(Fed(f).Read(1).hold, 100);  // the hold lets go after 2 s
}

TEST(LevelMeterTest, ClipMarkOnlyForTheChannelThatReachedFullScaleAndOnlyForTwoSeconds) {
  for (int16_t full : {int16_t{32767}, int16_t{-32768}}) {
    Frames f;
    f.Add(0.2, 0, 0);
    f.samples[2 * 777 + 1] = full;  // one right sample
    f.Add(0.5, 0, 0);
    LevelMeter meter = Fed(f);
    EXPECT_FALSE(meter.Read(0).clipped);
    EXPECT_TRUE(meter.Read(1).clipped) << full;
    EXPECT_NE(meter.Text().find("CLIP) dBFS"), std::string::npos) << meter.Text();
    EXPECT_TRUE(meter.ClipLight());
    f.Add(1.6, 0, 0);
    LevelMeter later = Fed(f);
    EXPECT_FALSE(later.Read(1).clipped) << full;
    // The clip light stays lit until it is put out, and lights again only at full scale.
    EXPECT_TRUE(later.ClipLight()) << full;
    later.ClearClipLight();
    later.Measure(f.bytes(), 100);
    EXPECT_FALSE(later.ClipLight()) << full;
  }
  Frames nearly;
  nearly.Add(0.1, 32766, -32767);
  EXPECT_FALSE(Fed(nearly).Read(0).clipped);
  EXPECT_FALSE(Fed(nearly).Read(1).clipped);
  EXPECT_FALSE(Fed(nearly).ClipLight());
}

TEST(LevelMeterTest, SameReadingsWhateverTheBlocksAndAsCountedSampleBySample) {
  std::mt19937 random(12);
  Frames f;
  for (int i = 0; i < 3 * kRate; ++i) {
    // Quiet noise with rare loud samples, so the window and the hold differ.
    const int loud = random() % 5000 == 0 ? 30000 : 2000;
    f.samples.push_back(static_cast<int16_t>(static_cast<int>(random() % (2 * loud + 1)) - loud));
    f.samples.push_back(static_cast<int16_t>(static_cast<int>(random() % 401) - 200));
  }
  const LevelMeter whole = Fed(f);
  LevelMeter pieces;
  pieces.Reset(kRate);
  for (uint32_t at = 0, n = 1; at < f.count(); at += n, n = n * 7 % 1013 + 1) {
    pieces.Measure(f.bytes() + 4 * size_t{at}, std::min(n, f.count() - at));
  }
  // By hand: slices of 960 frames (20 ms), the last five whole ones and the one being filled.
  const uint32_t slice = 960, whole_slices = f.count() / slice;
  const uint32_t from = (whole_slices >= 5 ? whole_slices - 5 : 0) * slice;
  for (int c = 0; c < 2; ++c) {
    int32_t peak = 0;
    for (uint32_t j = from; j < f.count(); ++j) peak = std::max(peak, std::abs(int32_t{f.samples[2 * j + c]}));
    EXPECT_EQ(whole.Read(c).peak, peak) << c;
    EXPECT_EQ(pieces.Read(c).peak, peak) << c;
    EXPECT_EQ(pieces.Read(c).hold, whole.Read(c).hold) << c;
  }
}

// The level rule: a signal of constant magnitude a (alternating +a and -a)
// has an RMS of a, so each stretch below sits at a chosen level.
struct LevelStretch {
  double seconds, leftDb, rightDb;
};

Frames AtLevels(const std::vector<LevelStretch>& stretches) {
  Frames f;
  for (const auto& s : stretches) {
    auto magnitude = [](double db) {
      return static_cast<int16_t>(db <= -200 ? 0 : std::lround(32768 * std::pow(10, db / 20)));
    };
    const int16_t l = magnitude(s.leftDb), r = magnitude(s.rightDb);
    for (int i = 0; i < static_cast<int>(std::lround(s.seconds * kRate)); ++i) {
      const int sign = i % 2 ? -1 : 1;
      f.samples.push_back(static_cast<int16_t>(sign * l));
      f.samples.push_back(static_cast<int16_t>(sign * r));
    }
  }
  return f;
}

struct SilenceSeen {
  int64_t start, onset;
  bool operator==(const SilenceSeen&) const = default;
};

// Every silence that ended, fed in pieces of `piece` frames.
std::vector<SilenceSeen> SilencesEnded(const Frames& f, bool automatic, double thresholdDb, uint32_t piece,
                                       LevelRule* rule = nullptr) {
  LevelRule own;
  LevelRule& r = rule ? *rule : own;
  r.Start(kRate, automatic, thresholdDb);
  std::vector<SilenceSeen> seen;
  for (uint32_t at = 0; at < f.count();) {
    const uint32_t n = std::min(piece, f.count() - at);
    uint32_t done = 0;
    while (done < n) {
      done += r.Take(f.bytes() + 4 * size_t{at + done}, n - done);
      if (r.BlockDone() && r.SilenceEnded()) seen.push_back({r.SilenceStart(), r.Onset()});
    }
    at += n;
  }
  return seen;
}

TEST(LevelRuleTest, ClicksAndAHoveringFloorNeitherEndNorStartASilence) {
  const int64_t block = kRate / 100;
  const struct {
    const char* what;
    std::vector<LevelStretch> signal;
    std::vector<SilenceSeen> silences;  // with a threshold of -40 dBFS
  } cases[] = {
      {"sound, silence, sound: the silence ends at the first block of sound",
       {{0.5, -20, -20}, {1, -60, -60}, {0.5, -20, -20}},
       {{0, 0}, {50 * block, 150 * block}}},
      {"the louder channel counts",
       {{0.5, -20, -20}, {1, -60, -20}, {0.5, -20, -20}},
       {{0, 0}}},
      {"clicks of 10 and 20 ms end nothing; 40 ms of sound does",
       {{0.5, -20, -20}, {0.5, -60, -60}, {0.01, -10, -10}, {0.3, -60, -60}, {0.02, -10, -10}, {0.3, -60, -60},
        {0.04, -10, -10}, {0.5, -60, -60}},
       {{0, 0}, {50 * block, 163 * block}}},
      {"a floor hovering 1 dB either side of the threshold stays one silence",
       {{0.5, -20, -20}, {0.2, -41, -41}, {0.2, -39, -39}, {0.2, -41, -41}, {0.2, -39, -39}, {0.5, -20, -20}},
       {{0, 0}, {50 * block, 130 * block}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Frames f = AtLevels(c.signal);
    // The first onset ends the silence the input starts in.
    EXPECT_EQ(SilencesEnded(f, false, -40, 8192), c.silences);
    EXPECT_EQ(SilencesEnded(f, false, -40, 100), c.silences) << "the same in other pieces";
  }
}

TEST(LevelRuleTest, AutomaticThresholdSitsAboveTheNoiseFloorAndAtTheBottomForDigitalSilence) {
  LevelRule rule;
  // Two seconds of floor at -50 dBFS, then sound.
  SilencesEnded(AtLevels({{2, -50, -50}, {1, -15, -15}}), true, 0, 4096, &rule);
  EXPECT_NEAR(rule.FloorDb(), -50, 0.5);
  EXPECT_NEAR(rule.ThresholdDb(), -50 + LevelRule::kFloorMarginDb, 0.5);
  // Digital silence between the sounds: no floor above it.
  SilencesEnded(AtLevels({{1, -15, -15}, {1, -200, -200}, {1, -30, -30}}), true, 0, 4096, &rule);
  EXPECT_EQ(rule.FloorDb(), LevelRule::kSilentBlockDb);
  EXPECT_EQ(rule.ThresholdDb(), LevelRule::kLowestThresholdDb);
}
