#include "room/CriticalDistance.h"

#include <cmath>

TCriticalDistance CriticalDistance(float Width, float Height, float Depth, float RT60) {
  // Every dimension must be positive: two negative ones would give a positive volume of a room that
  // does not exist. Written as "not above zero" so that a NaN ends here too.
  if (!(Width > 0.0f) || !(Height > 0.0f) || !(Depth > 0.0f) || !(RT60 > 0.0f)) return {};
  // In double precision, so that no product of finite dimensions overflows on the way.
  const double volume = static_cast<double>(Width) * Height * Depth;
  const double r = 0.057 * std::sqrt(volume / RT60);
  TCriticalDistance d;
  d.r = static_cast<float>(r);
  d.MinMicDistance = static_cast<float>(1.5 * r);
  if (!std::isfinite(volume) || !std::isfinite(d.MinMicDistance)) return {};
  return d;
}
