#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

// Synthetic signals with known decay for the room-analysis tests.
namespace roomtest {

// Gaussian white noise of unit variance (Box-Muller over a fixed generator, the same on every platform).
inline std::vector<float> GaussianNoise(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::vector<float> x(n);
  const double scale = 1.0 / 18446744073709551616.0;  // 2^-64
  for (std::size_t i = 0; i < n; i += 2) {
    const double u1 = (static_cast<double>(gen()) + 1.0) * scale;
    const double u2 = static_cast<double>(gen()) * scale;
    const double r = std::sqrt(-2.0 * std::log(u1));
    x[i] = static_cast<float>(r * std::cos(2 * std::numbers::pi * u2));
    if (i + 1 < n) x[i + 1] = static_cast<float>(r * std::sin(2 * std::numbers::pi * u2));
  }
  return x;
}

// Amplitude envelope of a decay of 60 dB per T seconds.
inline double Envelope(double t, double T) { return std::pow(10.0, -3.0 * t / T); }

inline std::vector<float> DecayingNoise(double seconds, double T, double fs, std::uint64_t seed) {
  std::vector<float> x = GaussianNoise(static_cast<std::size_t>(seconds * fs), seed);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(x[i] * Envelope(i / fs, T));
  return x;
}

inline std::vector<float> DecayingTone(double f, double seconds, double T, double fs) {
  std::vector<float> x(static_cast<std::size_t>(seconds * fs));
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(std::sin(2 * std::numbers::pi * f * i / fs) * Envelope(i / fs, T));
  return x;
}

inline bool AllFinite(const std::vector<float>& x) {
  for (float v : x)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace roomtest
