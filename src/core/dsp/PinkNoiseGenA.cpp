#include "dsp/PinkNoiseGenA.h"

#include <cmath>

TPinkNoiseGeneratorA::TPinkNoiseGeneratorA(double LeveldB, std::uint32_t Seed)
    : FLevel(std::pow(10.0, LeveldB / 20.0)), FSeed(Seed) {}

double TPinkNoiseGeneratorA::NextUniform() {
  FSeed = FSeed * 134775813u + 1u;
  return static_cast<double>(FSeed) / 4294967296.0;
}

double TPinkNoiseGeneratorA::GetSample() {
  const double w = 2.0 * NextUniform() - 1.0;
  b0 = 0.99886 * b0 + 0.0555179 * w;
  b1 = 0.99332 * b1 + 0.0750759 * w;
  b2 = 0.969 * b2 + 0.153852 * w;
  b3 = 0.8665 * b3 + 0.3104856 * w;
  b4 = 0.55 * b4 + 0.5329522 * w;
  b5 = -0.7616 * b5 - 0.016898 * w;
  const double s = b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362 * w;
  b6 = 0.115926 * w;
  return 0.11 * s * FLevel;
}

void TPinkNoiseGeneratorA::ProcessBlock(std::span<float> Channel0, int iASIOBufferSize) {
  const std::size_t n = iASIOBufferSize > 0 ? static_cast<std::size_t>(iASIOBufferSize) : 0;
  for (std::size_t i = 0; i < n && i < Channel0.size(); ++i) {
    Channel0[i] = static_cast<float>(GetSample());
  }
}

void TPinkNoiseGeneratorA::ProcessBlock(std::vector<std::vector<float>>& SingleBlock, int iASIOBufferSize) {
  if (!SingleBlock.empty()) {
    ProcessBlock(std::span<float>(SingleBlock.front()), iASIOBufferSize);
  }
}
