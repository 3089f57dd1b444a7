#pragma once

// Energy-ratio measures of an impulse response whose time 0 is its direct-sound peak.
struct TClarityResult {
  float C50_dB = 0;
  float C80_dB = 0;
  float D50_Prozent = 0;
  float Ts_ms = 0;
};
