#include "room/uRT60Complete.h"

#include "RoomTestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using roomtest::AllFinite;

namespace {

std::vector<double> DirectConvolution(const std::vector<float>& a, const std::vector<float>& b) {
  std::vector<double> y(a.size() + b.size() - 1, 0.0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) y[i + j] += static_cast<double>(a[i]) * b[j];
  return y;
}

}  // namespace

TEST(ConvolveFFT, KeepsTheFirstOperandsLengthAndNormalisesThePeak) {
  TRTPipeline rt(48000);
  // [1 2 3] * [1 1] = [1 3 5 3]: the first three samples, divided by the peak 5.
  const std::vector<float> y = rt.ConvolveFFT({1, 2, 3}, {1, 1});
  ASSERT_EQ(y.size(), 3u);
  EXPECT_NEAR(y[0], 0.2f, 1e-6);
  EXPECT_NEAR(y[1], 0.6f, 1e-6);
  EXPECT_FLOAT_EQ(y[2], 1.0f);
  EXPECT_EQ(rt.ConvolveFFT({1, 2, 3, 4}, {1, 0, 0, 0}).size(), 4u);

  // A negative peak becomes exactly -1.
  const std::vector<float> neg = rt.ConvolveFFT({0, -4, 2}, {1});
  EXPECT_EQ(neg[1], -1.0f);
  EXPECT_NEAR(neg[2], 0.5f, 1e-6);

  // Below 1e-12 the result is passed on as it is; an empty second operand gives silence.
  const std::vector<float> tiny = rt.ConvolveFFT({1e-13f, 0}, {1});
  EXPECT_NEAR(tiny[0], 1e-13f, 1e-18);
  EXPECT_EQ(rt.ConvolveFFT({1, 2}, {}), (std::vector<float>{0, 0}));
  EXPECT_TRUE(rt.ConvolveFFT({}, {1, 2}).empty());
}

TEST(ConvolveFFT, MatchesADirectLinearConvolutionWithoutWrapAround) {
  TRTPipeline rt(48000);
  for (const auto& [na, nb] : {std::pair{1000u, 300u}, std::pair{257u, 1024u}, std::pair{4096u, 4096u}}) {
    const std::vector<float> a = roomtest::GaussianNoise(na, 1), b = roomtest::GaussianNoise(nb, 2);
    const std::vector<double> ref = DirectConvolution(a, b);
    double peak = 0;
    for (std::size_t i = 0; i < na; ++i) peak = std::max(peak, std::fabs(ref[i]));
    const std::vector<float> y = rt.ConvolveFFT(a, b);
    ASSERT_EQ(y.size(), na);
    for (std::size_t i = 0; i < na; ++i) ASSERT_NEAR(y[i], ref[i] / peak, 2e-5) << na << "/" << nb << " @" << i;
  }
}

TEST(InverseSweep, TimeReversedSweepUnderAnEnvelopeOfTheLastGeneratedSweep) {
  TRTPipeline rt(1000);
  // Before any sweep exists the envelope is flat (and never NaN).
  const std::vector<float> plain{1, 2, 3, 4};
  EXPECT_EQ(rt.GenerateInverseSweep_RT60(plain), (std::vector<float>{4, 3, 2, 1}));

  // F1 = F2: the time-reversed tone, flat.
  const TSweepBuffer tone = rt.GenerateLogSweep_RTA(50, 50, 1);
  const std::vector<float> invTone = rt.GenerateInverseSweep_RT60(*tone);
  ASSERT_EQ(invTone.size(), tone->size());
  for (std::size_t i = 0; i < tone->size(); ++i) ASSERT_EQ(invTone[i], (*tone)[tone->size() - 1 - i]);

  // Two octaves in 1 s: the envelope falls by ln 4 nepers per second (12 dB over the sweep).
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(100, 400, 1);
  const std::vector<float> inv = rt.GenerateInverseSweep_RT60(*sweep);
  for (const std::size_t i : {0u, 250u, 500u, 999u}) {
    const float s = (*sweep)[sweep->size() - 1 - i];
    EXPECT_NEAR(inv[i], s * std::exp(-std::log(4.0) * i / 1000.0), 1e-6) << i;
  }
  // Whatever array is passed, the envelope is that of the last generated sweep.
  const std::vector<float> ones(1000, 1.0f);
  EXPECT_NEAR(rt.GenerateInverseSweep_RT60(ones)[999], 0.25f, 1e-3);
}

