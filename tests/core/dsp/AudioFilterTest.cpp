#include "dsp/RTAEngineIEC1.h"
#include "dsp/audio_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Class 1 tolerance limits of the A and C weightings (dB) per nominal third-octave frequency,
// IEC 61672-1:2002 Table 2 (limits include the maximum expanded uncertainty of measurement).
struct TTolerance {
  double nominal, upper, lower;  // lower as a positive number; infinity = no lower limit
};
constexpr TTolerance kClass1[] = {
    {10, 3.5, kInf},   {12.5, 3.0, kInf}, {16, 2.5, 4.5},   {20, 2.5, 2.5},    {25, 2.5, 2.0},
    {31.5, 2.0, 2.0},  {40, 1.5, 1.5},    {50, 1.5, 1.5},   {63, 1.5, 1.5},    {80, 1.5, 1.5},
    {100, 1.5, 1.5},   {125, 1.5, 1.5},   {160, 1.5, 1.5},  {200, 1.5, 1.5},   {250, 1.4, 1.4},
    {315, 1.4, 1.4},   {400, 1.4, 1.4},   {500, 1.4, 1.4},  {630, 1.4, 1.4},   {800, 1.4, 1.4},
    {1000, 1.1, 1.1},  {1250, 1.4, 1.4},  {1600, 1.6, 1.6}, {2000, 1.6, 1.6},  {2500, 1.6, 1.6},
    {3150, 1.6, 1.6},  {4000, 1.6, 1.6},  {5000, 2.1, 2.1}, {6300, 2.1, 2.6},  {8000, 2.1, 3.1},
    {10000, 2.6, 3.6}, {12500, 3.0, 6.0}, {16000, 3.5, 17}, {20000, 4.0, kInf}};

// Exact third-octave frequency (base 10) belonging to the k-th row of the table: 10 Hz is row 0.
double ExactThirdOctave(int row) { return 1000.0 * std::pow(10.0, (row - 20) / 10.0); }

// Gain in dB of the filter for a unit sine of frequency f, measured over a whole number of periods
// after one second of settling.
double MeasuredGain_dB(TAFilter filter, double f, double fs) {
  const int settle = static_cast<int>(fs);
  const double periods = std::max(1.0, std::round(f * 1.0));
  const int n = static_cast<int>(std::round(periods * fs / f));
  const double fTrue = periods * fs / n;  // exactly periodic in n samples
  double sum = 0;
  for (int i = 0; i < settle + n; ++i) {
    const float y = filter.ProcessSample(static_cast<float>(std::sin(2 * kPi * fTrue * i / fs)));
    if (i >= settle) sum += static_cast<double>(y) * y;
  }
  return 10.0 * std::log10(sum / n / 0.5);
}

}  // namespace

TEST(AudioFilter, ZPassesEverySampleUnchanged) {
  TAFilter z(48000, Filter_Z);
  for (float x : {0.0f, 1.0f, -0.5f, 1e-30f, 123.25f}) EXPECT_EQ(z.ProcessSample(x), x);
}

