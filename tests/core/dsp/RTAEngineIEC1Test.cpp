#include "dsp/PinkNoiseGenA.h"
#include "dsp/RTAEngineIEC1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr float kFs = 48000;
constexpr int kBlock = 1024;

// Feeds `seconds` of a sine of amplitude amp at frequency f, block by block, continuing the phase
// from sample `start`. Returns the number of samples fed.
long FeedSine(TRTAEngineIEC1& e, double f, double amp, double seconds, long start = 0, int block = kBlock) {
  const long total = std::lround(seconds * kFs);
  std::vector<float> buf(static_cast<std::size_t>(block));
  int ignore = 0;
  for (long done = 0; done < total; done += block) {
    const long n = std::min<long>(block, total - done);
    for (long i = 0; i < n; ++i)
      buf[static_cast<std::size_t>(i)] = static_cast<float>(amp * std::sin(2 * kPi * f * (start + done + i) / kFs));
    e.ProcessBlock(std::span<const float>(buf.data(), static_cast<std::size_t>(n)), ignore);
  }
  return total;
}

std::vector<float> BandLevels(const TRTAEngineIEC1& e) {
  std::vector<float> c(static_cast<std::size_t>(e.BandCount())), l(c.size());
  EXPECT_EQ(e.GetBandData(c, l), e.BandCount());
  return l;
}

float Readout(TRTAEngineIEC1& e, TRTAExport kind, float offset = 0, std::span<const float> corr = {}) {
  float v = 12345.0f;
  EXPECT_TRUE(e.GetWeightingValue(kind, offset, v, corr)) << "kind " << kind;
  return v;
}

// Mean square gain of a band's three-section cascade at frequency f, from its coefficients.
double BandPowerGain(const TIECBand& b, double f) {
  const std::complex<double> z = std::polar(1.0, -2 * kPi * f / kFs);
  std::complex<double> h = 1.0;
  for (const TBandSection& s : b.Filters)
    h *= (static_cast<double>(s.b0) + static_cast<double>(s.b1) * z + static_cast<double>(s.b2) * z * z) /
         (1.0 + static_cast<double>(s.a1) * z + static_cast<double>(s.a2) * z * z);
  return std::norm(h);
}

}  // namespace

