#include "audio/TAudioDispatcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// A dispatcher with four 1/3-octave engines, fed block by block from the test thread.
class Dispatcher : public ::testing::Test {
protected:
  void Prepare(int N, int Inputs = 4, int Outputs = 2) {
    Block = N;
    D.CreateEngines(48000.0f, 3, twFast);
    D.PrepareBuffers(N, Inputs, 48000.0f, -120.0f);
    for (auto& e : D.RTAEngineIEC1) e->SetWeigthing(fwZ, N);
    In.assign(static_cast<std::size_t>(Inputs), std::vector<float>(static_cast<std::size_t>(N), 0.0f));
    Out.assign(static_cast<std::size_t>(Outputs), std::vector<float>(static_cast<std::size_t>(N), 0.0f));
  }
  // Runs one block; returns the messages it posted, in order.
  std::vector<std::uint32_t> Run() {
    std::vector<const float*> in;
    std::vector<float*> out;
    for (auto& c : In) in.push_back(c.data());
    for (auto& c : Out) out.push_back(c.data());
    D.AsioHostBufferSwitch32(in, out, Block);
    std::vector<std::uint32_t> msgs;
    while (auto m = D.Messages.Pop()) msgs.push_back(m->Msg);
    return msgs;
  }
  static int Count(const std::vector<std::uint32_t>& Msgs, std::uint32_t Id) {
    return static_cast<int>(std::count(Msgs.begin(), Msgs.end(), Id));
  }

  std::atomic<std::int32_t> Signal{0};
  TAudioDispatcher D{Signal};
  int Block = 0;
  std::vector<std::vector<float>> In, Out;
};

}  // namespace

TEST_F(Dispatcher, OutputsAreSilentWhenNoSignalIsOn) {
  Prepare(256, 2, 3);
  D.dbAmpPink = 1.0f;
  for (std::int32_t state : {0, -1, -5, -99}) {
    Signal = state;
    std::fill(D.GeneratorBlock[0].begin(), D.GeneratorBlock[0].end(), 0.7f);
    for (auto& c : Out) std::fill(c.begin(), c.end(), 3.0f);
    Run();
    for (const auto& c : Out) {
      for (float x : c) ASSERT_EQ(x, 0.0f) << "state " << state;
    }
  }
  // -99 without a running tail falls back to idle.
  EXPECT_EQ(Signal.load(), -1);
}

TEST_F(Dispatcher, SineAtHalfAmplitudeOnEveryOutput) {
  Prepare(1000, 1, 4);
  D.FSine.SetFrequency(1000);
  D.dbAmpPink = 0.5f;
  Signal = 2;
  for (int b = 0; b < 3; ++b) {
    Run();
    for (int j = 0; j < Block; ++j) {
      const double t = static_cast<double>(b * Block + j) / 48000.0;
      ASSERT_NEAR(Out[0][static_cast<std::size_t>(j)], 0.5 * std::sin(2 * std::numbers::pi * 1000 * t), 1e-5);
    }
    for (std::size_t k = 1; k < Out.size(); ++k) EXPECT_EQ(Out[k], Out[0]);
  }
  EXPECT_EQ(Signal.load(), 2);
}

TEST_F(Dispatcher, PinkNoiseIsScaledByTheOutputFactor) {
  Prepare(512, 1, 2);
  TPinkNoiseGeneratorA twin(-1.0);
  D.dbAmpPink = 0.25f;
  Signal = 1;
  Run();
  for (std::size_t j = 0; j < 512; ++j) {
    ASSERT_FLOAT_EQ(Out[0][j], static_cast<float>(twin.GetSample()) * 0.25f);
    ASSERT_EQ(Out[1][j], Out[0][j]);
  }
}

