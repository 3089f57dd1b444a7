#pragma once

// Decay-time result of one analysed signal (broadband or one band). Starts as all zeros; a measure whose
// fit is not computed keeps time 0, R² 0 and its flag false.
struct TRTResult {
  float EDT = 0;            // s, fit 0 ... -10 dB
  float T20 = 0;            // s, fit -5 ... -25 dB
  float T30 = 0;            // s, fit -5 ... -35 dB
  float R2_EDT = 0;
  float R2_T20 = 0;
  float R2_T30 = 0;
  float NoiseFloor_dB = 0;  // relative to the start of the decay curve
  bool ValidEDT = false;
  bool ValidT20 = false;
  bool ValidT30 = false;
};
