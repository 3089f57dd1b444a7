#pragma once

#include <cmath>

// The one law that turns an output level in dB into the linear factor every generator signal is
// multiplied by: 10^(L/20) above -144 dB, 0 at or below it.
inline float LevelToFactor(double LeveldB) {
  return LeveldB > -144.0 ? static_cast<float>(std::pow(10.0, LeveldB / 20.0)) : 0.0f;
}
