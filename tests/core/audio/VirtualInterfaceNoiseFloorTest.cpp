#include <gtest/gtest.h>

#include <cmath>

#include "audio/TASIOHost.h"
#include "audio/TVirtualInterface.h"

// A room measurement judges the level range from the very first block (the pre-roll before the sweep),
// so that block must already carry the interface's noise floor, on every start.
TEST(VirtualInterface, FirstBlockAfterEachStartCarriesTheNoiseFloor) {
  TASIOHost host;
  TVirtualRoomConfig c;
  c.Apply("inputs=2;block=1024;noise=-40;rt60=0.3");
  c.Clock = TVirtualClock::Stepped;
  host.SetVirtualRoom(c);
  host.SetDriverIndex(0);
  std::vector<double> rms;
  host.OnBufferSwitch32 = [&](TASIOHost&, std::span<const float* const> in, std::span<float* const>, int frames) {
    for (const float* ch : in) {
      double e = 0;
      for (int j = 0; j < frames; ++j) e += static_cast<double>(ch[j]) * ch[j];
      rms.push_back(std::sqrt(e / frames));
    }
  };
  host.OpenDriver();
  for (int start = 0; start < 2; ++start) {
    rms.clear();
    host.SetActive(true);
    ASSERT_EQ(host.VirtualInterface()->RunBlocks(1), 1);
    host.SetActive(false);
    ASSERT_EQ(rms.size(), 2u);
    for (double r : rms) EXPECT_NEAR(20 * std::log10(r), -40.0, 0.5) << "start " << start;
  }
}
