#include "room/TSweepRecorder.h"
#include "room/uRT60Complete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

TEST(SweepGeneration, PhaseIsAdvancedBeforeTheFirstSampleAndFrequencyRisesExponentially) {
  TRTPipeline rt(48000);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(100, 10000, 2.0f);
  ASSERT_EQ(sweep->size(), 96000u);
  EXPECT_FLOAT_EQ(rt.fsweep_f1, 100);
  EXPECT_FLOAT_EQ(rt.fsweep_f2, 10000);
  EXPECT_FLOAT_EQ(rt.fsweep_Dur, 2);
  EXPECT_NEAR((*sweep)[0], std::sin(2 * std::numbers::pi * 100 / 48000), 1e-6);
  EXPECT_NEAR(*std::max_element(sweep->begin(), sweep->end()), 1.0f, 1e-4);

  // Zero crossings per 10 ms around t = 1 s give the instantaneous frequency 100 * 100^(1/2) = 1 kHz.
  int crossings = 0;
  for (int i = 48000 - 240; i < 48000 + 240; ++i)
    if (((*sweep)[i] < 0) != ((*sweep)[i + 1] < 0)) ++crossings;
  EXPECT_NEAR(crossings / 2.0 / 0.01, 1000.0, 60.0);
}

TEST(SweepGeneration, SampleCountRoundsToNearestAndBadFrequenciesGiveNoSweep) {
  TRTPipeline rt(1000);
  EXPECT_EQ(rt.GenerateLogSweep_RTA(10, 100, 0.0025f)->size(), 2u);  // 2.5 samples: tie to even
  EXPECT_EQ(rt.GenerateLogSweep_RTA(10, 100, 0.0035f)->size(), 4u);  // 3.5 samples: tie to even
  EXPECT_TRUE(rt.GenerateLogSweep_RTA(0, 100, 1)->empty());
  EXPECT_TRUE(rt.GenerateLogSweep_RTA(10, -5, 1)->empty());
  EXPECT_TRUE(rt.GenerateLogSweep_RTA(10, 100, -1)->empty());
  EXPECT_TRUE(rt.GenerateLogSweep_RTA(10, 100, 1e30f)->empty());  // more samples than playback counts
}

TEST(SweepGeneration, EqualStartAndStopIsAConstantTone) {
  TRTPipeline rt(48000);
  const TSweepBuffer tone = rt.GenerateLogSweep_RTA(1000, 1000, 0.1f);
  ASSERT_EQ(tone->size(), 4800u);
  for (std::size_t i = 0; i < tone->size(); ++i)
    ASSERT_NEAR((*tone)[i], std::sin(2 * std::numbers::pi * 1000 * (i + 1) / 48000.0), 1e-5) << i;
}

// Over a 30 s sweep the phase reaches some 10^5 radians and must still follow the exponential law: the
// last seconds match the sine of the accumulated instantaneous frequency, summed here in long double.
TEST(SweepGeneration, LongSweepKeepsItsPhase) {
  constexpr double fs = 48000, f1 = 30, f2 = 15000, dur = 30;
  TRTPipeline rt(48000);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(30, 15000, 30);
  ASSERT_EQ(sweep->size(), 1440000u);
  const long double K = std::log(static_cast<float>(f2 / f1));
  long double phase = 0;
  double worst = 0;
  for (std::size_t i = 0; i < sweep->size(); ++i) {
    phase += 2 * std::numbers::pi_v<long double> * f1 * std::exp(K * (i / fs) / dur) / fs;
    if (i >= sweep->size() - 48000) worst = std::max(worst, std::fabs((*sweep)[i] - static_cast<double>(std::sin(phase))));
  }
  EXPECT_LT(worst, 1e-3);
}

TEST(SweepPlayback, ThousandSamplesInBlocksOf256PlayFourBlocksThenEnd) {
  TRTPipeline rt(48000);
  auto sweep = std::make_shared<std::vector<float>>(1000);
  for (std::size_t i = 0; i < sweep->size(); ++i) (*sweep)[i] = 0.5f + i * 1e-4f;
  rt.LoadSweep(sweep);
  EXPECT_FALSE(rt.SweepActive());
  rt.StartSweep();

  std::vector<std::vector<float>> out{std::vector<float>(512, 9.0f), std::vector<float>(256, 7.0f)};
  std::vector<float> played;
  for (int block = 0; block < 4; ++block) {
    EXPECT_TRUE(rt.ProcessSweepBlock(out, 256)) << block;
    played.insert(played.end(), out[0].begin(), out[0].begin() + 256);
  }
  EXPECT_EQ(std::vector<float>(played.begin(), played.begin() + 1000), *sweep);
  EXPECT_EQ(std::vector<float>(played.begin() + 1000, played.end()), std::vector<float>(24, 0.0f));
  EXPECT_FALSE(rt.ProcessSweepBlock(out, 256));
  EXPECT_FALSE(rt.SweepActive());
  EXPECT_EQ(std::vector<float>(out[0].begin(), out[0].begin() + 256), std::vector<float>(256, 0.0f));
  EXPECT_EQ(out[0][256], 9.0f);                           // beyond the block: untouched
  EXPECT_EQ(out[1], std::vector<float>(256, 7.0f));       // other channels: untouched

  // Idle: silence, false. A restart plays from the beginning again.
  out[0].assign(512, 3.0f);
  EXPECT_FALSE(rt.ProcessSweepBlock(out, 256));
  EXPECT_EQ(out[0][0], 0.0f);
  rt.StartSweep();
  EXPECT_TRUE(rt.ProcessSweepBlock(out, 256));
  EXPECT_EQ(out[0][0], (*sweep)[0]);
  rt.StopSweep();
  EXPECT_FALSE(rt.ProcessSweepBlock(out, 256));
  EXPECT_EQ(out[0][0], 0.0f);
}

