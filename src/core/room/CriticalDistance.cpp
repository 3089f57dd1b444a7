#include "room/CriticalDistance.h"

#include <cmath>

TCriticalDistance CriticalDistance(float Width, float Height, float Depth, float RT60) {
  // Every dimension must be positive: two negative ones would give a positive volume of a room that
  // does not exist. Written as "not above zero" so that a NaN ends here too.
  if (!(Width > 0.0f) || !(Height > 0.0f) || !(Depth > 0.0f) || !(RT60 > 0.0f)) return {};
  const float volume = Width * Height * Depth;
  if (!(volume > 0.0f)) return {};
  TCriticalDistance d;
  d.r = 0.057f * std::sqrt(volume / RT60);
  d.MinMicDistance = 1.5f * d.r;
  return d;
}
