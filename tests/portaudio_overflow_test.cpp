// What an input overflow below the capture layer cost, from the capture
// times PortAudio hands each callback.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "capture/portaudio/portaudio_wave_in.h"

namespace {

uint64_t Lost(double previous, double now, uint64_t frames, uint32_t rate) {
  return PortAudioWaveInService::OverflowFramesForTest(previous, now, frames, rate);
}

}  // namespace

TEST(PortAudioOverflowTest, GapBetweenCallbacksIsCountedInFrames) {
  // 8,192 frames at 48 kHz last 0.170666 s; the next block began 0.5 s later than that.
  const double previous = 100.0, now = previous + 8192.0 / 48000 + 0.5;
  EXPECT_EQ(Lost(previous, now, 8192, 48000), 24000u);
  EXPECT_EQ(Lost(previous, previous + 8192.0 / 44100, 8192, 44100), 0u);  // no gap: nothing lost
}

TEST(PortAudioOverflowTest, TimesThatSayNothingCountNothing) {
  // Streams without capture times give zeros; the caller then counts one frame.
  EXPECT_EQ(Lost(0, 0, 8192, 48000), 0u);
  EXPECT_EQ(Lost(5, 4, 8192, 48000), 0u);  // time going backwards
  EXPECT_EQ(Lost(1, std::numeric_limits<double>::quiet_NaN(), 8192, 48000), 0u);
  EXPECT_EQ(Lost(1, std::numeric_limits<double>::infinity(), 8192, 48000), 0u);
  EXPECT_EQ(Lost(1, 2, 8192, 0), 0u);
}
