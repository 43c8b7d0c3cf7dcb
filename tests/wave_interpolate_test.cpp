// Reads at fractional positions: kernel values, truncation, summation and
// the sinc angle reduction.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/test_support.h"
#include "tests/wav_bytes.h"
#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

namespace {

// A 16-bit stereo file whose frames are given; left and right carry the
// same value unless `rightNegated`.
class Interpolation : public ::testing::Test {
 protected:
  void SetUp() override { g_waveFileState = WaveFileState{}; }
  void TearDown() override { g_waveFileState = WaveFileState{}; }

  void OpenWith(const std::vector<int16_t>& values, bool rightNegated = false) {
    std::vector<uint8_t> data;
    for (int16_t v : values) {
      wavbytes::AppendLe16(data, static_cast<uint16_t>(v));
      wavbytes::AppendLe16(data, static_cast<uint16_t>(rightNegated ? static_cast<int16_t>(-v) : v));
    }
    const auto path = dir.file("i.wav");
    testsupport::WriteFileBytes(path, wavbytes::Riff({wavbytes::Fmt(44100, 16, 2), wavbytes::Chunk("data", data)}));
    int32_t rate, bits, channels;
    uint32_t size;
    ASSERT_EQ(WaveOpenRead(path.c_str(), rate, bits, channels, size), WAVE_OK);
  }

  // Frames 0..19 all zero but for frames 9..12 (n - 1 .. n + 2 for x = 10.5).
  void OpenAround10(int16_t a, int16_t b, int16_t c, int16_t d) {
    std::vector<int16_t> v(20, 0);
    v[9] = a;
    v[10] = b;
    v[11] = c;
    v[12] = d;
    OpenWith(v, true);
  }

  testsupport::TempDir dir;
};

// The angle reduction exactly as written: repeated subtraction of 2 pi.
double NaiveSinc(double t) {
  if (t == 0) return 1;
  double a = 3.141592653589793 * t;
  while (a >= 6.283185307179586) a -= 6.283185307179586;
  while (a <= -6.283185307179586) a += 6.283185307179586;
  return std::sin(a) / (3.141592653589793 * t);
}

}  // namespace

TEST(CubicKernelTest, Values) {
  EXPECT_EQ(CubicKernel(0), 1);
  EXPECT_EQ(CubicKernel(0.5), 0.625);
  EXPECT_EQ(CubicKernel(-0.5), 0.625);
  EXPECT_EQ(CubicKernel(1), 0);
  EXPECT_EQ(CubicKernel(-1), 0);
  EXPECT_EQ(CubicKernel(1.5), -0.125);
  EXPECT_EQ(CubicKernel(-1.5), -0.125);
  EXPECT_EQ(CubicKernel(2), 0);
  EXPECT_EQ(CubicKernel(-7.3), 0);
  // The weights of f = 0.25.
  EXPECT_EQ(CubicKernel(-1.25), -0.140625);
  EXPECT_EQ(CubicKernel(-0.25), 0.890625);
  EXPECT_EQ(CubicKernel(0.75), 0.296875);
  EXPECT_EQ(CubicKernel(1.75), -0.046875);
}

TEST(SincTest, Values) {
  EXPECT_EQ(Sinc(0), 1);
  EXPECT_NEAR(Sinc(0.5), 0.63662, 1e-5);
  EXPECT_NEAR(Sinc(1.5), -0.21221, 1e-5);
  EXPECT_NEAR(Sinc(-1.5), -0.21221, 1e-5);
  EXPECT_NEAR(Sinc(1), 0, 1e-15);
}

TEST(SincTest, FastReductionEqualsRepeatedSubtractionBitForBit) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> small(-120, 120), medium(-1e5, 1e5);
  for (int i = 0; i < 20000; ++i) {
    for (double t : {small(rng), medium(rng)}) {
      const double fast = Sinc(t), naive = NaiveSinc(t);
      ASSERT_EQ(std::memcmp(&fast, &naive, sizeof fast), 0) << std::hexfloat << t;
    }
  }
  // Binade edges and the one binade (64..128) where 2 pi rounds to a tie.
  for (double t : {20.0, 20.371832715762604, 40.74366543152521, 81.48733086305042, 162.97466172610083,
                   2.0 * 40.743665431525206, 1e6 + 0.5, -333333.25}) {
    const double fast = Sinc(t), naive = NaiveSinc(t);
    ASSERT_EQ(std::memcmp(&fast, &naive, sizeof fast), 0) << std::hexfloat << t;
  }
}

