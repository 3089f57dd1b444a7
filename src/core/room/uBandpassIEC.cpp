#include "room/uBandpassIEC.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TBandpassIEC::TBandpassIEC(double ACenterFreq, double ASampleRate, std::int32_t Oktave)
    : FSampleRate(ASampleRate), FCenterFreq(ACenterFreq) {
  const double n = std::max<std::int32_t>(Oktave, 1);
  const double x = std::pow(2.0, 1.0 / (2.0 * n));
  FQ = 1.0 / (x - 1.0 / x);

  TBiquad s;
  const bool designable = std::isfinite(ACenterFreq) && std::isfinite(ASampleRate) && ACenterFreq > 0 &&
                          ASampleRate > 0 && ACenterFreq < ASampleRate / 2;
  if (designable) {
    const double w0 = 2.0 * std::numbers::pi * ACenterFreq / ASampleRate;
    const double alpha = std::sin(w0) / (2.0 * FQ);
    s.b0 = alpha / (1.0 + alpha);
    s.b1 = 0.0;
    s.b2 = -alpha / (1.0 + alpha);
    s.a1 = -2.0 * std::cos(w0) / (1.0 + alpha);
    s.a2 = (1.0 - alpha) / (1.0 + alpha);
  }
  for (TBiquad& b : FBiquads) b = s;
}

double TBandpassIEC::Process(double x) {
  for (TBiquad& s : FBiquads) {
    const double y = s.b0 * x + s.z1;
    s.z1 = s.b1 * x - s.a1 * y + s.z2;
    s.z2 = s.b2 * x - s.a2 * y;
    x = y;
  }
  return x;
}

void TBandpassIEC::ProcessBuffer(const float* In, float* Out, std::size_t Count) {
  // The same arithmetic as Process, with the six states held in locals for the length of the buffer.
  TBiquad s0 = FBiquads[0], s1 = FBiquads[1], s2 = FBiquads[2];
  for (std::size_t i = 0; i < Count; ++i) {
    double x = In[i];
    double y = s0.b0 * x + s0.z1;
    s0.z1 = s0.b1 * x - s0.a1 * y + s0.z2;
    s0.z2 = s0.b2 * x - s0.a2 * y;
    x = y;
    y = s1.b0 * x + s1.z1;
    s1.z1 = s1.b1 * x - s1.a1 * y + s1.z2;
    s1.z2 = s1.b2 * x - s1.a2 * y;
    x = y;
    y = s2.b0 * x + s2.z1;
    s2.z1 = s2.b1 * x - s2.a1 * y + s2.z2;
    s2.z2 = s2.b2 * x - s2.a2 * y;
    Out[i] = static_cast<float>(y);
  }
  FBiquads[0] = s0;
  FBiquads[1] = s1;
  FBiquads[2] = s2;
}

void TBandpassIEC::Reset() {
  for (TBiquad& s : FBiquads) s.z1 = s.z2 = 0.0;
}
