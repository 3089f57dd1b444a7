#include "audio/TAudioDispatcher.h"

#include "audio/TASIOHost.h"

#include <algorithm>
#include <cmath>

TAudioDispatcher::TAudioDispatcher(std::atomic<std::int32_t>& SignalState, float SampleRate)
    : Pnoise_Testsignal(SignalState), RT(std::make_unique<TRTPipeline>(SampleRate)) {
  for (std::size_t k = 0; k < ChannelInputMap.size(); ++k) {
    ChannelInputMap[k].store(static_cast<std::uint8_t>(k), std::memory_order_relaxed);
  }
  FSine.SampleRate = SampleRate;
}

void TAudioDispatcher::AttachTo(TASIOHost& Host) {
  Host.OnBufferSwitch32 = [this](TASIOHost&, std::span<const float* const> In, std::span<float* const> Out,
                                 int Frames) { AsioHostBufferSwitch32(In, Out, Frames); };
}

void TAudioDispatcher::CreateEngines(float SampleRate, int BandsPerOctave, TRTATimeWeight TimeWeight, int Count) {
  for (auto& e : RTAEngineIEC1) e.reset();
  Count = std::clamp(Count, 1, MaxActiveChannels);
  for (int k = 0; k < Count; ++k) {
    RTAEngineIEC1[static_cast<std::size_t>(k)] = std::make_unique<TRTAEngineIEC1>(SampleRate, BandsPerOctave);
    RTAEngineIEC1[static_cast<std::size_t>(k)]->SetTimeWeight(TimeWeight);
  }
  const auto centres = RTAEngineIEC1[0]->CenterFreqs();
  BandCentres.assign(centres.begin(), centres.end());
  BandLevels.assign(static_cast<std::size_t>(Count), std::vector<float>(centres.size(), -120.0f));
}

void TAudioDispatcher::PrepareBuffers(int BufferSize, int ChannelCountIn, float SampleRate, float FloorLevel) {
  FBufferSize = std::max(BufferSize, 1);
  FChannelCountIn = std::clamp(ChannelCountIn, 0, MaxInputs);
  const std::size_t n = static_cast<std::size_t>(FBufferSize);
  InputBlocks.assign(MaxInputs, std::vector<float>(n, 0.0f));
  GeneratorBlock.assign(1, std::vector<float>(2 * n, 0.0f));
  for (auto& p : InputPeaks) p.store(0.0f, std::memory_order_relaxed);
  FSine.SampleRate = SampleRate;
  FSine.BlockSize = FBufferSize;
  FSine.ToneFlavor = tfSine;
  for (auto& levels : BandLevels) std::fill(levels.begin(), levels.end(), FloorLevel);
}

void TAudioDispatcher::RequestMeasuredChannel(int Channel) {
  Channel = std::clamp(Channel, 0, MaxActiveChannels - 1);
  for (auto& e : RTAEngineIEC1) {
    if (e) e->RequestReset();
  }
  byASIOMesskanalStart.store(static_cast<std::uint8_t>(Channel), std::memory_order_release);
}

void TAudioDispatcher::RequestWeighting(TFreqWeighting Weighting) {
  for (auto& e : RTAEngineIEC1) {
    if (e) e->RequestWeigthing(Weighting, FBufferSize);
  }
}

void TAudioDispatcher::SetTimeWeight(TRTATimeWeight TimeWeight) {
  for (auto& e : RTAEngineIEC1) {
    if (e) e->SetTimeWeight(TimeWeight);
  }
}

