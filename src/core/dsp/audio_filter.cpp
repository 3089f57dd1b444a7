#include "dsp/audio_filter.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The stored sixth-order A-weighting design for 48 kHz. The numerator is kept at full precision
// and rounded to single once it has been scaled to 0 dB at 1 kHz.
constexpr double kA48kB[7] = {0.16999494814743,   0.280415310498794,  -1.120574766348363, 0.131562559965936,
                              0.974153561246036,  -0.282740857326553, -0.152810756202003};
constexpr float kA48kA[7] = {1.0f, -2.12979364f, 0.429961264f, 1.62132692f, -0.9666996f, 0.00121015846f,
                             0.0440030061f};

// Pole frequencies of the analogue A weighting (Hz).
constexpr double kAPole1 = 20.598997;
constexpr double kAPole2 = 107.65265;
constexpr double kAPole3 = 737.86223;
constexpr double kAPole4 = 12194.217;

// Response of a polynomial ratio sum(b_k z^-k) / sum(a_k z^-k) at angular frequency w (rad/sample).
template <typename T>
std::complex<double> PolyResponse(const T* b, const T* a, int order, double w) {
  std::complex<double> num = 0, den = 0;
  for (int k = 0; k <= order; ++k) {
    const std::complex<double> zk = std::polar(1.0, -w * k);
    num += static_cast<double>(b[k]) * zk;
    den += static_cast<double>(a[k]) * zk;
  }
  return num / den;
}

std::complex<double> SectionResponse(const TAFilter::TSection& s, double w) {
  const double b[3] = {s.b0, s.b1, s.b2};
  const double a[3] = {1.0, s.a1, s.a2};
  return PolyResponse(b, a, 2, w);
}

// Bilinear transform of the analogue section (B0 s^2 + B1 s + B2) / (A0 s^2 + A1 s + A2) at rate fs.
TAFilter::TSection Bilinear(double B0, double B1, double B2, double A0, double A1, double A2, double fs) {
  const double k = 2.0 * fs, k2 = k * k;
  const double a0 = A0 * k2 + A1 * k + A2;
  TAFilter::TSection s;
  s.b0 = static_cast<float>((B0 * k2 + B1 * k + B2) / a0);
  s.b1 = static_cast<float>((2.0 * B2 - 2.0 * B0 * k2) / a0);
  s.b2 = static_cast<float>((B0 * k2 - B1 * k + B2) / a0);
  s.a1 = static_cast<float>((2.0 * A2 - 2.0 * A0 * k2) / a0);
  s.a2 = static_cast<float>((A0 * k2 - A1 * k + A2) / a0);
  return s;
}

// Angular frequency of an analogue pole at f Hz, pre-warped so that the bilinear transform puts it
// back at f. Poles too close to (or above) the Nyquist frequency are left as they are.
double WarpedPole(double f, double fs) {
  if (f >= 0.4 * fs) return kTwoPi * f;
  return 2.0 * fs * std::tan(std::numbers::pi * f / fs);
}

void ScaleNumerator(TAFilter::TSection& s, double k) {
  s.b0 = static_cast<float>(s.b0 * k);
  s.b1 = static_cast<float>(s.b1 * k);
  s.b2 = static_cast<float>(s.b2 * k);
}

}  // namespace

TAFilter::TAFilter(float samplerate, TFiltertyp FilterTyp) : FSampleRate(samplerate), fFilterTyp(FilterTyp) {
  switch (FilterTyp) {
    case Filter_A:
      if (samplerate == 48000.0f)
        LoadStoredA48k();
      else
        DesignAForRate();
      break;
    case Filter_C:
      DesignC();
      break;
    case Filter_Z:
      break;
  }
}

void TAFilter::LoadStoredA48k() {
  IIR = TIIR6{};
  for (int k = 0; k < 7; ++k) {
    IIR.a[k] = kA48kA[k];
    IIR.b[k] = static_cast<float>(kA48kB[k]);
  }
  // 0 dB at 1 kHz: divide the numerator by the design's exact gain there.
  const double g = std::abs(PolyResponse(IIR.b, IIR.a, 6, kTwoPi * 1000.0 / 48000.0));
  for (int k = 0; k < 7; ++k) IIR.b[k] = static_cast<float>(kA48kB[k] / g);
  FADesigned = false;
}

