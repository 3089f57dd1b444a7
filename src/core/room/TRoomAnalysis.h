#pragma once

#include "room/TClarityResult.h"
#include "room/TRTResult.h"

#include <vector>

// Everything the room analysis derives from one impulse response: the broadband decay times and energy
// measures, and per band of the band set in force its decay times and its C50 and C80. Each band signal
// is filtered once and serves both its decay analysis and its clarity.
struct TRoomAnalysis {
  // False when the response holds nothing to analyse (fewer than 10 samples, no energy at all, or
  // samples that are not finite numbers). All values are then zero and the caller must not turn the
  // result into a measurement.
  bool Usable = false;

  TRTResult Broadband;
  TClarityResult Clarity;

  std::vector<float> BandCenters;  // Hz, in table order
  std::vector<TRTResult> Bands;    // one per band
  std::vector<float> C50;          // dB per band
  std::vector<float> C80;          // dB per band
};
