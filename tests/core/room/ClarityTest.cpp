#include "room/uBandpassIEC.h"
#include "room/uRT60Complete.h"

#include "RoomTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kFs = 48000;

struct TDirect {
  double C50, C80, D50, Ts;
};

// The definitions, written out in double precision: early up to and including 50 / 80 ms.
TDirect Direct(const std::vector<float>& x, double fs) {
  double e50 = 0, e80 = 0, total = 0, moment = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double e = static_cast<double>(x[i]) * x[i];
    total += e;
    moment += e * i / fs;
    if (i <= 2400) e50 += e;
    if (i <= 3840) e80 += e;
  }
  return {10 * std::log10(e50 / (total - e50)), 10 * std::log10(e80 / (total - e80)), 100 * e50 / total,
          1000 * moment / total};
}

}  // namespace

TEST(Clarity, BroadbandMeasuresMatchTheirDefinitions) {
  TRTPipeline rt(48000);
  for (const double T : {0.3, 1.0, 2.5}) {
    const std::vector<float> ir = roomtest::DecayingNoise(1.5 * T, T, kFs, 21);
    const TDirect d = Direct(ir, kFs);
    const TClarityResult c = rt.ClarityFromIR(ir, kFs);
    EXPECT_NEAR(c.C50_dB, d.C50, 0.01) << T;
    EXPECT_NEAR(c.C80_dB, d.C80, 0.01) << T;
    EXPECT_NEAR(c.D50_Prozent, d.D50, 0.01) << T;
    EXPECT_NEAR(c.Ts_ms, d.Ts, 0.05) << T;
  }
}

// Band form: time 0 at the band signal's own peak, boundary sample late.
TEST(Clarity, BandMeasuresMatchTheirDefinitionsOnTheBandSignal) {
  TRTPipeline rt(48000);
  rt.RT60_SetOctaveCenterFrequencies(0);
  const std::vector<float> ir = roomtest::DecayingNoise(1.5, 1.0, kFs, 22);
  std::vector<float> c50, c80;
  rt.ComputeBandClarity(ir, kFs, c50, c80);
  ASSERT_EQ(c50.size(), 6u);
  for (std::size_t b = 0; b < 6; ++b) {
    TBandpassIEC bp(rt.BandCenters()[b], kFs, 1);
    std::vector<double> y(ir.size());
    std::size_t peak = 0;
    for (std::size_t i = 0; i < ir.size(); ++i) {
      y[i] = static_cast<float>(bp.Process(ir[i]));
      if (std::fabs(y[i]) > std::fabs(y[peak])) peak = i;
    }
    double early50 = 0, early80 = 0, total = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
      total += y[i] * y[i];
      if (i < peak + 2400) early50 += y[i] * y[i];
      if (i < peak + 3840) early80 += y[i] * y[i];
    }
    EXPECT_NEAR(c50[b], 10 * std::log10(early50 / (total - early50)), 0.01) << rt.BandCenters()[b];
    EXPECT_NEAR(c80[b], 10 * std::log10(early80 / (total - early80)), 0.01) << rt.BandCenters()[b];
  }
}

TEST(Clarity, UnitImpulseAndTwoEqualImpulses) {
  TRTPipeline rt(48000);
  std::vector<float> unit(9600, 0.0f);
  unit[0] = 1.0f;
  const TClarityResult u = rt.ClarityFromIR(unit, kFs);
  EXPECT_NEAR(u.C50_dB, 300.0f, 1e-3);
  EXPECT_NEAR(u.C80_dB, 300.0f, 1e-3);
  EXPECT_FLOAT_EQ(u.D50_Prozent, 100.0f);
  EXPECT_FLOAT_EQ(u.Ts_ms, 0.0f);

  std::vector<float> two(9600, 0.0f);
  two[0] = two[4800] = 0.5f;
  const TClarityResult t = rt.ClarityFromIR(two, kFs);
  EXPECT_NEAR(t.C50_dB, 0.0f, 1e-5);
  EXPECT_NEAR(t.C80_dB, 0.0f, 1e-5);
  EXPECT_FLOAT_EQ(t.D50_Prozent, 50.0f);
  EXPECT_FLOAT_EQ(t.Ts_ms, 50.0f);

  // The sample at exactly 50 ms is early in the broadband form.
  std::vector<float> edge(9600, 0.0f);
  edge[0] = edge[2400] = 1.0f;
  edge[2401] = 1.0f;
  EXPECT_NEAR(rt.ClarityFromIR(edge, kFs).C50_dB, 10 * std::log10(2.0), 1e-5);
}

// Zero early energy is -300 dB, not minus infinity; a silent response gives zeros.
TEST(Clarity, ZeroEarlyEnergyAndSilenceStayFinite) {
  TRTPipeline rt(48000);
  std::vector<float> late(9600, 0.0f);
  late[9000] = 1.0f;
  const TClarityResult c = rt.ClarityFromIR(late, kFs);
  EXPECT_NEAR(c.C50_dB, -300.0f, 1e-3);
  EXPECT_NEAR(c.C80_dB, -300.0f, 1e-3);
  EXPECT_EQ(c.D50_Prozent, 0.0f);
  EXPECT_NEAR(c.Ts_ms, 187.5f, 1e-3);
  const TClarityResult s = rt.ClarityFromIR(std::vector<float>(9600, 0.0f), kFs);
  EXPECT_EQ(s.C50_dB, 0.0f);
  EXPECT_EQ(s.D50_Prozent, 0.0f);
  EXPECT_EQ(s.Ts_ms, 0.0f);
}

TEST(Averaging, ArithmeticEnergeticAndPopulationForms) {
  EXPECT_FLOAT_EQ(TRTPipeline::Mean_RT60_D50({1, 2, 3}), 2.0f);
  EXPECT_FLOAT_EQ(TRTPipeline::StdDev({1, 3}), 1.0f);
  EXPECT_NEAR(TRTPipeline::StdDev({2, 4, 4, 4, 5, 5, 7, 9}), 2.0f, 1e-6);
  EXPECT_NEAR(TRTPipeline::MeanClarity_C50_C80({0, 10}), 7.404, 1e-3);
  EXPECT_NEAR(TRTPipeline::MeanClarity_C50_C80({-3, -3, -3}), -3.0, 1e-5);
  EXPECT_EQ(TRTPipeline::StdDev({5}), 0.0f);
  // Nothing to average: 0, not a division by zero.
  EXPECT_EQ(TRTPipeline::Mean_RT60_D50({}), 0.0f);
  EXPECT_EQ(TRTPipeline::StdDev({}), 0.0f);
  EXPECT_EQ(TRTPipeline::MeanClarity_C50_C80({}), 0.0f);
}