void TAudioDispatcher::AsioHostBufferSwitch32(std::span<const float* const> InBuffer,
                                              std::span<float* const> OutBuffer, int Frames) {
  FBlockCount.fetch_add(1, std::memory_order_relaxed);
  if (Frames <= 0) return;
  const std::size_t n = static_cast<std::size_t>(Frames);
  if (Frames > FBufferSize || GeneratorBlock.empty()) {
    // More samples than the buffers were made for (or nothing prepared): play silence, touch nothing.
    FOversized.fetch_add(1, std::memory_order_relaxed);
    for (float* out : OutBuffer) std::fill(out, out + n, 0.0f);
    return;
  }

  // The signal state is read once; the callback's own transitions are collected in `state` and
  // written back at the end, unless the user interface has changed the state meanwhile.
  const std::int32_t s = Pnoise_Testsignal.load(std::memory_order_acquire);
  std::int32_t state = s;
  std::uint32_t post[4];
  int posts = 0;

  // 1. Measured channel and its input.
  const std::size_t m =
      std::min<std::size_t>(byASIOMesskanalStart.load(std::memory_order_acquire), MaxActiveChannels - 1);
  const std::size_t i = std::min<std::size_t>(ChannelInputMap[m].load(std::memory_order_relaxed), MaxInputs - 1);

  // 3. Tail bookkeeping.
  std::int32_t tail = TailBlocks.load(std::memory_order_relaxed);
  if (s <= -10) {
    state = -1;
  } else {
    tail = -1;
  }

  // 4.-7. The generator block.
  std::vector<float>& gen = GeneratorBlock.front();
  if (s == 3 && !RT->ProcessSweepBlock(GeneratorBlock, Frames)) tail = RoomTailBlocks(Frames);
  if (s == 5 && !RT->ProcessSweepBlock(GeneratorBlock, Frames)) tail = 0;
  if (s == 2) FSine.ProcessBlock(std::span<float>(gen.data(), n));
  if (s == 1) pinknoiseA.ProcessBlock(GeneratorBlock, Frames);

  // 8. Inputs, peaks and output channel 0.
  const std::size_t inputs = std::min<std::size_t>(static_cast<std::size_t>(FChannelCountIn), InBuffer.size());
  float peaks[MaxInputs] = {};
  for (std::size_t k = 0; k < inputs; ++k) {
    const float* in = InBuffer[k];
    float* copy = InputBlocks[k].data();
    float peak = 0.0f;
    for (std::size_t j = 0; j < n; ++j) {
      copy[j] = in[j];
      peak = std::max(peak, std::fabs(in[j]));
    }
    peaks[k] = peak;
  }
  for (std::size_t k = 0; k < static_cast<std::size_t>(FChannelCountIn); ++k) {
    InputPeaks[k].store(peaks[k], std::memory_order_relaxed);
  }
  // 9. Every output carries channel 0's samples (s > 0) or silence.
  if (!OutBuffer.empty()) {
    float* out0 = OutBuffer[0];
    if (s > 0) {
      const float amp = dbAmpPink.load(std::memory_order_relaxed);
      for (std::size_t j = 0; j < n; ++j) out0[j] = gen[j] * amp;
    } else {
      std::fill(out0, out0 + n, 0.0f);
    }
    for (std::size_t k = 1; k < OutBuffer.size(); ++k) std::copy(out0, out0 + n, OutBuffer[k]);
  }

  // 10. Recording section.
  const std::span<const float> measured(InputBlocks[i].data(), n);
  if (s < 5) {
    if (tail >= 0) {
      if (SweepRecorder) SweepRecorder->ProcessASIOBlock(measured);
      state = -99;
      if (tail == 0) {
        post[posts++] = WM_ROOM_RECORDING_DONE;
        state = -1;
        tail = -1;
      }
    } else if (s == 3 || s == 4) {
      if (SweepRecorder) SweepRecorder->ProcessASIOBlock(measured);
      state = 3;
    }
    if (tail > 0) --tail;
  }
  // 11. End of a generator sweep.
  if (s == 5 && tail == 0) {
    state = -1;
    post[posts++] = WM_GENERATOR_SWEEP_ENDED;
  }
  // 12. Room level meter.
  if (s == 3 || s == 4) post[posts++] = WM_ROOM_LEVEL_METER;

  TailBlocks.store(tail, std::memory_order_relaxed);
  if (state != s) {
    std::int32_t expected = s;
    Pnoise_Testsignal.compare_exchange_strong(expected, state, std::memory_order_acq_rel);
  }
  for (int p = 0; p < posts; ++p) Messages.Post(post[p]);

  // 13. The measured channel's engine; it lowers the skip count by one while it is positive.
  TRTAEngineIEC1* engine = RTAEngineIEC1[m].get();
  if (engine == nullptr) return;
  int skip = SkipBlocks.load(std::memory_order_relaxed);
  engine->ProcessBlock(measured, skip);
  // 14. Skip once more, or hand the band levels over if the display asked for them.
  if (skip > 0) {
    --skip;
  } else if (BandDataRequested.load(std::memory_order_acquire) && m < BandLevels.size()) {
    engine->GetBandData(BandCentres, BandLevels[m]);
    BandDataRequested.store(false, std::memory_order_release);
    Messages.Post(WM_BANDLEVELS_READY, static_cast<std::int32_t>(m));
  }
  SkipBlocks.store(skip, std::memory_order_relaxed);
}

std::int32_t TAudioDispatcher::RoomTailBlocks(int Frames) const {
  const std::int64_t minimum = TailSamples / Frames;
  if (!SweepRecorder) return static_cast<std::int32_t>(minimum);
  // This block and `tail` more are recorded: enough of them to fill what the recorder has left.
  const std::int64_t left = std::int64_t{SweepRecorder->Length()} - SweepRecorder->WriteIndex();
  const std::int64_t untilFull = (left + Frames - 1) / Frames - 1;
  return static_cast<std::int32_t>(std::max(minimum, untilFull));
}
