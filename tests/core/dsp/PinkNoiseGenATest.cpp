#include "dsp/PinkNoiseGenA.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

TEST(PinkNoise, LevelFactorFromDecibels) {
  EXPECT_DOUBLE_EQ(TPinkNoiseGeneratorA(0).Level(), 1.0);
  EXPECT_NEAR(TPinkNoiseGeneratorA(-1).Level(), 0.8912509, 1e-7);
  EXPECT_NEAR(TPinkNoiseGeneratorA(-20).Level(), 0.1, 1e-12);
}

TEST(PinkNoise, FirstSampleIsWhiteNoiseTimesInputCoefficientSum) {
  TPinkNoiseGeneratorA gen(-1, 12345);
  TPinkNoiseGeneratorA twin(-1, 12345);
  const double w = 2.0 * twin.NextUniform() - 1.0;
  EXPECT_NEAR(gen.GetSample(), 0.11 * twin.Level() * 1.6471856 * w, 1e-12);
}

TEST(PinkNoise, BlocksContinueTheSameSequenceAndLeaveOtherChannelsAlone) {
  TPinkNoiseGeneratorA a(0, 7), b(0, 7);
  std::vector<std::vector<float>> one{std::vector<float>(1024), std::vector<float>(1024, 5.0f)};
  std::vector<std::vector<float>> two{std::vector<float>(1024)};
  a.ProcessBlock(one, 1024);
  b.ProcessBlock(std::span<float>(two[0]).first(512), 512);
  b.ProcessBlock(std::span<float>(two[0]).subspan(512), 512);
  EXPECT_EQ(one[0], two[0]);
  EXPECT_EQ(one[1], std::vector<float>(1024, 5.0f));

  std::vector<std::vector<float>> untouched{std::vector<float>(16, 3.0f)};
  a.ProcessBlock(untouched, 0);
  a.ProcessBlock(untouched, -4);
  EXPECT_EQ(untouched[0], std::vector<float>(16, 3.0f));
}

// Power in octave bands of a long realisation falls by about 3 dB per octave.
TEST(PinkNoise, SpectrumFallsThreeDecibelsPerOctave) {
  constexpr double fs = 48000;
  constexpr int n = 1 << 20;
  TPinkNoiseGeneratorA gen(0, 99);
  std::vector<double> x(n);
  for (auto& v : x) v = gen.GetSample();
  // Goertzel-free estimate: average power of the signal band-limited by simple DFT bins over octaves,
  // computed with a periodogram of 64 segments.
  constexpr int seg = 16384;
  std::vector<double> psd(seg / 2, 0.0);
  for (int s = 0; s + seg <= n; s += seg) {
    for (int k : {21, 43, 85, 171, 341, 683, 1365, 2731}) {  // about 62.5 Hz ... 8 kHz
      std::complex<double> acc = 0;
      for (int i = 0; i < seg; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / seg);
        acc += hann * x[s + i] * std::polar(1.0, -2 * std::numbers::pi * k * i / seg);
      }
      psd[k] += std::norm(acc);
    }
  }
  const int bins[] = {21, 43, 85, 171, 341, 683, 1365, 2731};
  for (int i = 1; i < 8; ++i) {
    const double slope = 10 * std::log10(psd[bins[i]] / psd[bins[i - 1]]);
    EXPECT_NEAR(slope, -3.0, 1.5) << "octave step at " << bins[i] * fs / seg << " Hz";
  }
}
