#include "audio/TASIOHost.h"
#include "audio/TVirtualInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {
TVirtualRoomConfig Stepped(const std::string& Text = "") {
  TVirtualRoomConfig c;
  c.Apply(Text);
  c.Clock = TVirtualClock::Stepped;
  return c;
}
}  // namespace

TEST(ASIOHost, VirtualInterfaceComesFirstAndDescribesItself) {
  TASIOHost host;
  ASSERT_FALSE(host.DriverList().empty());
  EXPECT_EQ(host.DriverList()[0], "Virtual interface");
  EXPECT_EQ(host.DriverIndex(), -1);
  EXPECT_EQ(host.CanSampleRate(48000), 1);
  host.SetVirtualRoom(Stepped("inputs=10;outputs=3;block=512;block_min=256;block_max=4096;rates=44100,96000"));
  host.SetDriverIndex(0);
  EXPECT_EQ(host.DriverName(), "Virtual interface");
  EXPECT_EQ(host.InputChannelCount(), 10);
  EXPECT_EQ(host.OutputChannelCount(), 3);
  EXPECT_EQ(host.BufferSize(), 512);
  EXPECT_EQ(host.BufferMinimum(), 256);
  EXPECT_EQ(host.BufferMaximum(), 4096);
  EXPECT_EQ(host.CanSampleRate(48000), 1);
  EXPECT_EQ(host.CanSampleRate(96000), 0);
  EXPECT_EQ(host.SupportedSampleRates(), (std::vector<int>{44100, 96000}));
  EXPECT_THROW(host.SetSampleRate(48000), TASIOHostError);
  host.SetSampleRate(96000);
  EXPECT_EQ(host.SampleRate(), 96000);
  host.SetBufferSize(10);
  EXPECT_EQ(host.BufferSize(), 256);
  EXPECT_THROW(host.SetDriverIndex(static_cast<int>(host.DriverList().size())), TASIOHostError);
}

TEST(ASIOHost, BadRoomSettingsAreReportedWhenTheVirtualInterfaceIsChosen) {
  ::setenv("VEMRA_VIRTUAL_ROOM", "rt60=fast", 1);
  TASIOHost host;
  ::unsetenv("VEMRA_VIRTUAL_ROOM");
  try {
    host.SetDriverIndex(0);
    FAIL() << "accepted";
  } catch (const TASIOHostError& e) {
    EXPECT_NE(std::string(e.what()).find("rt60=fast"), std::string::npos);
  }
  EXPECT_EQ(host.DriverIndex(), -1);
}

TEST(ASIOHost, SteppedBlocksReachTheHandlerAndLoopOutputOneToTheInputs) {
  TASIOHost host;
  host.SetVirtualRoom(Stepped("inputs=3;outputs=2;block=256;latency=0;noise=off;tail=-99;gain=-6"));
  host.SetDriverIndex(0);
  int calls = 0;
  std::vector<float> heard;
  host.OnBufferSwitch32 = [&](TASIOHost& sender, std::span<const float* const> in, std::span<float* const> out,
                              int frames) {
    EXPECT_EQ(&sender, &host);
    EXPECT_EQ(in.size(), 3u);
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(frames, 256);
    heard.insert(heard.end(), in[2], in[2] + frames);
    if (calls == 0) out[0][10] = 1.0f;
    ++calls;
  };
  host.OpenDriver();
  host.SetActive(true);
  EXPECT_TRUE(host.Active());
  ASSERT_EQ(host.VirtualInterface()->RunBlocks(3), 3);
  host.SetActive(false);
  EXPECT_EQ(host.VirtualInterface()->RunBlocks(1), 0);
  EXPECT_EQ(calls, 3);
  // Played in block 0, heard in block 1 at the same position, at the room's gain.
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_NEAR(heard[i], i == 256 + 10 ? 0.501187f : 0.0f, 1e-4f) << i;
  }
  EXPECT_TRUE(host.StreamError().empty());
}

TEST(ASIOHost, RealTimeThreadStopsBeforeSetActiveFalseReturns) {
  TASIOHost host;
  TVirtualRoomConfig c;
  c.Apply("block=128;rt60=0.2");
  host.SetVirtualRoom(c);
  host.SetDriverIndex(0);
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  host.OnBufferSwitch32 = [&](TASIOHost&, std::span<const float* const>, std::span<float* const>, int) {
    inside.store(true);
    calls.fetch_add(1);
    inside.store(false);
  };
  host.SetActive(true);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (calls.load() < 5 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  host.SetActive(false);
  const int after = calls.load();
  EXPECT_GE(after, 5);
  EXPECT_FALSE(inside.load());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(calls.load(), after);
  host.CloseDriver();
  EXPECT_FALSE(host.DriverOpen());
}
