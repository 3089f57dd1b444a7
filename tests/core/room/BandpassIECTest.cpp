#include "room/uBandpassIEC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Steady-state gain in dB of a sine at f through the filter (peak of the last cycles after settling).
double GainDb(double fc, int oktave, double f, double fs = 48000) {
  TBandpassIEC bp(fc, fs, oktave);
  const int n = static_cast<int>(fs * 2);
  double peak = 0;
  for (int i = 0; i < n; ++i) {
    const double y = bp.Process(std::sin(2 * std::numbers::pi * f * i / fs));
    if (i > n / 2) peak = std::max(peak, std::fabs(y));
  }
  return 20 * std::log10(peak);
}

}  // namespace

TEST(BandpassIEC, QOfOctaveAndThirdOctaveBands) {
  EXPECT_NEAR(TBandpassIEC(1000, 48000, 1).Q(), 1.41421356, 1e-8);
  EXPECT_NEAR(TBandpassIEC(1000, 48000, 3).Q(), 4.31847305, 1e-8);
}

// Three sections of 0 dB peak gain: 0 dB at the centre; well below half the rate, 3 x -3 dB at the band
// edges fc * 2^(+-1/(2N)). (Near half the rate the digital band grows narrower; its edges fall lower.)
TEST(BandpassIEC, ZeroDecibelsAtCentreAndNineDecibelsDownAtTheBandEdges) {
  struct Case { double fc; int n; };
  for (const Case c : {Case{63, 1}, Case{500, 1}, Case{50, 3}, Case{1000, 3}, Case{10000, 3}}) {
    EXPECT_NEAR(GainDb(c.fc, c.n, c.fc), 0.0, 0.02) << c.fc;
    if (c.fc > 1000) continue;
    const double edge = std::pow(2.0, 1.0 / (2 * c.n));
    EXPECT_NEAR(GainDb(c.fc, c.n, c.fc * edge), -9.03, 0.1) << c.fc;
    EXPECT_NEAR(GainDb(c.fc, c.n, c.fc / edge), -9.03, 0.1) << c.fc;
  }
}

TEST(BandpassIEC, BufferAndSampleFormsGiveTheSameNumbersAndResetRestartsFromZero) {
  TBandpassIEC a(500, 48000, 3), b(500, 48000, 3);
  std::vector<float> in(5000), out(5000);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(std::sin(0.01 * i * i));
  a.ProcessBuffer(in.data(), out.data(), 2000);
  a.ProcessBuffer(in.data() + 2000, out.data() + 2000, 3000);
  for (std::size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], static_cast<float>(b.Process(in[i]))) << i;

  a.Reset();
  TBandpassIEC fresh(500, 48000, 3);
  EXPECT_EQ(a.Process(1.0), fresh.Process(1.0));
  EXPECT_EQ(a.Process(0.0), fresh.Process(0.0));
}

TEST(BandpassIEC, CentreAtOrAboveHalfTheRatePassesNothing) {
  for (const double fc : {8000.0, 9000.0, 0.0, -5.0}) {
    TBandpassIEC bp(fc, 16000, 1);
    double energy = 0;
    for (int i = 0; i < 1000; ++i) {
      const double y = bp.Process(i == 0 ? 1.0 : std::sin(0.3 * i));
      ASSERT_TRUE(std::isfinite(y));
      energy += y * y;
    }
    EXPECT_EQ(energy, 0.0) << fc;
  }
}
