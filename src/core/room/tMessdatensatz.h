#pragma once

#include <string>
#include <vector>

#include "room/TClarityResult.h"
#include "room/TRTResult.h"

// One room measurement, or the average of the selected measurements (element 0 of the measurement set).
// The six band arrays always have the band count of the measuring range that was in force when the record
// was made; FrArr holds their centre frequencies.
struct tMessdatensatz {
  bool boDataSelected = false;  // takes part in the average (check box of the list row)
  bool boDataValid = false;     // never written by a measurement

  double T20_sec = 0;
  bool T20_valid = false;
  float T20_Stddev = 0;  // average record only: over the selected measurements
  double T30_sec = 0;
  bool T30_valid = false;
  float T30_Stddev = 0;
  double EDT_sec = 0;
  bool EDT_valid = false;
  double C50_dB = 0;
  float C50_Stddev = 0;
  double C80_dB = 0;
  float C80_Stddev = 0;
  double ts_ms = 0;

  std::vector<float> t20arr;  // s per band
  std::vector<float> t30arr;
  std::vector<float> EDTarr;
  std::vector<float> FrArr;   // band centres, Hz
  std::vector<float> C50Arr;  // dB per band
  std::vector<float> C80Arr;

  std::string stTExt;  // the note
  std::vector<float> SweepIRBand;  // the analysed impulse response (from its peak, truncated)

  // The complete broadband results of the analysis behind the values above (fit quality, noise floor,
  // D50). Kept for reports and the command line; the average record leaves them zero.
  TRTResult BroadbandRT;
  TClarityResult BroadbandClarity;
};