TEST(ExtractImpulse, StartsAtThePeakForTheGivenTime) {
  TRTPipeline rt(1024);
  std::vector<float> ir(100, 0.1f);
  ir[90] = -2.0f;  // peak 10 samples before the end
  ir[95] = 2.0f;   // as large, later: the first one wins
  const std::vector<float> tail = rt.ExtractImpulse(ir, 1.0f);
  ASSERT_EQ(tail.size(), 10u);
  EXPECT_EQ(tail[0], -2.0f);
  EXPECT_EQ(rt.ExtractImpulse(ir, 4.5f / 1024).size(), 4u);  // 4.5 samples: tie to even
  EXPECT_EQ(rt.ExtractImpulse(ir, 5.5f / 1024).size(), 6u);
  EXPECT_TRUE(rt.ExtractImpulse(ir, -1.0f).empty());
  EXPECT_EQ(rt.ExtractImpulse(ir, 1e30f).size(), 10u);  // a count beyond any integer: up to the end
  EXPECT_TRUE(rt.ExtractImpulse({}, 1.0f).empty());
}

TEST(ExtractImpulseISO, CutsWhereTheNoiseFreeDecayIntegralReachesMinus80dB) {
  // 60 dB/s: the backward integral falls 60 dB/s as well, -80 dB after 4/3 s = sample 64000.
  constexpr double fs = 48000;
  std::vector<float> ir(static_cast<std::size_t>(3 * fs));
  for (std::size_t i = 0; i < ir.size(); ++i) ir[i] = static_cast<float>(roomtest::Envelope(i / fs, 1.0));
  const std::vector<float> cut = TRTPipeline::ExtractImpulseISO(ir, fs);
  EXPECT_NEAR(static_cast<double>(cut.size()), 64000.0, 3.0);
  EXPECT_EQ(cut[100], ir[100]);
}

TEST(ExtractImpulseISO, CutsWhereTheIntegralMeetsTheNoiseTail) {
  // A short decay into a long steady noise floor: the integral falls about linearly through the floor,
  // its last tenth averages a twentieth of the whole, and it drops below 10 times that mean about half
  // way. The exact place follows from the rule written out in double precision.
  constexpr double fs = 48000;
  std::vector<float> ir = roomtest::DecayingNoise(0.2, 0.1, fs, 3);
  const std::vector<float> floor = roomtest::GaussianNoise(200000, 4);
  for (float v : floor) ir.push_back(1e-4f * v);
  const std::size_t n = ir.size();
  std::vector<double> S(n);
  double acc = 0;
  for (std::size_t i = n; i-- > 0;) S[i] = acc += static_cast<double>(ir[i]) * ir[i];
  double tail = 0;
  for (std::size_t i = n - n / 10; i < n; ++i) tail += S[i] / (n / 10);
  std::size_t expected = 0;
  while (S[expected] >= 10 * tail && 10 * std::log10(S[expected] / S[0]) >= -80) ++expected;

  const std::vector<float> cut = TRTPipeline::ExtractImpulseISO(ir, fs);
  EXPECT_NEAR(static_cast<double>(cut.size()), static_cast<double>(expected), 0.001 * n);
  EXPECT_NEAR(static_cast<double>(cut.size()), 0.5 * n, 0.02 * n);
}

TEST(ExtractImpulseISO, NothingUsableGivesNothing) {
  const std::vector<float> nine(9, 0.5f);
  const std::vector<float> silent(1000, 0.0f);
  std::vector<float> withNaN(1000, 0.5f);
  withNaN[500] = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> withInf(1000, 0.5f);
  withInf[3] = std::numeric_limits<float>::infinity();
  for (const std::vector<float>* x : std::initializer_list<const std::vector<float>*>{&nine, &silent, &withNaN, &withInf}) {
    EXPECT_TRUE(TRTPipeline::ExtractImpulseISO(*x, 48000).empty());
    EXPECT_FALSE(TRTPipeline::IsUsableResponse(*x));
    EXPECT_TRUE(TRTPipeline::ImpulseResponseFromPeak(*x).empty());
  }
  EXPECT_TRUE(TRTPipeline::ExtractImpulseISO({}, 48000).empty());
  // Ten samples are enough to be judged; a lone impulse, though, is cut after its first sample, and one
  // sample is no response.
  std::vector<float> ten(10, 0.0f);
  ten[0] = 1.0f;
  EXPECT_TRUE(TRTPipeline::IsUsableResponse(ten));
  EXPECT_TRUE(TRTPipeline::ImpulseResponseFromPeak(ten).empty());
}

TEST(ImpulseResponseChain, SilentOrBrokenRecordingsGiveNoResponse) {
  TRTPipeline rt(8000);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(100, 3000, 0.5f);
  EXPECT_TRUE(rt.ImpulseResponseFromRecording(std::vector<float>(8000, 0.0f), *sweep, 0.5f).empty());
  EXPECT_TRUE(rt.ImpulseResponseFromRecording({}, *sweep, 0.5f).empty());
  EXPECT_TRUE(rt.ImpulseResponseFromRecording(std::vector<float>(8000, 0.1f), {}, 0.5f).empty());
  std::vector<float> broken(8000, 0.1f);
  broken[10] = std::numeric_limits<float>::infinity();
  EXPECT_TRUE(rt.ImpulseResponseFromRecording(broken, *sweep, 0.5f).empty());
}