TEST(RTAEngine, BandBanksPerResolution) {
  struct TCase {
    int N, bands;
    double first, last, q;
  };
  for (const TCase& c : {TCase{1, 11, 15.625, 16000, 1.0}, TCase{3, 31, 19.686, 20158.7, 3.8473},
                         TCase{6, 61, 19.686, 20158.7, 8.1658}, TCase{9, 91, 19.686, 20158.7, 12.4907},
                         TCase{12, 121, 19.686, 20158.7, 16.8172}}) {
    const TRTAEngineIEC1 e(kFs, c.N);
    ASSERT_EQ(e.BandCount(), c.bands) << c.N;
    EXPECT_NEAR(e.GetBand(0).ExactCenter, c.first, 1e-3) << c.N;
    EXPECT_NEAR(e.GetBand(c.bands - 1).ExactCenter, c.last, 0.05) << c.N;
    EXPECT_NEAR(e.Q(), c.q, 1e-4) << c.N;
    // Sections: b0 = alpha/(1+alpha), b1 = 0, b2 = -b0; 0 dB at the exact centre (single-precision
    // coefficients cost the narrow low bands up to 0.09 dB).
    for (int i = 0; i < c.bands; ++i) {
      const TIECBand b = e.GetBand(i);
      EXPECT_EQ(b.Filters[0].b1, 0.0f);
      EXPECT_EQ(b.Filters[1].b2, -b.Filters[1].b0);
      EXPECT_NEAR(10 * std::log10(BandPowerGain(b, b.ExactCenter)), 0.0, 0.1) << c.N << " band " << i;
    }
  }
  const std::vector<float> third = {20,   25,   31,   39,   50,   62,   79,   99,    125,   157,   198,
                                    250,  315,  397,  500,  630,  794,  1000, 1260,  1587,  2000,  2520,
                                    3175, 4000, 5040, 6350, 8000, 10079, 12699, 16000, 20159};
  const TRTAEngineIEC1 e3(kFs, 3);
  EXPECT_EQ(std::vector<float>(e3.CenterFreqs().begin(), e3.CenterFreqs().end()), third);
  const std::vector<float> octave = {16, 31, 62, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
  const TRTAEngineIEC1 e1(kFs, 1);
  EXPECT_EQ(std::vector<float>(e1.CenterFreqs().begin(), e1.CenterFreqs().end()), octave);
}

// A full-scale sine at a band's exact centre settles at mean square 0.5 (-3.01 dB) in that band.
TEST(RTAEngine, FullScaleSineAtBandCentreReadsMinus3dB) {
  struct TCase {
    int N, band;
    TRTATimeWeight tw;
  };
  for (const TCase& c : {TCase{3, 17, twFast}, TCase{1, 3, twFast}, TCase{12, 100, twFast}, TCase{9, 60, twSlow},
                         TCase{6, 20, twSlow}}) {
    TRTAEngineIEC1 e(kFs, c.N);
    e.SetTimeWeight(c.tw);
    e.SetWeigthing(fwZ, kBlock);
    const double f = e.GetBand(c.band).ExactCenter;
    FeedSine(e, f, 1.0, c.tw == twSlow ? 8.0 : 2.0);
    EXPECT_NEAR(BandLevels(e)[static_cast<std::size_t>(c.band)], -3.0103, 0.05) << "N " << c.N << " band " << c.band;
  }
}

TEST(RTAEngine, SilenceGivesTheFloors) {
  TRTAEngineIEC1 e(kFs, 3);
  e.SetWeigthing(fwZ, kBlock);
  std::vector<float> zero(kBlock, 0.0f);
  int ignore = 0;
  for (int k = 0; k < 20; ++k) e.ProcessBlock(zero, ignore);
  for (float l : BandLevels(e)) EXPECT_FLOAT_EQ(l, -200.0f);
  EXPECT_FLOAT_EQ(Readout(e, exRMS), -600.0f);
  EXPECT_LT(Readout(e, exLeq), -280.0f);  // what the 1e-20 against denormals leaves in the bands
  // No sample since the previous RMS readout: the floor again, and the peak stays where it was.
  EXPECT_FLOAT_EQ(Readout(e, exRMS, 3.0f), -597.0f);
  EXPECT_FLOAT_EQ(Readout(e, exPeak), -600.0f);
}

TEST(RTAEngine, ReadoutsRightAfterCreation) {
  TRTAEngineIEC1 e(kFs, 3);
  EXPECT_FLOAT_EQ(Readout(e, exPeak, 94.0f), -9999.0f + 94.0f);
  EXPECT_FLOAT_EQ(Readout(e, exLeqSliding, 94.0f), -120.0f);  // no slice yet: the previous result
  EXPECT_FLOAT_EQ(Readout(e, exLeq, 10.0f), -290.0f);         // no time processed yet
  float v = 7.0f;
  EXPECT_FALSE(e.GetWeightingValue(exSEL, 0, v));
  EXPECT_EQ(v, 7.0f);
  // Before SetWeigthing the block length is unknown: no RMS samples are counted, no slices pushed.
  FeedSine(e, 1000, 1.0, 0.1);
  EXPECT_FLOAT_EQ(Readout(e, exRMS), -600.0f);
  EXPECT_EQ(e.SlidingLeqState().Count, 0);
  EXPECT_EQ(e.Weighting(), fwZ);
  EXPECT_EQ(e.TimeWeight(), twImpulse);
  EXPECT_EQ(e.LeqWindowSec(), 600);
}

// While iIgnore > 0 the band levels follow the last sample's squared output; iIgnore counts down.
TEST(RTAEngine, IgnoreMakesBandsFollowTheLastSample) {
  TRTAEngineIEC1 e(kFs, 3), ref(kFs, 3);
  for (TRTAEngineIEC1* x : {&e, &ref}) {
    x->SetWeigthing(fwZ, kBlock);
    FeedSine(*x, 440, 0.5, 0.5);
  }
  std::vector<float> buf(kBlock);
  for (int i = 0; i < kBlock; ++i) buf[static_cast<std::size_t>(i)] = static_cast<float>(0.8 * std::sin(0.37 * i));
  int ignore = 1, none = 0;
  e.ProcessBlock(buf, ignore);
  EXPECT_EQ(ignore, 0);
  // The reference runs the block without its last sample; the last sample's output of every band
  // is then worked out here from the reference's section states.
  ref.ProcessBlock(std::span<const float>(buf).first(kBlock - 1), none);
  for (int i = 0; i < e.BandCount(); ++i) {
    const TIECBand r = ref.GetBand(i);
    double y = buf.back();
    for (const TBandSection& s : r.Filters) y = static_cast<float>(s.b0 * y + s.z1 + 1e-20);
    const float q = static_cast<float>(y * y);
    EXPECT_NEAR(e.GetBand(i).StateRMS, q, 1e-5f * q + 1e-12f) << "band " << i;
  }
  int three = 3;
  e.ProcessBlock(buf, three);
  EXPECT_EQ(three, 2);
  int negative = -2;
  e.ProcessBlock(buf, negative);
  EXPECT_EQ(negative, -2);
}

// Each RMS readout covers exactly the samples since the previous one.
TEST(RTAEngine, RmsCoversTheSamplesSinceThePreviousReadout) {
  TRTAEngineIEC1 e(kFs, 1);
  e.SetWeigthing(fwZ, kBlock);
  FeedSine(e, 1000, 1.0, 0.5);
  EXPECT_NEAR(Readout(e, exRMS), -3.0103, 0.01);
  std::vector<float> dc(kBlock, 0.1f);
  int ignore = 0;
  e.ProcessBlock(dc, ignore);
  EXPECT_NEAR(Readout(e, exRMS, 94.0f), -20.0f + 94.0f, 1e-4);
  // The peak is the highest RMS returned, not a sample peak.
  EXPECT_NEAR(Readout(e, exPeak), -3.0103, 0.01);
  e.ProcessBlock(dc, ignore);
  e.ProcessBlock(dc, ignore);
  std::vector<float> half(kBlock, 0.05f);
  e.ProcessBlock(half, ignore);
  // Mean square over three blocks: (0.01 + 0.01 + 0.0025) / 3.
  EXPECT_NEAR(Readout(e, exRMS), 10 * std::log10(0.0225 / 3), 1e-4);
  e.ResetLeqRMSPeak(0);
  EXPECT_FLOAT_EQ(Readout(e, exPeak), -9999.0f);
}

// A step in signal power: the band level reaches 1 - 1/e of its final mean square after one time
// constant.
TEST(RTAEngine, TimeWeightingStepReachesOneMinusInverseEAfterTau) {
  for (TRTATimeWeight tw : {twImpulse, twFast, twSlow, twRSE_Slow100, twRSE_UltraSlow20Hz}) {
    TRTAEngineIEC1 e(kFs, 1);
    e.SetTimeWeight(tw);
    e.SetWeigthing(fwZ, 480);
    const double tau = TRTAEngineIEC1::TimeConstant(tw);
    FeedSine(e, 1000, 1.0, tau, 0, 480);
    const float expected = static_cast<float>(10 * std::log10(0.5 * (1 - std::exp(-1.0))));
    EXPECT_NEAR(BandLevels(e)[6], expected, tw == twImpulse ? 0.15 : 0.05) << "tau " << tau;
  }
  EXPECT_EQ(TRTAEngineIEC1::TimeConstant(static_cast<TRTATimeWeight>(17)), 0.125);
}

TEST(RTAEngine, AWeightingAt100HzIs19dBBelowZ) {
  TRTAEngineIEC1 z(kFs, 3), a(kFs, 3), c(kFs, 3);
  z.SetWeigthing(fwZ, kBlock);
  a.SetWeigthing(fwA, kBlock);
  c.SetWeigthing(fwC, kBlock);
  for (TRTAEngineIEC1* e : {&z, &a, &c}) {
    e->SetTimeWeight(twFast);
    FeedSine(*e, 100, 1.0, 2.0);
  }
  const int band = z.GetBandindexZurF(100);
  ASSERT_EQ(z.CenterFreq(band), 99.0f);
  const float dz = BandLevels(z)[static_cast<std::size_t>(band)];
  const float da = dz - BandLevels(a)[static_cast<std::size_t>(band)];
  EXPECT_NEAR(da, 19.1, 1.0);
  EXPECT_NEAR(da, -20 * std::log10(TAFilter(kFs, Filter_A).GainAt(100)), 0.05);
  EXPECT_NEAR(dz - BandLevels(c)[static_cast<std::size_t>(band)],
              -20 * std::log10(TAFilter(kFs, Filter_C).GainAt(100)), 0.05);
  // The broadband RMS is weighted too.
  EXPECT_NEAR(Readout(z, exRMS) - Readout(a, exRMS), 19.1, 1.0);

  // And at 1 kHz A and C read the same as Z.
  TRTAEngineIEC1 z1(kFs, 3), a1(kFs, 3), c1(kFs, 3);
  z1.SetWeigthing(fwZ, kBlock);
  a1.SetWeigthing(fwA, kBlock);
  c1.SetWeigthing(fwC, kBlock);
  for (TRTAEngineIEC1* e : {&z1, &a1, &c1}) FeedSine(*e, 1000, 1.0, 1.0);
  EXPECT_NEAR(BandLevels(a1)[17], BandLevels(z1)[17], 0.05);
  EXPECT_NEAR(BandLevels(c1)[17], BandLevels(z1)[17], 0.05);
}

TEST(RTAEngine, LeqSumsTheBandsWithCorrections) {
  TRTAEngineIEC1 e(kFs, 3);
  e.SetWeigthing(fwZ, kBlock);
  FeedSine(e, 1000, 1.0, 4.0);
  // Expected: the band energies of a sine, from the band filters' transfer functions, over the
  // total time (the short start-up counts for little in 4 s).
  double sum = 0;
  for (int i = 0; i < e.BandCount(); ++i) sum += 0.5 * BandPowerGain(e.GetBand(i), 1000);
  EXPECT_NEAR(Readout(e, exLeq), 10 * std::log10(sum), 0.02);
  // A correction of 10 dB on every band lowers the Leq by 10 dB; on one band only, that band's share.
  std::vector<float> corr(static_cast<std::size_t>(e.BandCount()), 10.0f);
  EXPECT_NEAR(Readout(e, exLeq, 0, corr), 10 * std::log10(sum) - 10, 0.02);
  std::vector<float> one(static_cast<std::size_t>(e.BandCount()), 0.0f);
  one[17] = 100.0f;
  const double rest = sum - 0.5 * BandPowerGain(e.GetBand(17), 1000);
  EXPECT_NEAR(Readout(e, exLeq, 3.0f, one), 10 * std::log10(rest) + 3.0, 0.05);
  // ResetLeqRMSPeak and SetWeigthing leave the Leq running; Reset clears it.
  const float before = Readout(e, exLeq);
  e.ResetLeqRMSPeak(-20);
  e.SetWeigthing(fwC, kBlock);
  EXPECT_FLOAT_EQ(Readout(e, exLeq), before);
  e.Reset();
  EXPECT_FLOAT_EQ(Readout(e, exLeq), -300.0f);
  EXPECT_EQ(e.Weighting(), fwZ);
}

// Over a long run the Leq of a steady signal stays put (a per-sample single-precision sum would stop
// growing after about six minutes).
TEST(RTAEngine, LeqOfASteadySignalHoldsOverLongRuns) {
  TRTAEngineIEC1 e(kFs, 1);
  e.SetWeigthing(fwZ, 4800);
  std::vector<float> buf(4800);
  for (int i = 0; i < 4800; ++i) buf[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(2 * kPi * 1000 * i / kFs));
  int ignore = 0;
  for (int k = 0; k < 600; ++k) e.ProcessBlock(buf, ignore);  // 60 s
  const float at60 = Readout(e, exLeq);
  for (int k = 0; k < 4800; ++k) e.ProcessBlock(buf, ignore);  // 540 s
  EXPECT_NEAR(e.TotalTime(), 540.0, 1e-3);
  EXPECT_NEAR(Readout(e, exLeq), at60, 0.01);
  EXPECT_NEAR(Readout(e, exLeqSliding), -3.0103, 0.01);
}

TEST(RTAEngine, SlidingLeqRingAndWindow) {
  EXPECT_EQ(TRTAEngineIEC1::LeqRingCapacity(10, 48000, 1024), 479);
  EXPECT_EQ(TRTAEngineIEC1::LeqRingCapacity(600, 48000, 1024), 28135);
  EXPECT_EQ(TRTAEngineIEC1::LeqRingCapacity(1, 48000, 96000), 10);  // 0.5 rounds to 0
  // A window far beyond any measurement (a damaged setting) does not overflow or claim gigabytes.
  EXPECT_EQ(TRTAEngineIEC1::LeqRingCapacity(2147483647, 48000, 16), TRTAEngineIEC1::MaxLeqRingSlices);
  EXPECT_EQ(TRTAEngineIEC1::LeqRingCapacity(86400, 48000, 16), TRTAEngineIEC1::MaxLeqRingSlices);

  TRTAEngineIEC1 e(kFs, 3);
  e.SetLeqWindowSec(10);
  e.SetWeigthing(fwZ, kBlock);
  EXPECT_GE(e.SlidingLeqState().Buffer.size(), 479u);  // storage provided before any block
  const long done = FeedSine(e, 1000, 0.5, 141 * kBlock / kFs);
  EXPECT_EQ(e.SlidingLeqState().Capacity, 479);
  // Steady signal: the sliding Leq is its mean-square level.
  EXPECT_NEAR(Readout(e, exLeqSliding, 94.0f), 20 * std::log10(0.5) - 3.0103 + 94.0, 0.01);
  // After 12 s of a quieter signal the window holds only that: the 468 blocks that fit in 10 s.
  FeedSine(e, 1000, 0.05, 563 * kBlock / kFs, done);
  const TLeqState& s = e.SlidingLeqState();
  EXPECT_LE(s.TimeSum, 10.0);
  EXPECT_GT(s.TimeSum, 10.0 - 2.0 * kBlock / kFs);
  EXPECT_EQ(s.Count, 468);
  EXPECT_NEAR(Readout(e, exLeqSliding), 20 * std::log10(0.05) - 3.0103, 0.01);
  // Resetting empties the ring; reading then gives the previous result.
  const float last = Readout(e, exLeqSliding, 1.0f);
  e.ResetLeqRMSPeak(0);
  EXPECT_EQ(e.SlidingLeqState().Count, 0);
  EXPECT_FLOAT_EQ(Readout(e, exLeqSliding, 50.0f), last);
}

// What is left of a loud passage once it has left the window does not mask a quiet signal.
TEST(RTAEngine, SlidingLeqAfterALoudPassageSeesTheQuietSignal) {
  TRTAEngineIEC1 e(kFs, 1);
  e.SetLeqWindowSec(2);
  e.SetWeigthing(fwZ, kBlock);
  const long loud = FeedSine(e, 1000, 1.0, 5.0);
  FeedSine(e, 1000, 1e-5, 5.0, loud);
  EXPECT_NEAR(Readout(e, exLeqSliding), -100.0 - 3.0103, 0.05);
}

// Slices shorter than a block: the ring drops its oldest slice instead of overrunning.
TEST(RTAEngine, SlidingRingNeverOverruns) {
  TRTAEngineIEC1 e(kFs, 1);
  e.SetLeqWindowSec(1);
  e.SetWeigthing(fwZ, 4800);  // capacity 10 + 10
  std::vector<float> small(100, 0.5f);
  int ignore = 0;
  for (int k = 0; k < 100; ++k) e.ProcessBlock(small, ignore);
  const TLeqState& s = e.SlidingLeqState();
  EXPECT_EQ(s.Capacity, 20);
  EXPECT_EQ(s.Count, 20);
  EXPECT_NEAR(s.TimeSum, 20 * 100 / kFs, 1e-6);
  EXPECT_NEAR(Readout(e, exLeqSliding), 20 * std::log10(0.5), 1e-3);
}

namespace {
// Exposes the two halves of the block sequence so that a test can hold a block "open".
class TProbeEngine : public TRTAEngineIEC1 {
public:
  using TRTAEngineIEC1::TRTAEngineIEC1;
  using TRTAEngineIEC1::BeginBlock;
  using TRTAEngineIEC1::EndBlock;
  int BlocksDuringLeqRead = 0;

protected:
  void AfterLeqSnapshotRead() override {
    // A whole block slips in between reading the published values and checking them.
    for (int k = 0; k < BlocksDuringLeqRead; ++k) {
      BeginBlock();
      EndBlock();
    }
  }
};
}  // namespace

TEST(RTAEngine, ReadoutsAreRefusedWhileABlockRuns) {
  TProbeEngine e(kFs, 3);
  e.SetWeigthing(fwZ, kBlock);
  FeedSine(e, 1000, 1.0, 0.5);
  e.BeginBlock();
  for (TRTAExport k : {exRMS, exLeq, exPeak, exSEL, exLeqSliding}) {
    float v = 42.0f;
    EXPECT_FALSE(e.GetWeightingValue(k, 0, v)) << k;
    EXPECT_EQ(v, 42.0f);
  }
  e.EndBlock();
  // Nothing was taken from the RMS interval by the refused readout.
  EXPECT_NEAR(Readout(e, exRMS), -3.0103, 0.01);
  // An exLeq read that a block overlaps is refused as well.
  e.BlocksDuringLeqRead = 1;
  float v = 42.0f;
  EXPECT_FALSE(e.GetWeightingValue(exLeq, 0, v));
  EXPECT_EQ(v, 42.0f);
  e.BlocksDuringLeqRead = 0;
  EXPECT_TRUE(e.GetWeightingValue(exLeq, 0, v));
}

// Settings asked for while the stream runs take effect at the start of the next block.
TEST(RTAEngine, RequestsApplyAtTheNextBlock) {
  TRTAEngineIEC1 e(kFs, 3);
  e.SetWeigthing(fwZ, kBlock);
  FeedSine(e, 1000, 1.0, 0.5);
  e.RequestWeigthing(fwA, kBlock);
  EXPECT_EQ(e.Weighting(), fwZ);
  FeedSine(e, 1000, 1.0, kBlock / kFs);
  EXPECT_EQ(e.Weighting(), fwA);

  e.RequestWeigthing(fwC, kBlock);
  e.RequestReset();  // a reset after the weighting request wins: Z
  e.ApplyPendingRequests();
  EXPECT_EQ(e.Weighting(), fwZ);
  EXPECT_FLOAT_EQ(Readout(e, exLeq), -300.0f);

  e.RequestReset();
  e.RequestWeigthing(fwC, kBlock);  // a weighting after the reset stays
  FeedSine(e, 1000, 1.0, kBlock / kFs);
  EXPECT_EQ(e.Weighting(), fwC);
  EXPECT_NEAR(e.TotalTime(), kBlock / kFs, 1e-6);

  FeedSine(e, 1000, 1.0, 0.5);
  Readout(e, exRMS);
  e.RequestResetLeqRMSPeak(0);
  FeedSine(e, 1000, 1.0, kBlock / kFs);
  EXPECT_EQ(e.SlidingLeqState().Count, 1);
  EXPECT_FLOAT_EQ(Readout(e, exPeak), -9999.0f);
  EXPECT_GT(e.TotalTime(), 0.5);
}

TEST(RTAEngine, BandIndexForAFrequency) {
  const TRTAEngineIEC1 e(kFs, 3), none(kFs, 0);
  EXPECT_EQ(none.GetBandindexZurF(1000), -1);
  EXPECT_EQ(e.GetBandindexZurF(5), 0);
  EXPECT_EQ(e.GetBandindexZurF(20), 0);
  EXPECT_EQ(e.GetBandindexZurF(24.9f), 0);
  EXPECT_EQ(e.GetBandindexZurF(25), 1);
  EXPECT_EQ(e.GetBandindexZurF(1000), 17);
  EXPECT_EQ(e.GetBandindexZurF(1259), 17);
  EXPECT_EQ(e.GetBandindexZurF(20159), 30);
  EXPECT_EQ(e.GetBandindexZurF(96000), 30);
}

TEST(RTAEngine, NominalFrequenciesForDisplay) {
  const TRTAEngineIEC1 e1(kFs, 1), e3(kFs, 3), e6(kFs, 6), e9(kFs, 9), e12(kFs, 12);
  EXPECT_EQ(e1.IEC_RoundFreqCursorAnzeige(6, 1), 1000.0f);
  EXPECT_EQ(e1.IEC_RoundFreqCursorAnzeige(1, 1), 31.5f);
  EXPECT_EQ(e1.IEC_RoundFreqCursorAnzeige(10, 1), 16000.0f);
  EXPECT_EQ(e1.IEC_RoundFreqCursorAnzeige(0, 1), 16.0f);  // the 16 Hz band has no row
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(0, 3), 20.0f);
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(2, 3), 31.5f);
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(17, 3), 1000.0f);
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(30, 3), 20000.0f);
  EXPECT_EQ(e6.IEC_RoundFreqCursorAnzeige(1, 6), 22.5f);
  EXPECT_EQ(e6.IEC_RoundFreqCursorAnzeige(60, 6), 20000.0f);
  EXPECT_EQ(e12.IEC_RoundFreqCursorAnzeige(65, 12), 845.0f);
  EXPECT_EQ(e12.IEC_RoundFreqCursorAnzeige(68, 12), 1000.0f);
  EXPECT_EQ(e12.IEC_RoundFreqCursorAnzeige(120, 12), 20000.0f);
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(31, 3), 0.0f);  // outside the bank
  EXPECT_EQ(e3.IEC_RoundFreqCursorAnzeige(-1, 3), 0.0f);
  // 1/9 octave: rounded by range.
  const int i857 = e9.GetBandindexZurF(857), i1167 = e9.GetBandindexZurF(1167), i50 = e9.GetBandindexZurF(50);
  ASSERT_EQ(e9.CenterFreq(i857), 857.0f);
  ASSERT_EQ(e9.CenterFreq(i1167), 1167.0f);
  EXPECT_EQ(e9.IEC_RoundFreqCursorAnzeige(i857, 9), 855.0f);
  EXPECT_EQ(e9.IEC_RoundFreqCursorAnzeige(i1167, 9), 1200.0f);
  EXPECT_EQ(e9.IEC_RoundFreqCursorAnzeige(i50, 9), e9.CenterFreq(i50));
}

