#include <gtest/gtest.h>

#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "audio/TVirtualInterface.h"
#include "room/TRT60Measurement.h"

namespace {

// One measurement on the stepped virtual interface, run to its end the way the room window does:
// every message of the callback goes to the measurement's handler.
struct TRig {
  TASIOHost Host;
  std::atomic<std::int32_t> Signal{0};
  TAudioDispatcher D{Signal, 48000.0f};
  std::unique_ptr<TRT60Model> Model;
  std::unique_ptr<TRT60Measurement> Run;
  int Blocks = 0;

  explicit TRig(const std::string& Room) {
    TVirtualRoomConfig c;
    c.Apply(Room);
    c.Clock = TVirtualClock::Stepped;
    Host.SetVirtualRoom(c);
    Host.SetDriverIndex(0);
    Host.SetSampleRate(48000);
    Host.OpenDriver();
    D.AttachTo(Host);
    D.CreateEngines(48000.0f, 3, twFast, 1);
    D.PrepareBuffers(Host.BufferSize(), Host.InputChannelCount(), 48000.0f, -120.0f);
    Model = std::make_unique<TRT60Model>(*D.RT);
    Run = std::make_unique<TRT60Measurement>(Host, D, *Model);
  }
  void Measure() {
    Run->Start(-6);
    while (!Run->Finished() && Blocks < 100000) {
      Host.VirtualInterface()->RunBlocks(1);
      ++Blocks;
      while (const auto m = D.Messages.Pop()) Run->HandleMessage(*m);
    }
  }
};

}  // namespace

TEST(RT60Measurement, RecordsPreRollSweepAndTailThenAdds) {
  TRig rig("rt60=0.5;block=1024;noise=-80;inputs=2");
  rig.Model->Messkanal = 1;
  rig.Measure();
  ASSERT_TRUE(rig.Run->Finished());
  EXPECT_EQ(rig.Run->Result().Kind, TRT60MeasurementResult::Added) << rig.Run->Result().Message;
  EXPECT_EQ(rig.Run->SweepSeconds(), 7);
  EXPECT_EQ(rig.Run->SweepStartHz(), 80);
  EXPECT_EQ(rig.Run->SweepStopHz(), 6000);
  // 1 pre-roll block, ceil(336000 / 1024) = 329 sweep blocks, the block in which it ended, then tail
  // blocks until the recorder of twice the sweep (672000 samples) is full: 326 more.
  EXPECT_EQ(rig.Blocks, 1 + 329 + 1 + 326);
  EXPECT_EQ(rig.Run->RecordedSamples(), rig.Run->ExpectedSamples());
  EXPECT_EQ(rig.Run->ExpectedSamples(), 2 * 336000);
  EXPECT_FALSE(rig.Host.Active());
  EXPECT_EQ(rig.Signal.load(), 0);
  ASSERT_EQ(rig.Model->MeasurementCount(), 1);
  EXPECT_EQ(rig.Model->Messdaten()[1].stTExt, "Room A MicIn:2");
  EXPECT_NEAR(rig.Model->Average().T20_sec, 0.5, 0.5 * 0.05);
  EXPECT_EQ(rig.Model->Messdaten()[1].SweepIRBand, rig.Run->ImpulseResponse());
  EXPECT_TRUE(rig.Model->MeasurementsUnsaved);
}

TEST(RT60Measurement, NoisyInputIsRefusedAndAddsNothing) {
  TRig rig("rt60=0.5;block=512;noise=-25");
  rig.Model->SetRoomType(Room_Klassenzimmer);  // 10 s sweep
  rig.Measure();
  ASSERT_TRUE(rig.Run->Finished());
  EXPECT_EQ(rig.Run->SweepSeconds(), 10);
  EXPECT_EQ(rig.Run->Result().Kind, TRT60MeasurementResult::Refused);
  EXPECT_EQ(rig.Run->Result().Message.rfind("Delta = (Signal - Noise floor) to low.", 0), 0u);
  EXPECT_LT(rig.Run->Result().LevelMax - rig.Run->Result().LevelMin, 30);
  EXPECT_EQ(rig.Model->MeasurementCount(), 0);
  EXPECT_TRUE(rig.Run->ImpulseResponse().empty());
}