// A and C at 48 kHz, measured with sines at every third-octave from 10 Hz to 20 kHz: 0 dB at 1 kHz,
// and within the class 1 limits around the analytic curves. The table printed is the measured
// deviation from the analytic curve.
TEST(AudioFilter, AAndCAt48kHzFollowTheAnalyticCurvesWithinClass1) {
  constexpr double fs = 48000;
  const TAFilter a(fs, Filter_A), c(fs, Filter_C);
  EXPECT_NEAR(MeasuredGain_dB(a, 1000, fs), 0.0, 0.05);
  EXPECT_NEAR(MeasuredGain_dB(c, 1000, fs), 0.0, 0.05);
  std::printf("  nominal Hz   A dev dB   C dev dB\n");
  for (int row = 0; row < static_cast<int>(std::size(kClass1)); ++row) {
    const TTolerance& tol = kClass1[row];
    const double f = ExactThirdOctave(row);
    const double devA = MeasuredGain_dB(a, f, fs) - TRTAEngineIEC1::AWeighting_dB(static_cast<float>(f));
    const double devC = MeasuredGain_dB(c, f, fs) - TRTAEngineIEC1::CWeighting_dB(static_cast<float>(f));
    std::printf("  %10.1f   %+8.2f   %+8.2f\n", tol.nominal, devA, devC);
    EXPECT_LE(devA, tol.upper) << "A at " << tol.nominal << " Hz";
    EXPECT_GE(devA, -tol.lower) << "A at " << tol.nominal << " Hz";
    EXPECT_LE(devC, tol.upper) << "C at " << tol.nominal << " Hz";
    EXPECT_GE(devC, -tol.lower) << "C at " << tol.nominal << " Hz";
    // The measurement agrees with the filter's own transfer function (below 20 Hz, where A is down
    // by 50 dB and more, the single-precision arithmetic of the sixth-order A filter adds up to 0.6 dB).
    if (f >= 19) {
      EXPECT_NEAR(MeasuredGain_dB(a, f, fs), 20 * std::log10(a.GainAt(f)), 0.02) << f;
      EXPECT_NEAR(MeasuredGain_dB(c, f, fs), 20 * std::log10(c.GainAt(f)), 0.02) << f;
    }
  }
}

// The 48 kHz A design must not be run at another rate; there the filter is designed for the rate.
TEST(AudioFilter, AAtOtherRatesIsDesignedForTheRate) {
  for (double fs : {44100.0, 96000.0}) {
    const TAFilter a(static_cast<float>(fs), Filter_A);
    EXPECT_NEAR(MeasuredGain_dB(a, 1000, fs), 0.0, 0.05) << fs;
    for (int row = 0; row < static_cast<int>(std::size(kClass1)); ++row) {
      const double f = ExactThirdOctave(row);
      if (f > 0.45 * fs) break;
      const double dev = MeasuredGain_dB(a, f, fs) - TRTAEngineIEC1::AWeighting_dB(static_cast<float>(f));
      EXPECT_LE(dev, kClass1[row].upper) << fs << " Hz rate, " << f << " Hz";
      EXPECT_GE(dev, -kClass1[row].lower) << fs << " Hz rate, " << f << " Hz";
    }
  }
}

TEST(AudioFilter, ProcessBufferReturnsRmsAndAdvancesTheState) {
  std::vector<float> buf(4800);
  for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>(std::sin(2 * kPi * 1000.0 * i / 48000));
  const std::vector<float> copy = buf;
  TAFilter z(48000, Filter_Z);
  EXPECT_NEAR(z.ProcessBuffer(buf), std::sqrt(0.5), 1e-5);
  EXPECT_EQ(z.ProcessBuffer({}), 0.0f);

  TAFilter c(48000, Filter_C), twin(48000, Filter_C);
  c.ProcessBuffer(buf);
  for (float v : buf) twin.ProcessSample(v);
  EXPECT_EQ(buf, copy);
  EXPECT_EQ(c.ProcessSample(0.25f), twin.ProcessSample(0.25f));

  c.Reset();
  const TAFilter fresh(48000, Filter_C);
  TAFilter f2 = fresh;
  for (float v : {1.0f, 0.0f, -0.3f}) EXPECT_EQ(c.ProcessSample(v), f2.ProcessSample(v));
}

namespace {
std::complex<double> Response(float b0, float b1, float b2, float a1, float a2, double f, double fs) {
  const std::complex<double> z = std::polar(1.0, -2 * kPi * f / fs);
  return (static_cast<double>(b0) + static_cast<double>(b1) * z + static_cast<double>(b2) * z * z) /
         (1.0 + static_cast<double>(a1) * z + static_cast<double>(a2) * z * z);
}
}  // namespace

