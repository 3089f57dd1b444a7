#include "audio/TASIOGeneratorTone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

TEST(ASIOGeneratorTone, SineContinuesAcrossBlocksAndFrequencyChanges) {
  TASIOGeneratorTone tone;
  tone.SampleRate = 48000;
  tone.BlockSize = 100;
  tone.SetFrequency(1000);
  std::vector<std::vector<float>> block{std::vector<float>(200, 9.0f), std::vector<float>(100)};
  double phase = 0;
  for (int b = 0; b < 30; ++b) {
    if (b == 10) tone.SetFrequency(250);
    tone.ProcessBlock(block, true);
    for (int j = 0; j < 100; ++j) {
      ASSERT_NEAR(block[0][static_cast<std::size_t>(j)], std::sin(phase), 1e-5) << b << "/" << j;
      phase += 2 * std::numbers::pi * tone.Frequency() / 48000;
    }
    EXPECT_EQ(block[0][100], 9.0f);  // beyond BlockSize nothing is touched
    EXPECT_TRUE(std::equal(block[1].begin(), block[1].end(), block[0].begin()));
  }
}

// A frequency that is not a number plays silence and does not spoil the tone that follows it.
TEST(ASIOGeneratorTone, NonFiniteFrequencyPlaysSilenceAndTheToneRecovers) {
  TASIOGeneratorTone tone;
  tone.SampleRate = 48000;
  tone.BlockSize = 64;
  std::vector<float> block(64, 9.0f);
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    tone.SetFrequency(bad);
    tone.ProcessBlock(block);
    for (float x : block) ASSERT_EQ(x, 0.0f) << bad;
  }
  tone.SetFrequency(1000);
  tone.ProcessBlock(block);
  for (std::size_t j = 0; j < block.size(); ++j)
    ASSERT_NEAR(block[j], std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(j) / 48000), 1e-5) << j;
}