TEST_F(Dispatcher, RoomMeasurementRecordsPreRollSweepAndTail) {
  Prepare(1024);
  const TSweepBuffer sweep = D.RT->GenerateLogSweep_RTA(100.0f, 10000.0f, 0.5f);  // 24000 samples
  ASSERT_EQ(sweep->size(), 24000u);
  D.RT->LoadSweep(sweep);
  D.RT->StartSweep();
  D.SweepRecorder = std::make_unique<TSweepRecorder>(static_cast<std::int32_t>(2 * sweep->size()));
  D.ChannelInputMap[0] = 2;  // Ch1 measures input 3
  D.dbAmpPink = 0.5f;
  Signal = 4;

  int blocks = 0, meter = 0, done = 0, doneBlock = 0;
  std::vector<float> expected;
  std::vector<float> played;
  while (done == 0 && blocks < 100) {
    for (int j = 0; j < Block; ++j) In[2][static_cast<std::size_t>(j)] = static_cast<float>(blocks) + j * 1e-4f;
    const auto msgs = Run();
    ++blocks;
    expected.insert(expected.end(), In[2].begin(), In[2].end());
    played.insert(played.end(), Out[0].begin(), Out[0].end());
    meter += Count(msgs, WM_ROOM_LEVEL_METER);
    done += Count(msgs, WM_ROOM_RECORDING_DONE);
    if (done) doneBlock = blocks;
  }
  // 1 pre-roll block, 24 blocks with sweep samples, the silent block that ends the sweep, then tail
  // blocks until the recorder of 48000 samples is full: 47 blocks, of which the last fits 896 samples.
  const int recordedBlocks = 1 + 24 + 1 + 21;
  EXPECT_EQ(done, 1);
  EXPECT_EQ(doneBlock, recordedBlocks);
  EXPECT_EQ(meter, 1 + 24 + 1);
  EXPECT_EQ(Signal.load(), -1);
  EXPECT_EQ(D.TailBlocks.load(), -1);
  ASSERT_EQ(D.SweepRecorder->WriteIndex(), 48000);
  const auto& rec = D.SweepRecorder->GetBuffer();
  ASSERT_EQ(rec.size(), 48000u);  // what the inputs delivered beyond the recorder is dropped
  for (std::size_t j = 0; j < rec.size(); ++j) ASSERT_EQ(rec[j], expected[j]) << j;
  // The sweep is played from the second block on, at the output factor.
  for (std::size_t j = 0; j < 1024; ++j) ASSERT_EQ(played[j], 0.0f);
  for (std::size_t j = 0; j < sweep->size(); ++j) ASSERT_FLOAT_EQ(played[1024 + j], 0.5f * (*sweep)[j]) << j;
  // Nothing more happens afterwards.
  const auto after = Run();
  EXPECT_EQ(Count(after, WM_ROOM_RECORDING_DONE) + Count(after, WM_ROOM_LEVEL_METER), 0);
  EXPECT_EQ(D.SweepRecorder->WriteIndex(), 48000);
}

// A recorder with little room left after the sweep still gets the minimum tail of 8192 samples' worth of
// blocks before the recording is reported complete.
TEST_F(Dispatcher, RoomTailLastsAtLeast8192Samples) {
  Prepare(1024);
  const TSweepBuffer sweep = D.RT->GenerateLogSweep_RTA(100.0f, 10000.0f, 0.5f);  // 24000 samples
  D.RT->LoadSweep(sweep);
  D.RT->StartSweep();
  D.SweepRecorder = std::make_unique<TSweepRecorder>(26 * 1024);  // pre-roll and sweep blocks only
  Signal = 4;
  int blocks = 0, done = 0;
  while (done == 0 && blocks < 100) {
    done += Count(Run(), WM_ROOM_RECORDING_DONE);
    ++blocks;
  }
  EXPECT_EQ(blocks, 1 + 24 + 1 + 8);
}

TEST_F(Dispatcher, GeneratorSweepEndsWithIdleAndMessageInTheFirstSilentBlock) {
  Prepare(1000);
  D.RT->LoadSweep(D.RT->GenerateLogSweep_RTA(200.0f, 2000.0f, 0.05f));  // 2400 samples: 3 blocks
  D.RT->StartSweep();
  D.dbAmpPink = 1.0f;
  Signal = 5;
  for (int b = 0; b < 3; ++b) {
    EXPECT_EQ(Count(Run(), WM_GENERATOR_SWEEP_ENDED), 0);
    EXPECT_EQ(Signal.load(), 5);
  }
  for (auto& c : Out) std::fill(c.begin(), c.end(), 1.0f);
  EXPECT_EQ(Count(Run(), WM_GENERATOR_SWEEP_ENDED), 1);
  EXPECT_EQ(Signal.load(), -1);
  for (const auto& c : Out) {
    for (float x : c) ASSERT_EQ(x, 0.0f);
  }
}

TEST_F(Dispatcher, SkipBlocksDelaysTheFirstHandOver) {
  // Start value -> block of the first 0x464 (each block lowers the count by up to two).
  for (auto [skip, first] : std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {4, 3}, {5, 3}, {8, 5}}) {
    Prepare(256);
    D.SkipBlocks = skip;
    D.BandDataRequested = true;
    int got = 0;
    for (int b = 1; b <= 8 && got == 0; ++b) {
      if (Count(Run(), WM_BANDLEVELS_READY) == 1) got = b;
    }
    EXPECT_EQ(got, first) << "SkipBlocks " << skip;
    EXPECT_EQ(D.SkipBlocks.load(), 0);
  }
}

