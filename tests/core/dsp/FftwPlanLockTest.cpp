#include "audio/TPartitionedConvolver.h"
#include "audio/TVirtualRoom.h"
#include "room/uRT60Complete.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

// Everything in the program that makes FFT plans does so under one lock: the virtual room and its
// convolver may be built on one thread while the room analysis convolves on another. Without the shared
// lock FFTW's planner is corrupted within a few hundred plans (heap corruption, a crash of this test).
TEST(FftwPlanLock, PlanningOnTwoThreadsAtOnce) {
  std::thread convolvers([] {
    std::vector<float> response(3000, 0.0f);
    response[7] = 1.0f;
    for (int k = 0; k < 400; ++k) {
      const int block = 64 + (k * 37) % 1500;  // a new size nearly every time: FFTW plans afresh
      TPartitionedConvolver c(response, block);
      EXPECT_EQ(c.BlockLength(), block);
    }
  });
  std::thread rooms([] {
    TVirtualRoomConfig config;
    config.RT60 = 0.05;
    config.OctaveRT60[1000] = 0.06;  // per-band tails take the planner as well
    for (int k = 0; k < 40; ++k) {
      const TVirtualRoom room(config, 8000.0 + 10.0 * k, 64 + k);
      EXPECT_FALSE(room.ImpulseResponse().empty());
    }
  });
  TRTPipeline rt(48000.0f);
  for (int k = 0; k < 300; ++k) {
    // Lengths cycling over eight powers of two, more than the pipeline keeps plans for.
    const std::size_t n = std::size_t{100} << (k % 8);
    std::vector<float> a(n, 0.0f), b(3, 0.0f);
    a[1] = 1.0f;
    b[0] = 0.5f;
    const std::vector<float> y = rt.ConvolveFFT(a, b);
    ASSERT_EQ(y.size(), n);
    EXPECT_NEAR(y[1], 1.0f, 1e-5f);  // normalised to the peak
  }
  convolvers.join();
  rooms.join();
}
