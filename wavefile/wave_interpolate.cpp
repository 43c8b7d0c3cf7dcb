// Reads at fractional frame positions: linear, cubic convolution and a
// truncated sinc sum, each over frames fetched with WaveGetSample.
#include <bit>
#include <climits>
#include <cmath>

#include "wavefile/wavefile.h"
#include "wavefile/wavefile_state.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr int32_t kMaxTaps = 200;

// Truncation toward zero to 32 bits that is defined for every double:
// NaN gives 0, values beyond the range saturate.
int32_t TruncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// A frame at a 64-bit position; positions outside the 32-bit range read silence.
WaveResult Fetch(int64_t position, double& left, double& right) {
  int32_t l = 0, r = 0;
  if (position >= INT32_MIN && position <= INT32_MAX) {
    const WaveResult result = WaveGetSample(static_cast<int32_t>(position), l, r);
    if (result != WAVE_OK) return result;
  } else if (!g_waveFileState.reader.file) {
    return WAVE_ERR_OPEN;
  }
  left = l;
  right = r;
  return WAVE_OK;
}

struct Split {
  int64_t n;  // x truncated toward zero
  double f;   // x - n
};

Split SplitPosition(double x) {
  const int64_t n = TruncToInt32(x);
  return {n, x - static_cast<double>(n)};
}

// 2^e as a double, for the exponents of normal numbers.
double PowerOfTwo(int e) { return std::bit_cast<double>(static_cast<uint64_t>(e + 1023) << 52); }

// Reduces the angle a = pi t exactly as repeated subtraction (or addition)
// of the double 2 pi would. Small angles (the library's own distances of
// about 100 frames give at most ~320) are stepped as written. Above 1024 the
// steps inside one binade all remove the same amount, 2 pi rounded to that
// binade's grid (no ties there), so a run of them is taken at once; only the
// binade 64..128 has ties, and it is stepped one by one. Beyond the 32-bit
// frame range the angle is reduced with fmod.
double ReduceAngle(double a, double t) {
  if (!(std::fabs(t) <= 2147483648.0)) return std::fmod(a, kTwoPi);
  const bool negative = a < 0;
  double b = negative ? -a : a;
  while (b >= kTwoPi) {
    if (b >= 1024.0) {
      const int binade = static_cast<int>((std::bit_cast<uint64_t>(b) >> 52) & 0x7FF) - 1023;
      const double low = PowerOfTwo(binade);
      const double ulp = PowerOfTwo(binade - 52);
      const double step = std::nearbyint(kTwoPi * PowerOfTwo(52 - binade)) * ulp;
      const double runs = std::floor((b - low) / step) - 1;
      if (runs > 0) {
        b -= runs * step;
        continue;
      }
    }
    b -= kTwoPi;
  }
  return negative ? -b : b;
}

}  // namespace

double CubicKernel(double t) {
  const double a = std::fabs(t);
  if (a < 1) return 1 - 2 * a * a + a * a * a;
  if (a < 2) return 4 - 8 * a + 5 * a * a - a * a * a;
  return 0;
}

double Sinc(double t) {
  if (t == 0) return 1;
  const double a = ReduceAngle(kPi * t, t);
  return std::sin(a) / (kPi * t);
}

WaveResult WaveGetSampleLinear(double x, int32_t& left, int32_t& right) {
  const Split s = SplitPosition(x);
  double l0, r0, l1, r1;
  if (WaveResult result = Fetch(s.n, l0, r0); result != WAVE_OK) return result;
  if (WaveResult result = Fetch(s.n + 1, l1, r1); result != WAVE_OK) return result;
  left = TruncToInt32(l0 * (1 - s.f) + l1 * s.f);
  right = TruncToInt32(r0 * (1 - s.f) + r1 * s.f);
  return WAVE_OK;
}

WaveResult WaveGetSampleCubicReal(double x, double& left, double& right) {
  const Split s = SplitPosition(x);
  const double w0 = CubicKernel(-1 - s.f), w1 = CubicKernel(-s.f);
  const double w2 = CubicKernel(1 - s.f), w3 = CubicKernel(2 - s.f);
  double l[4], r[4];
  for (int k = 0; k < 4; ++k) {
    if (WaveResult result = Fetch(s.n - 1 + k, l[k], r[k]); result != WAVE_OK) return result;
  }
  left = ((w0 * l[0] + w1 * l[1]) + w2 * l[2]) + w3 * l[3];
  right = ((w0 * r[0] + w1 * r[1]) + w2 * r[2]) + w3 * r[3];
  return WAVE_OK;
}

WaveResult WaveGetSampleCubic(double x, int32_t& left, int32_t& right) {
  double l = 0, r = 0;
  if (WaveResult result = WaveGetSampleCubicReal(x, l, r); result != WAVE_OK) return result;
  left = TruncToInt32(l);
  right = TruncToInt32(r);
  return WAVE_OK;
}

WaveResult WaveGetSampleSinc(double x, int32_t& left, int32_t& right, int32_t taps) {
  if (taps > kMaxTaps) taps = kMaxTaps;
  const Split s = SplitPosition(x);
  const int32_t h = taps / 2;
  double lefts[kMaxTaps], rights[kMaxTaps], distances[kMaxTaps];
  for (int32_t i = 0; i < taps; ++i) {
    const int64_t q = s.n + i + 1 - h;
    distances[i] = x - static_cast<double>(q);
    if (WaveResult result = Fetch(q, lefts[i], rights[i]); result != WAVE_OK) return result;
  }
  double leftSum = 0, rightSum = 0;
  for (int32_t i = 0; i < taps; ++i) {
    const double w = Sinc(distances[i]);
    leftSum += w * lefts[i];
    rightSum += w * rights[i];
  }
  left = TruncToInt32(leftSum);
  right = TruncToInt32(rightSum);
  return WAVE_OK;
}