TEST(SweepPlayback, NothingLoadedOrShortChannelNeverWritesOutOfBounds) {
  TRTPipeline rt(48000);
  std::vector<float> ch(8, 1.0f);
  rt.StartSweep();
  EXPECT_FALSE(rt.ProcessSweepBlock(ch, 8));  // no sweep loaded: silence and idle
  EXPECT_EQ(ch, std::vector<float>(8, 0.0f));
  EXPECT_FALSE(rt.SweepActive());

  rt.LoadSweep(std::make_shared<std::vector<float>>(20, 0.25f));
  rt.StartSweep();
  std::vector<float> shortCh(4, 0.0f);
  EXPECT_TRUE(rt.ProcessSweepBlock(shortCh, 1024));  // clamped to the 4 samples there are
  EXPECT_EQ(shortCh, std::vector<float>(4, 0.25f));
}

// A sweep replaced while another thread keeps calling the playback: the replacement waits for the
// block in flight, and every block the player sees comes wholly from one sweep.
TEST(SweepPlayback, LoadingWhilePlayingNeverMixesOrFreesBuffers) {
  TRTPipeline rt(48000);
  std::atomic<bool> stop{false};
  std::atomic<int> mixed{0};
  std::thread player([&] {
    std::vector<float> ch(64);
    while (!stop.load()) {
      if (rt.ProcessSweepBlock(ch, 64)) {
        const float first = ch[0];
        for (float v : ch)
          if (v != first && v != 0.0f) mixed.fetch_add(1);
      }
    }
  });
  for (int k = 1; k <= 100; ++k) {
    rt.LoadSweep(std::make_shared<std::vector<float>>(640, static_cast<float>(k)));
    rt.StartSweep();
    std::this_thread::yield();
  }
  stop.store(true);
  player.join();
  EXPECT_EQ(mixed.load(), 0);
}

TEST(SweepRecorder, TenSamplesFedBlocksOfFourDropTheOverflow) {
  TSweepRecorder rec(10);
  EXPECT_EQ(rec.GetBuffer(), std::vector<float>(10, 0.0f));
  const std::vector<float> b1{1, 2, 3, 4}, b2{5, 6, 7, 8}, b3{9, 10, 11, 12};
  rec.ProcessASIOBlock(b1);
  rec.ProcessASIOBlock(b2);
  EXPECT_EQ(rec.WriteIndex(), 8);
  rec.ProcessASIOBlock(b3);
  EXPECT_EQ(rec.WriteIndex(), 10);
  rec.ProcessASIOBlock(b1);
  EXPECT_EQ(rec.WriteIndex(), 10);
  EXPECT_EQ(rec.GetBuffer(), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

  rec.Reset();
  EXPECT_EQ(rec.WriteIndex(), 0);
  EXPECT_EQ(rec.GetBuffer(), std::vector<float>(10, 0.0f));
  rec.ProcessASIOBlock(b1);
  EXPECT_EQ(rec.GetBuffer(), (std::vector<float>{1, 2, 3, 4, 0, 0, 0, 0, 0, 0}));  // zero tail kept
  EXPECT_EQ(rec.Length(), 10);
  EXPECT_EQ(TSweepRecorder(-3).Length(), 0);
}

TEST(BandSet, RangesSelectTablesAndFractions) {
  TRTPipeline rt(48000);
  EXPECT_EQ(rt.BandCenters(), TRTPipeline::RT60_IECOctaveCenters_Default());
  EXPECT_EQ(rt.BandFraction(), 1);
  struct Case { int range; std::size_t bands; int fq; float first, last; };
  for (const Case c : {Case{0, 6, 1, 125, 4000}, Case{1, 8, 1, 63, 8000}, Case{2, 18, 3, 100, 5000},
                       Case{3, 24, 3, 50, 10000}, Case{7, 6, 1, 125, 4000}, Case{-1, 6, 1, 125, 4000}}) {
    EXPECT_EQ(rt.RT60_SetOctaveCenterFrequencies(c.range), static_cast<std::int32_t>(c.bands)) << c.range;
    EXPECT_EQ(rt.BandFraction(), c.fq);
    EXPECT_EQ(rt.RT60_GetCenterFrequency(0), c.first);
    EXPECT_EQ(rt.RT60_GetCenterFrequency(static_cast<std::int32_t>(c.bands) - 1), c.last);
    EXPECT_EQ(rt.RT60_GetCenterFrequency(static_cast<std::int32_t>(c.bands)), 0.0f);
    EXPECT_EQ(rt.RT60_GetCenterFrequency(-1), 0.0f);
  }
  rt.RT60_SetOctaveCenterFrequencies(3);
  EXPECT_EQ(rt.RT60_GetCenterFrequency(8), 315.0f);  // nominal values as they stand
}