// Known answers of the cookbook designs at 48 kHz, Fc 1 kHz.
TEST(AudioFilter, CalcBiquadDesigns) {
  constexpr float fs = 48000, fc = 1000;
  struct TCase {
    TBiquadType type;
    float q, gainDB;
    double f, expect_dB;
  };
  const TCase cases[] = {
      {btLowpass, 0.7071f, 0, 10, 0.0},          {btLowpass, 2.0f, 0, fc, 20 * std::log10(2.0)},
      {btHighpass, 0.7071f, 0, 20000, 0.0},      {btHighpass, 2.0f, 0, fc, 20 * std::log10(2.0)},
      {btBandpass, 3.0f, 0, fc, 20 * std::log10(3.0)},
      {btPeaking, 1.0f, 6, fc, 6.0},             {btPeaking, 1.0f, -9, fc, -9.0},
      {btLowShelf, 0.7071f, 6, 5, 6.0},          {btLowShelf, 0.7071f, 6, 20000, 0.0},
      {btHighShelf, 0.7071f, -6, 23000, -6.0},   {btHighShelf, 0.7071f, -6, 5, 0.0},
  };
  for (const TCase& c : cases) {
    float b0, b1, b2, a0, a1, a2;
    TAFilter::CalcBiquad(c.type, fc, c.q, c.gainDB, fs, b0, b1, b2, a0, a1, a2);
    EXPECT_EQ(a0, 1.0f);
    EXPECT_NEAR(20 * std::log10(std::abs(Response(b0, b1, b2, a1, a2, c.f, fs))), c.expect_dB, 0.05)
        << "type " << c.type << " at " << c.f << " Hz";
  }
  float b0, b1, b2, a0, a1, a2;
  TAFilter::CalcBiquad(btNotch, fc, 2.0f, 0, fs, b0, b1, b2, a0, a1, a2);
  EXPECT_LT(std::abs(Response(b0, b1, b2, a1, a2, fc, fs)), 1e-5);
  TAFilter::CalcBiquad(btBandpass, fc, 2.0f, 0, fs, b0, b1, b2, a0, a1, a2);
  EXPECT_EQ(b1, 0.0f);
  EXPECT_EQ(b2, -b0);
  // With 0 dB gain the peaking and shelving types pass the signal unchanged: b = a.
  for (TBiquadType t : {btPeaking, btLowShelf, btHighShelf}) {
    TAFilter::CalcBiquad(t, fc, 0.8f, 0, fs, b0, b1, b2, a0, a1, a2);
    EXPECT_FLOAT_EQ(b0, 1.0f) << t;
    EXPECT_FLOAT_EQ(b1, a1) << t;
    EXPECT_FLOAT_EQ(b2, a2) << t;
  }
}

TEST(AudioFilter, BiquadCoefficientConverterMovesASectionToAnotherRate) {
  float b0, b1, b2, a0, a1, a2;
  TAFilter::CalcBiquad(btPeaking, 1000, 1.5f, 8, 48000, b0, b1, b2, a0, a1, a2);
  // Same rate: unchanged.
  float c[6] = {b0, b1, b2, a0, a1, a2};
  TAFilter::BiquadCoefficientConverter(c[0], c[1], c[2], c[3], c[4], c[5], 48000, 48000);
  const float orig[6] = {b0, b1, b2, a0, a1, a2};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(c[k], orig[k], 2e-7) << k;
  // 48 kHz -> 96 kHz: the same response well below both Nyquist frequencies, the same DC gain.
  float d[6] = {b0, b1, b2, a0, a1, a2};
  TAFilter::BiquadCoefficientConverter(d[0], d[1], d[2], d[3], d[4], d[5], 48000, 96000);
  EXPECT_EQ(d[3], 1.0f);
  for (double f : {0.0, 100.0, 1000.0, 3000.0}) {
    const double g48 = 20 * std::log10(std::abs(Response(b0, b1, b2, a1, a2, f, 48000)));
    const double g96 = 20 * std::log10(std::abs(Response(d[0], d[1], d[2], d[4], d[5], f, 96000)));
    EXPECT_NEAR(g96, g48, f < 1500 ? 0.05 : 0.3) << f;
  }
}