TEST(SincTest, ReturnsForEveryArgument) {
  EXPECT_TRUE(std::isfinite(Sinc(2147483647.5)));
  EXPECT_TRUE(std::isfinite(Sinc(-2147483648.0)));
  EXPECT_TRUE(std::isfinite(Sinc(1e300)));
  EXPECT_TRUE(std::isnan(Sinc(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isnan(Sinc(std::numeric_limits<double>::infinity())));
  EXPECT_LE(std::fabs(Sinc(3e12)), 1.0 / (3.141592653589793 * 3e12) * 1.000001);
}

TEST_F(Interpolation, IntegralPositionsReturnTheFrame) {
  OpenAround10(-700, 1234, -32768, 32767);
  int32_t l, r;
  double dl, dr;
  for (int x = 9; x <= 12; ++x) {
    int32_t expected;
    WaveGetSample(x, expected, r);
    ASSERT_EQ(WaveGetSampleLinear(x, l, r), WAVE_OK);
    EXPECT_EQ(l, expected);
    ASSERT_EQ(WaveGetSampleCubic(x, l, r), WAVE_OK);
    EXPECT_EQ(l, expected);
    ASSERT_EQ(WaveGetSampleCubicReal(x, dl, dr), WAVE_OK);
    EXPECT_EQ(dl, expected);
  }
}

TEST_F(Interpolation, LinearTruncatesTowardZero) {
  OpenAround10(0, 100, 201, 0);
  int32_t l, r;
  ASSERT_EQ(WaveGetSampleLinear(10.5, l, r), WAVE_OK);
  EXPECT_EQ(l, 150);
  EXPECT_EQ(r, -150);
}

TEST_F(Interpolation, CubicIsNotClampedTo16Bits) {
  OpenAround10(0, 100, 100, 0);
  int32_t l, r;
  ASSERT_EQ(WaveGetSampleCubic(10.5, l, r), WAVE_OK);
  EXPECT_EQ(l, 125);
  EXPECT_EQ(r, -125);
  WaveCloseRead();
  OpenAround10(0, 32767, 32767, 0);
  ASSERT_EQ(WaveGetSampleCubic(10.5, l, r), WAVE_OK);
  EXPECT_EQ(l, 40958);
  EXPECT_EQ(r, -40958);
  double dl, dr;
  ASSERT_EQ(WaveGetSampleCubicReal(10.5, dl, dr), WAVE_OK);
  EXPECT_EQ(dl, 40958.75);
  EXPECT_EQ(dr, -40958.75);
}

TEST_F(Interpolation, CubicWeightsAtAQuarter) {
  OpenAround10(1000, 0, 0, 0);
  double dl, dr;
  ASSERT_EQ(WaveGetSampleCubicReal(10.25, dl, dr), WAVE_OK);
  EXPECT_DOUBLE_EQ(dl, -140.625);
  WaveCloseRead();
  OpenAround10(0, 0, 1000, 0);
  ASSERT_EQ(WaveGetSampleCubicReal(10.25, dl, dr), WAVE_OK);
  EXPECT_DOUBLE_EQ(dl, 296.875);
}

TEST_F(Interpolation, NegativeFractionsExtrapolate) {
  OpenWith({1000, 2000, 0, 0});
  int32_t l, r;
  // x = -0.25: n = 0, f = -0.25: 1.25 x frame 0 - 0.25 x frame 1.
  ASSERT_EQ(WaveGetSampleLinear(-0.25, l, r), WAVE_OK);
  EXPECT_EQ(l, 750);
  // x = -0.5: weights 0.625, 0.625, -0.125, 0 for frames -1, 0, 1, 2.
  double dl, dr;
  ASSERT_EQ(WaveGetSampleCubicReal(-0.5, dl, dr), WAVE_OK);
  EXPECT_DOUBLE_EQ(dl, 0.625 * 0 + 0.625 * 1000 - 0.125 * 2000);
}

TEST_F(Interpolation, SincTaps) {
  std::vector<int16_t> v(400);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(100 + i);
  OpenWith(v);
  int32_t l = 5, r = 5;
  ASSERT_EQ(WaveGetSampleSinc(200.0, l, r, 0), WAVE_OK);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(WaveGetSampleSinc(200.0, l, r, -3), WAVE_OK);
  EXPECT_EQ(l, 0);
  // One tap reads only frame n + 1, weighted by Sinc(-1), practically 0.
  ASSERT_EQ(WaveGetSampleSinc(200.5, l, r, 1), WAVE_OK);
  EXPECT_EQ(l, static_cast<int32_t>(Sinc(-0.5) * 301));
  // At an integral x every other tap weighs ~0: the frame itself comes back.
  ASSERT_EQ(WaveGetSampleSinc(200.0, l, r, 10), WAVE_OK);
  EXPECT_NEAR(l, 300, 1);
  // 250 taps sum the same 200 frames as 200 taps.
  int32_t l200, r200;
  ASSERT_EQ(WaveGetSampleSinc(200.3, l, r, 250), WAVE_OK);
  ASSERT_EQ(WaveGetSampleSinc(200.3, l200, r200, 200), WAVE_OK);
  EXPECT_EQ(l, l200);
  // A straightforward sum over n - 99 .. n + 100.
  double sum = 0;
  for (int q = 200 - 99; q <= 200 + 100; ++q) sum += Sinc(200.3 - q) * (100 + q);
  EXPECT_EQ(l200, static_cast<int32_t>(sum));
}

TEST_F(Interpolation, ReadsReturnForAnyPosition) {
  OpenWith({1, 2, 3, 4});
  int32_t l, r;
  double dl, dr;
  for (double x : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(), 1e15, -1e15, 2147483647.9, -2147483648.5}) {
    EXPECT_EQ(WaveGetSampleLinear(x, l, r), WAVE_OK);
    EXPECT_EQ(WaveGetSampleCubic(x, l, r), WAVE_OK);
    EXPECT_EQ(WaveGetSampleCubicReal(x, dl, dr), WAVE_OK);
    EXPECT_EQ(WaveGetSampleSinc(x, l, r, 200), WAVE_OK);
  }
}
