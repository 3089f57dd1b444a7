#include "audio/TASIOGeneratorTone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void TASIOGeneratorTone::ProcessBlock(std::span<float> Channel) {
  const std::size_t n = std::min(Channel.size(), static_cast<std::size_t>(std::max(BlockSize, 0)));
  const double step = 2.0 * std::numbers::pi * Frequency() / SampleRate;
  if (!std::isfinite(step)) {
    // No tone for a frequency that is not a number (a damaged setting): silence, and the phase stays
    // usable for the next valid frequency.
    std::fill(Channel.begin(), Channel.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
    return;
  }
  double phase = FPhase;
  for (std::size_t j = 0; j < n; ++j) {
    Channel[j] = static_cast<float>(std::sin(phase));
    phase += step;
  }
  FPhase = std::fmod(phase, 2.0 * std::numbers::pi);
  if (FPhase < 0.0) FPhase += 2.0 * std::numbers::pi;
}

void TASIOGeneratorTone::ProcessBlock(std::vector<std::vector<float>>& Block, bool isOutput) {
  if (!isOutput || Block.empty()) return;
  const double start = FPhase;
  ProcessBlock(std::span<float>(Block.front()));
  const double next = FPhase;
  // Every further channel carries the same samples.
  for (std::size_t k = 1; k < Block.size(); ++k) {
    FPhase = start;
    ProcessBlock(std::span<float>(Block[k]));
  }
  FPhase = next;
}