void TAFilter::DesignAForRate() {
  const double fs = FSampleRate;
  const double w1 = WarpedPole(kAPole1, fs), w2 = WarpedPole(kAPole2, fs), w3 = WarpedPole(kAPole3, fs),
               w4 = WarpedPole(kAPole4, fs);
  FAStages[0] = Bilinear(1, 0, 0, 1, 2 * w1, w1 * w1, fs);      // s^2 / (s + w1)^2
  FAStages[1] = Bilinear(1, 0, 0, 1, w2 + w3, w2 * w3, fs);     // s^2 / ((s + w2)(s + w3))
  FAStages[2] = Bilinear(0, 0, w4 * w4, 1, 2 * w4, w4 * w4, fs);  // w4^2 / (s + w4)^2
  const double w = kTwoPi * 1000.0 / fs;
  const double g = std::abs(SectionResponse(FAStages[0], w) * SectionResponse(FAStages[1], w) *
                            SectionResponse(FAStages[2], w));
  ScaleNumerator(FAStages[2], 1.0 / g);
  FADesigned = true;
}

void TAFilter::DesignC() {
  float a0 = 0;
  TSection& hp = FStages[0];
  TSection& lp = FStages[1];
  CalcBiquad(btHighpass, 18.0f, 0.399f, 0.0f, FSampleRate, hp.b0, hp.b1, hp.b2, a0, hp.a1, hp.a2);
  CalcBiquad(btLowpass, 19000.0f, 0.2f, 0.0f, FSampleRate, lp.b0, lp.b1, lp.b2, a0, lp.a1, lp.a2);
  // 0 dB at 1 kHz: both sections are scaled by the same factor k, k^2 being the reciprocal of the
  // pair's exact gain there.
  const double w = kTwoPi * 1000.0 / FSampleRate;
  const double g = std::abs(SectionResponse(hp, w) * SectionResponse(lp, w));
  const double k = 1.0 / std::sqrt(g);
  ScaleNumerator(hp, k);
  ScaleNumerator(lp, k);
  hp.z1 = hp.z2 = lp.z1 = lp.z2 = 0.0f;
}

float TAFilter::RunSection(TSection& s, float v) {
  const double x = v;
  const float out = static_cast<float>(s.b0 * x + s.z1);
  s.z1 = static_cast<float>(s.b1 * x - s.a1 * static_cast<double>(out) + s.z2);
  s.z2 = static_cast<float>(s.b2 * x - s.a2 * static_cast<double>(out));
  return out;
}

float TAFilter::ProcessSample(float x) {
  switch (fFilterTyp) {
    case Filter_C:
      return RunSection(FStages[1], RunSection(FStages[0], x));
    case Filter_A: {
      if (FADesigned) return RunSection(FAStages[2], RunSection(FAStages[1], RunSection(FAStages[0], x)));
      const double xd = x;
      const float y = static_cast<float>(IIR.b[0] * xd + IIR.s[0]);
      const double yd = y;
      for (int k = 0; k < 5; ++k)
        IIR.s[k] = static_cast<float>(IIR.b[k + 1] * xd - IIR.a[k + 1] * yd + IIR.s[k + 1]);
      IIR.s[5] = static_cast<float>(IIR.b[6] * xd - IIR.a[6] * yd);
      return y;
    }
    case Filter_Z:
      break;
  }
  return x;
}

float TAFilter::ProcessBuffer(std::span<const float> Buf) {
  if (Buf.empty()) return 0.0f;
  double sum = 0;
  for (const float v : Buf) {
    const double y = ProcessSample(v);
    sum += y * y;
  }
  return static_cast<float>(std::sqrt(sum / static_cast<double>(Buf.size())));
}

void TAFilter::Reset() {
  for (TSection& s : FStages) s.z1 = s.z2 = 0.0f;
  for (TSection& s : FAStages) s.z1 = s.z2 = 0.0f;
  for (float& s : IIR.s) s = 0.0f;
}

double TAFilter::GainAt(double f) const {
  const double w = kTwoPi * f / FSampleRate;
  switch (fFilterTyp) {
    case Filter_C:
      return std::abs(SectionResponse(FStages[0], w) * SectionResponse(FStages[1], w));
    case Filter_A:
      if (FADesigned)
        return std::abs(SectionResponse(FAStages[0], w) * SectionResponse(FAStages[1], w) *
                        SectionResponse(FAStages[2], w));
      return std::abs(PolyResponse(IIR.b, IIR.a, 6, w));
    case Filter_Z:
      break;
  }
  return 1.0;
}

