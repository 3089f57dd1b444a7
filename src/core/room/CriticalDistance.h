#pragma once

// Distance from the loudspeaker beyond which the reverberant field dominates, for a room of the given
// dimensions (m) and reverberation time (s): r = 0.057 * sqrt(V / RT60), and the minimum distance advised
// for the microphone, 1.5 * r. A dimension of 0 or below, a reverberation time of 0 or below, a value that is
// not a finite number, or a distance too large for a float gives 0 for both.
struct TCriticalDistance {
  float r = 0;
  float MinMicDistance = 0;
};

TCriticalDistance CriticalDistance(float Width, float Height, float Depth, float RT60);