TEST_F(Dispatcher, SkippedBlocksFollowTheInstantaneousBandPower) {
  Prepare(480);
  for (std::size_t j = 0; j < 480; ++j) In[0][j] = static_cast<float>(std::sin(2 * std::numbers::pi * 900 * j / 48000.0));
  // With SkipBlocks = 4 the engine sees a positive skip count in blocks 1 and 2 (4 and 2), then 0.
  TRTAEngineIEC1 skipped(48000.0f, 3), averaged(48000.0f, 3);
  skipped.SetTimeWeight(twFast);
  averaged.SetTimeWeight(twFast);
  D.SkipBlocks = 4;
  std::vector<float> centres(31), expect(31), plain(31);
  for (int b = 1; b <= 3; ++b) {
    int ignore = b < 3 ? 1 : 0, none = 0;
    skipped.ProcessBlock(In[0], ignore);
    averaged.ProcessBlock(In[0], none);
    const auto msgs = Run();
    EXPECT_EQ(Count(msgs, WM_BANDLEVELS_READY), b == 3 ? 1 : 0) << "block " << b;
  }
  skipped.GetBandData(centres, expect);
  averaged.GetBandData(centres, plain);
  EXPECT_EQ(D.BandLevels[0], expect);
  EXPECT_NE(D.BandLevels[0], plain);
  EXPECT_EQ(D.BandCentres, centres);
}

TEST_F(Dispatcher, NoNewFrameUntilTheDisplayAsksAgain) {
  Prepare(256);
  D.BandDataRequested = true;
  EXPECT_EQ(Count(Run(), WM_BANDLEVELS_READY), 1);
  EXPECT_FALSE(D.BandDataRequested.load());
  const std::vector<float> frame = D.BandLevels[0];
  In[0].assign(256, 0.5f);
  for (int b = 0; b < 20; ++b) EXPECT_EQ(Count(Run(), WM_BANDLEVELS_READY), 0);
  EXPECT_EQ(D.BandLevels[0], frame);  // untouched while the display owns it
  D.BandDataRequested = true;
  EXPECT_EQ(Count(Run(), WM_BANDLEVELS_READY), 1);
  EXPECT_NE(D.BandLevels[0], frame);
}

TEST_F(Dispatcher, OnlyTheMeasuredChannelIsFedAndHandedOver) {
  Prepare(256);
  for (std::size_t j = 0; j < 256; ++j) In[3][j] = (j % 2) ? 0.5f : -0.5f;
  D.ChannelInputMap[2] = 3;
  D.RequestMeasuredChannel(2);
  D.BandDataRequested = true;
  Run();
  EXPECT_GT(*std::max_element(D.BandLevels[2].begin(), D.BandLevels[2].end()), -60.0f);
  for (std::size_t c : {0u, 1u, 3u}) {
    for (float l : D.BandLevels[c]) ASSERT_EQ(l, -120.0f) << "channel " << c;
  }
}

TEST_F(Dispatcher, InputPeaksHoldTheLastBlockOnly) {
  Prepare(128, 3);
  In[1][5] = -0.9f;
  In[2][7] = 0.3f;
  Run();
  EXPECT_FLOAT_EQ(D.InputPeaks[0], 0.0f);
  EXPECT_FLOAT_EQ(D.InputPeaks[1], 0.9f);
  EXPECT_FLOAT_EQ(D.InputPeaks[2], 0.3f);
  In[1][5] = 0.2f;
  In[1][6] = -0.1f;
  In[2][7] = 0.0f;
  D.InputPeaks[0] = -99999.0f;  // the interface calibration marks its start like this
  Run();
  EXPECT_FLOAT_EQ(D.InputPeaks[0], 0.0f);
  EXPECT_FLOAT_EQ(D.InputPeaks[1], 0.2f);
  EXPECT_FLOAT_EQ(D.InputPeaks[2], 0.0f);
  EXPECT_EQ(D.InputBlocks[1], In[1]);
}

TEST_F(Dispatcher, BlockLongerThanPreparedPlaysSilence) {
  Prepare(128);
  Signal = 2;
  D.dbAmpPink = 1.0f;
  std::vector<float> in(256, 0.1f), out(256, 1.0f);
  const float* inPtr[1] = {in.data()};
  float* outPtr[1] = {out.data()};
  D.AsioHostBufferSwitch32(inPtr, outPtr, 256);
  EXPECT_EQ(D.OversizedBlocks(), 1u);
  for (float x : out) ASSERT_EQ(x, 0.0f);
}