void TAFilter::CalcBiquad(TBiquadType FilterType, float Fc, float Q, float GainDB, float SampleRate, float& b0,
                          float& b1, float& b2, float& a0, float& a1, float& a2) {
  const double A = std::pow(10.0, GainDB / 40.0);
  const double w0 = kTwoPi * Fc / SampleRate;
  const double cs = std::cos(w0);
  const double sn = std::sin(w0);
  const double alpha = sn / (2.0 * Q);
  const double beta = sn * std::sqrt(A) / Q;
  double B0 = 1, B1 = 0, B2 = 0, A0 = 1, A1 = 0, A2 = 0;
  switch (FilterType) {
    case btLowpass:
      B0 = (1 - cs) / 2; B1 = 1 - cs; B2 = (1 - cs) / 2;
      A0 = 1 + alpha; A1 = -2 * cs; A2 = 1 - alpha;
      break;
    case btHighpass:
      B0 = (1 + cs) / 2; B1 = -(1 + cs); B2 = (1 + cs) / 2;
      A0 = 1 + alpha; A1 = -2 * cs; A2 = 1 - alpha;
      break;
    case btBandpass:
      B0 = sn / 2; B1 = 0; B2 = -sn / 2;
      A0 = 1 + alpha; A1 = -2 * cs; A2 = 1 - alpha;
      break;
    case btNotch:
      B0 = 1; B1 = -2 * cs; B2 = 1;
      A0 = 1 + alpha; A1 = -2 * cs; A2 = 1 - alpha;
      break;
    case btPeaking:
      B0 = 1 + alpha * A; B1 = -2 * cs; B2 = 1 - alpha * A;
      A0 = 1 + alpha / A; A1 = -2 * cs; A2 = 1 - alpha / A;
      break;
    case btLowShelf:
      B0 = A * ((A + 1) - (A - 1) * cs + beta);
      B1 = 2 * A * ((A - 1) - (A + 1) * cs);
      B2 = A * ((A + 1) - (A - 1) * cs - beta);
      A0 = (A + 1) + (A - 1) * cs + beta;
      A1 = -2 * ((A - 1) + (A + 1) * cs);
      A2 = (A + 1) + (A - 1) * cs - beta;
      break;
    case btHighShelf:
      B0 = A * ((A + 1) + (A - 1) * cs + beta);
      B1 = -2 * A * ((A - 1) + (A + 1) * cs);
      B2 = A * ((A + 1) + (A - 1) * cs - beta);
      A0 = (A + 1) - (A - 1) * cs + beta;
      A1 = 2 * ((A - 1) - (A + 1) * cs);
      A2 = (A + 1) - (A - 1) * cs - beta;
      break;
  }
  b0 = static_cast<float>(B0 / A0);
  b1 = static_cast<float>(B1 / A0);
  b2 = static_cast<float>(B2 / A0);
  a1 = static_cast<float>(A1 / A0);
  a2 = static_cast<float>(A2 / A0);
  a0 = 1.0f;
}

void TAFilter::BiquadCoefficientConverter(float& b1, float& b2, float& b3, float& a1, float& a2, float& a3,
                                          float inFS, float outFS) {
  const double r = static_cast<double>(outFS) / inFS;
  const double c0 = static_cast<double>(b1) + b2 + b3;
  const double c1 = 2.0 * (static_cast<double>(b1) - b3);
  const double c2 = static_cast<double>(b1) - b2 + b3;
  const double d0 = 1.0 + a2 + a3;
  const double d1 = 2.0 * (1.0 - a3);
  const double d2 = 1.0 - a2 + a3;
  const double m = 1.0 / ((r * d2 + d1) * r + d0);
  b1 = static_cast<float>(((r * c2 + c1) * r + c0) * m);
  b2 = static_cast<float>(2.0 * (c0 - r * r * c2) * m);
  b3 = static_cast<float>((c0 - (c1 - r * c2) * r) * m);
  a1 = 1.0f;
  a2 = static_cast<float>(2.0 * (d0 - r * r * d2) * m);
  a3 = static_cast<float>((d0 - (d1 - r * d2) * r) * m);
}