// End to end: a recording of the sweep through a known room (a delay, a direct sound and a tail of noise
// decaying 60 dB in 0.8 s), one block of silence before it, gives back that room's decay: broadband
// within 3 % of 0.8 s, and per octave band within 3 % of the decay times of the room response itself.
// (Energy ratios are not compared: the response starts at its peak, so the half of the band-limited
// direct sound that the deconvolution puts before the peak is not part of it.)
TEST(ImpulseResponseChain, RecoversTheDecayOfAKnownRoom) {
  constexpr double fs = 48000;
  constexpr double kRT60 = 0.8;
  constexpr std::size_t kDelay = 300, kPreRoll = 512;
  TRTPipeline rt(48000);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(45, 12000, 3);
  ASSERT_EQ(sweep->size(), 144000u);

  std::vector<float> room(kDelay, 0.0f);
  const std::vector<float> tail = roomtest::DecayingNoise(1.6, kRT60, fs, 77);
  room.insert(room.end(), tail.begin(), tail.end());
  room[kDelay] = 8.0f;  // the direct sound

  std::vector<float> played(2 * sweep->size(), 0.0f);
  std::copy(sweep->begin(), sweep->end(), played.begin() + kPreRoll);
  const std::vector<float> recording = rt.ConvolveFFT(played, room);

  const std::vector<float> ir = rt.ImpulseResponseFromRecording(recording, *sweep, 3.0f);
  ASSERT_TRUE(TRTPipeline::IsUsableResponse(ir));
  EXPECT_GT(ir.size(), static_cast<std::size_t>(0.8 * fs));   // the decay to about -80 dB is kept
  EXPECT_LT(ir.size(), static_cast<std::size_t>(2.0 * fs));
  EXPECT_EQ(std::fabs(ir[0]), 1.0f);  // starts at the direct sound, normalised

  const TRoomAnalysis chain = rt.AnalyzeImpulseResponse(ir, fs);
  ASSERT_TRUE(chain.Usable);
  EXPECT_NEAR(chain.Broadband.T20, kRT60, 0.03 * kRT60);
  EXPECT_NEAR(chain.Broadband.T30, kRT60, 0.03 * kRT60);
  EXPECT_TRUE(chain.Broadband.ValidT20 && chain.Broadband.ValidT30);

  const std::vector<float> direct(room.begin() + kDelay, room.end());
  const TRoomAnalysis truth = rt.AnalyzeImpulseResponse(direct, fs);
  for (std::size_t b = 0; b < chain.Bands.size(); ++b) {
    EXPECT_NEAR(chain.Bands[b].T20, truth.Bands[b].T20, 0.03 * truth.Bands[b].T20) << chain.BandCenters[b];
    EXPECT_NEAR(chain.Bands[b].T30, truth.Bands[b].T30, 0.03 * truth.Bands[b].T30) << chain.BandCenters[b];
  }
}

// A short room measured with the sweep of range 0 (80 ... 6000 Hz): the lowest band, whose skirt reaches
// down to the sweep's start, keeps the room's own decay. (An abruptly ending inverse filter leaves a
// faint copy of the sweep in the response that read T30 = 0.9 s at 125 Hz here.)
TEST(ImpulseResponseChain, TheLowestBandOfAShortRoomKeepsItsDecay) {
  constexpr double fs = 48000;
  constexpr std::size_t kDelay = 300, kPreRoll = 1024;
  TRTPipeline rt(48000);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(80, 6000, 7);

  std::vector<float> room(kDelay, 0.0f);
  const std::vector<float> tail = roomtest::DecayingNoise(0.6, 0.3, fs, 78);
  room.insert(room.end(), tail.begin(), tail.end());
  room[kDelay] = 8.0f;
  std::vector<float> played(2 * sweep->size(), 0.0f);
  std::copy(sweep->begin(), sweep->end(), played.begin() + kPreRoll);
  const std::vector<float> recording = rt.ConvolveFFT(played, room);

  const TRoomAnalysis chain = rt.AnalyzeImpulseResponse(rt.ImpulseResponseFromRecording(recording, *sweep, 7), fs);
  const TRoomAnalysis truth =
      rt.AnalyzeImpulseResponse(std::vector<float>(room.begin() + kDelay, room.end()), fs);
  ASSERT_TRUE(chain.Usable);
  for (std::size_t b = 0; b < chain.Bands.size(); ++b) {
    EXPECT_NEAR(chain.Bands[b].T20, truth.Bands[b].T20, 0.05 * truth.Bands[b].T20) << chain.BandCenters[b];
    EXPECT_NEAR(chain.Bands[b].T30, truth.Bands[b].T30, 0.05 * truth.Bands[b].T30) << chain.BandCenters[b];
  }
}
