#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

// The virtual interface runs freely on its own thread while this thread plays the display: it sleeps on
// the queue's descriptor, reads each frame of band levels in its 0x464 handler, asks for the next one,
// reads the broadband values and changes settings in the middle of the stream. ThreadSanitizer checks
// the hand-off in CI.
TEST(AudioHandoff, DisplayThreadReadsFramesAndChangesSettingsWhileStreaming) {
  std::atomic<std::int32_t> signal{0};
  TAudioDispatcher d(signal);
  TASIOHost host;
  TVirtualRoomConfig room;
  room.Apply("inputs=4;block=1024;noise=-90;tail=-99;latency=0;gain=0");
  room.Clock = TVirtualClock::FreeRunning;
  host.SetVirtualRoom(room);
  host.SetDriverIndex(0);
  host.SetSampleRate(48000);
  host.OpenDriver();
  d.AttachTo(host);
  d.CreateEngines(48000.0f, 3, twFast);
  d.PrepareBuffers(host.BufferSize(), host.InputChannelCount(), 48000.0f, -120.0f);
  for (auto& e : d.RTAEngineIEC1) e->SetWeigthing(fwZ, host.BufferSize());
  d.FSine.SetFrequency(1000);
  d.dbAmpPink = 0.5f;
  signal = 2;
  d.BandDataRequested = true;
  host.SetActive(true);

  int frames = 0, channel = 0, readouts = 0;
  std::uint64_t settledFrom = 0;
  float band1k = -200.0f;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!d.Messages.WaitForMessages(200)) continue;
    d.Messages.AcknowledgeWakeup();
    while (auto msg = d.Messages.Pop()) {
      if (msg->Msg != WM_BANDLEVELS_READY) continue;
      ASSERT_FALSE(d.BandDataRequested.load(std::memory_order_acquire));
      const auto& levels = d.BandLevels[static_cast<std::size_t>(msg->WParam)];
      for (float l : levels) ASSERT_TRUE(std::isfinite(l) && l >= -200.0f && l < 10.0f);
      if (msg->WParam == channel) band1k = levels[17];
      ++frames;
      float v = 0;
      if (d.RTAEngineIEC1[static_cast<std::size_t>(channel)]->GetWeightingValue(exRMS, 0.0f, v)) ++readouts;
      switch (frames) {  // settings the user changes while the analyzer runs
        case 5: d.RequestWeighting(fwA); break;
        case 10: d.SetTimeWeight(twImpulse); break;
        case 15:
          d.ChannelInputMap[1] = 2;
          d.RequestMeasuredChannel(1);
          channel = 1;
          break;
        case 20: d.RequestWeighting(fwA); break;  // the reset above returned the engines to Z
        case 25:
          for (auto& e : d.RTAEngineIEC1)
            if (e) e->RequestReset();
          d.RequestWeighting(fwA);
          break;
        default: break;
      }
      if (frames == 25) settledFrom = d.BlockCount() + 50;
      d.BandDataRequested.store(true, std::memory_order_release);
    }
    if (settledFrom != 0 && d.BlockCount() > settledFrom && frames > 40) break;
  }
  host.SetActive(false);
  ASSERT_GT(frames, 40) << "frames stopped arriving";
  EXPECT_GT(readouts, 0);
  EXPECT_EQ(d.Messages.DroppedCount(), 0u);
  // Input 3 hears the sine of amplitude 0.5: mean square 0.125 = -9.03 dB in the 1 kHz band (A: 0 dB).
  EXPECT_NEAR(d.InputPeaks[2].load(), 0.5f, 0.01f);
  EXPECT_NEAR(band1k, -9.03f, 0.3f);
  EXPECT_EQ(d.RTAEngineIEC1[1]->Weighting(), fwA);
  EXPECT_EQ(d.RTAEngineIEC1[1]->TimeWeight(), twImpulse);
}