TEST(RTAEngine, AnalyticWeightings) {
  EXPECT_NEAR(TRTAEngineIEC1::AWeighting_dB(1000), 0.0, 0.01);
  EXPECT_NEAR(TRTAEngineIEC1::CWeighting_dB(1000), -0.061, 0.002);  // with the 0.001 dB constant
  EXPECT_NEAR(TRTAEngineIEC1::AWeighting_dB(100), -19.1, 0.05);
  EXPECT_NEAR(TRTAEngineIEC1::AWeighting_dB(10), -70.4, 0.05);
  EXPECT_NEAR(TRTAEngineIEC1::AWeighting_dB(10000), -2.5, 0.05);
  EXPECT_NEAR(TRTAEngineIEC1::CWeighting_dB(31.5f), -3.0, 0.1);
  EXPECT_NEAR(TRTAEngineIEC1::CWeighting_dB(8000), -3.0, 0.15);
  EXPECT_EQ(TRTAEngineIEC1::AWeighting_dB(0), -200.0f);
  EXPECT_EQ(TRTAEngineIEC1::CWeighting_dB(-5), -200.0f);
}

// Every band kernel this processor offers (the portable one included) follows a double-precision
// computation of the same filters: single-precision states cost the narrow low bands a few
// hundredths of a dB at levels near -110 dB, and nothing that matters elsewhere.
TEST(RTAEngine, BandKernelsFollowDoublePrecision) {
  std::vector<std::unique_ptr<TRTAEngineIEC1>> engines;
  for (const char* name : {"reference", "avx512", "avx2"}) {
    if (!TRTAEngineIEC1::UseBandKernel(name)) continue;
    engines.push_back(std::make_unique<TRTAEngineIEC1>(kFs, 12));
    EXPECT_STREQ(engines.back()->BandKernelName(), name);
  }
  EXPECT_FALSE(TRTAEngineIEC1::UseBandKernel("no such kernel"));
  ASSERT_TRUE(TRTAEngineIEC1::UseBandKernel("auto"));
  ASSERT_STREQ(engines.front()->BandKernelName(), "reference");
  for (auto& e : engines) {
    e->SetTimeWeight(twFast);
    e->SetWeigthing(fwA, kBlock);
  }

  // The same filters with double-precision states, fed the same weighted samples.
  const int nb = engines.front()->BandCount();
  std::vector<TIECBand> bands;
  for (int i = 0; i < nb; ++i) bands.push_back(engines.front()->GetBand(i));
  std::vector<double> z1(static_cast<std::size_t>(nb) * 3), z2(z1.size()), rms(static_cast<std::size_t>(nb));
  TAFilter weighting(kFs, Filter_A);
  const double a = 1 - std::exp(-(1.0 / kFs) / 0.125);

  // Pink noise at -20 dB plus a quiet 31.5 Hz tone, 3 s; one block in the middle ignored.
  TPinkNoiseGeneratorA noise(-20.0, 77);
  std::vector<float> buf(kBlock);
  for (int b = 0; b < 140; ++b) {
    for (int i = 0; i < kBlock; ++i)
      buf[static_cast<std::size_t>(i)] =
          static_cast<float>(noise.GetSample() + 1e-3 * std::sin(2 * kPi * 31.5 * (b * kBlock + i) / kFs));
    for (auto& e : engines) {
      int ignore = b == 70 ? 1 : 0;
      e->ProcessBlock(buf, ignore);
    }
    for (float v : buf) {
      const double x = weighting.ProcessSample(v);
      for (std::size_t j = 0; j < static_cast<std::size_t>(nb); ++j) {
        double y = x;
        for (std::size_t s = 0; s < 3; ++s) {
          const TBandSection& f = bands[j].Filters[s];
          const double o = f.b0 * y + z1[j * 3 + s];
          z1[j * 3 + s] = f.b1 * y - f.a1 * o + z2[j * 3 + s];
          z2[j * 3 + s] = f.b2 * y - f.a2 * o;
          y = o;
        }
        rms[j] = b == 70 ? y * y : rms[j] + a * (y * y - rms[j]);
      }
    }
  }
  for (auto& e : engines) {
    const std::vector<float> got = BandLevels(*e);
    for (std::size_t j = 0; j < got.size(); ++j)
      EXPECT_NEAR(got[j], 10 * std::log10(rms[j]), bands[j].CenterFreq < 100 ? 0.05 : 0.002)
          << e->BandKernelName() << " band " << j;
  }
  const float leq = Readout(*engines.front(), exLeq);
  for (auto& e : engines) EXPECT_NEAR(Readout(*e, exLeq), leq, 1e-4) << e->BandKernelName();
}
