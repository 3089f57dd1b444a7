#include "dsp/RTAEngineIEC1.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

// The level engine fed on one thread and read, reset and re-weighted from another at the same time
// (run under ThreadSanitizer in CI). A steady signal makes every delivered readout predictable: an
// RMS interval taken apart from its sample count, or sliding sums from two different pushes, would
// show up as a wrong level.
TEST(RTAEngineHandoff, ReadoutsWhileBlocksRun) {
  constexpr float kFs = 48000;
  constexpr int kBlock = 480;
  TRTAEngineIEC1 e(kFs, 3);
  e.SetLeqWindowSec(1);
  e.SetWeigthing(fwZ, kBlock);
  const std::vector<float> dc(kBlock, 0.5f);  // mean square 0.25: -6.02 dB
  const float level = 10 * std::log10(0.25f);

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    int skip = 0;
    while (!stop.load()) {
      e.ProcessBlock(dc, skip);
      blocks.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));  // the rest of a block period
    }
  });

  int rms = 0, sliding = 0, leq = 0, refused = 0;
  for (int round = 1; round <= 3000 || blocks.load() < 100; ++round) {
    float v = 0;
    if (e.GetWeightingValue(exRMS, 0, v)) {
      if (v > -600.0f) {
        EXPECT_NEAR(v, level, 1e-3);
        ++rms;
      }
    } else {
      ++refused;
    }
    if (e.GetWeightingValue(exLeqSliding, 0, v)) {
      if (v != -120.0f) {
        EXPECT_NEAR(v, level, 1e-3);
        ++sliding;
      }
    }
    if (e.GetWeightingValue(exLeq, 0, v)) {
      EXPECT_LT(v, 0.0f);
      ++leq;
    }
    if (e.GetWeightingValue(exPeak, 0, v)) {
      EXPECT_LE(v, level + 1e-3f);
    }
    switch (round % 50) {
      case 10: e.RequestResetLeqRMSPeak(0); break;
      case 20: e.RequestWeigthing(fwZ, kBlock); break;
      case 30: e.SetTimeWeight(twSlow); break;
      case 40: e.SetTimeWeight(twFast); break;
      default: break;
    }
    std::this_thread::yield();
  }
  stop.store(true);
  audio.join();
  EXPECT_GT(rms, 0);
  EXPECT_GT(sliding, 0);
  EXPECT_GT(leq, 0);
  e.ApplyPendingRequests();
  float v = 0;
  ASSERT_TRUE(e.GetWeightingValue(exLeqSliding, 0, v));
  RecordProperty("refused", refused);
}
