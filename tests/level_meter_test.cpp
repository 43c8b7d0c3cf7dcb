// The progress line's level meter: window, hold, clip mark, and the same
// readings however the frames are cut into blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "recorder/level_meter.h"

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
    f.Add(1.6, 0, 0);
    EXPECT_FALSE(Fed(f).Read(1).clipped) << full;
  }
  Frames nearly;
  nearly.Add(0.1, 32766, -32767);
  EXPECT_FALSE(Fed(nearly).Read(0).clipped);
  EXPECT_FALSE(Fed(nearly).Read(1).clipped);
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
