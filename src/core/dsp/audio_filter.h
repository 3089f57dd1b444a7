#pragma once

#include <span>

// Frequency weighting applied before the analyzer's band filters.
enum TFiltertyp : int { Filter_Z, Filter_A, Filter_C };

// Second-order designs of CalcBiquad (ordinal values fixed, they may be stored).
enum TBiquadType : int { btLowpass, btHighpass, btBandpass, btNotch, btPeaking, btLowShelf, btHighShelf };

// Z, A or C frequency weighting of a single-precision sample stream, and a general second-order
// section designer.
//
// Coefficients and states are single precision; every update is computed in double and rounded to
// single when stored. Both A and C read 0 dB at 1 kHz.
//
// A: at 48 kHz a fixed sixth-order recursive filter (transposed direct form II) with stored
// coefficients, scaled by the reciprocal of its exact gain at 1 kHz. The stored design belongs to
// 48 kHz; run at another rate it would put the whole curve in the wrong place (at 44.1 kHz every
// corner moves down by 8 %). So at any other rate the filter is designed for that rate instead:
// the analogue A weighting (double pole at 20.6 Hz, poles at 107.7 Hz and 737.9 Hz, double pole at
// 12194 Hz, four zeros at 0 Hz) mapped by the bilinear transform into three second-order sections,
// then scaled to 0 dB at 1 kHz (pole frequencies pre-warped). Near the Nyquist frequency that design
// leaves the analogue curve: at 44.1 kHz it reads up to 0.9 dB high around 8 to 10 kHz and falls
// away above 12.5 kHz (-4 dB at 16 kHz), within the class 1 tolerances; at 96 kHz it stays within
// 0.2 dB up to 12.5 kHz.
//
// C: a 18 Hz high-pass (Q 0.399) and a 19 kHz low-pass (Q 0.2) designed for the rate, scaled by
// the reciprocal of their exact gain at 1 kHz. States start at zero.
//
// The object owns no heap memory, so replacing it (`AC_Filter = TAFilter(...)`) allocates nothing
// and may happen on the audio thread between blocks.
class TAFilter {
public:
  struct TSection {
    float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
  };
  struct TIIR6 {
    float s[6] = {};
    float a[7] = {};
    float b[7] = {};
  };

  TAFilter() : TAFilter(48000.0f, Filter_Z) {}
  TAFilter(float samplerate, TFiltertyp FilterTyp);

  float ProcessSample(float x);
  // Passes every sample through ProcessSample (the state advances, Buf is left alone) and returns the
  // RMS of the output, sqrt(sum y^2 / count); 0 for an empty buffer.
  float ProcessBuffer(std::span<const float> Buf);
  // Clears the states of every section.
  void Reset();

  TFiltertyp FilterTyp() const { return fFilterTyp; }
  float SampleRate() const { return FSampleRate; }

  // Cookbook second-order designs; b0 ... a2 come back divided by a0, and a0 = 1.
  static void CalcBiquad(TBiquadType FilterType, float Fc, float Q, float GainDB, float SampleRate, float& b0,
                         float& b1, float& b2, float& a0, float& a1, float& a2);
  // Re-maps one section (b1..b3 = b0..b2, a1..a3 = a0..a2) designed for rate inFS to rate outFS by
  // undoing the bilinear transform at inFS and applying it again at outFS.
  static void BiquadCoefficientConverter(float& b1, float& b2, float& b3, float& a1, float& a2, float& a3,
                                         float inFS, float outFS);

  // Magnitude of the filter's response at frequency f (Hz), from its current coefficients.
  double GainAt(double f) const;

private:
  static float RunSection(TSection& s, float v);
  void LoadStoredA48k();
  void DesignAForRate();
  void DesignC();

  TSection FStages[2];    // C filter
  float FSampleRate = 48000.0f;
  TIIR6 IIR;              // A filter at 48 kHz
  TSection FAStages[3];   // A filter at any other rate
  bool FADesigned = false;  // true: A runs through FAStages
  TFiltertyp fFilterTyp = Filter_Z;
};
