#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Pink noise (-3 dB per octave) from uniform white noise through six first-order sections and a
// one-sample delay term, then a fixed gain of 0.11 and the level factor given at creation.
// Runs on the audio thread only; no allocation, no lock.
class TPinkNoiseGeneratorA {
public:
  explicit TPinkNoiseGeneratorA(double LeveldB, std::uint32_t Seed = 0);

  double GetSample();
  // Sample i of the first channel array := GetSample() for i < iASIOBufferSize; other channels untouched.
  void ProcessBlock(std::vector<std::vector<float>>& SingleBlock, int iASIOBufferSize);
  void ProcessBlock(std::span<float> Channel0, int iASIOBufferSize);

  double Level() const { return FLevel; }

  // The white-noise source: a 32-bit linear congruential generator, u = seed / 2^32 in [0, 1).
  // Each generator owns its sequence so that two threads never share one.
  double NextUniform();

private:
  double FLevel;
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  std::uint32_t FSeed;
};
