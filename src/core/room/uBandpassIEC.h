#pragma once

#include <cstddef>
#include <cstdint>

// Band-pass of the room analysis: three identical second-order band-pass sections in series (sixth order
// overall), each with 0 dB gain at the centre and the Q of a 1/N-octave band, Q = 1 / (x - 1/x) with
// x = 2^(1/(2N)) (1.41421356 for octaves, 4.31847305 for third octaves). Transposed direct form II,
// double precision throughout.
class TBandpassIEC {
public:
  // Designed filter with zero state. A centre at or above half the sample rate (or a rate or centre that
  // is not positive) has no band-pass: the filter then passes nothing (all coefficients 0) instead of
  // running unstable.
  TBandpassIEC(double ACenterFreq, double ASampleRate, std::int32_t Oktave);

  double Process(double x);
  // Filters Count samples from In to Out (float storage, double arithmetic, the same numbers as Process
  // sample by sample). In and Out may be the same array.
  void ProcessBuffer(const float* In, float* Out, std::size_t Count);
  void Reset();

  double CenterFrequency() const { return FCenterFreq; }
  double SampleRate() const { return FSampleRate; }
  double Q() const { return FQ; }

private:
  struct TBiquad {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
  };

  TBiquad FBiquads[3];
  double FSampleRate;
  double FCenterFreq;
  double FQ;
};
