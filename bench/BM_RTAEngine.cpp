#include "dsp/PinkNoiseGenA.h"
#include "dsp/RTAEngineIEC1.h"

#include <benchmark/benchmark.h>

#include <span>
#include <vector>

// One analyzer channel fed with pink noise in 1024-sample blocks at 48 kHz.
// realtime_factor: seconds of audio processed per second of CPU time.
static void RunEngine(benchmark::State& state) {
  constexpr float kRate = 48000;
  constexpr int kBlock = 1024;
  constexpr int kBlocks = 47;  // a second of noise, played round and round
  const int bpo = static_cast<int>(state.range(0));
  const TFreqWeighting weighting = state.range(1) == 0 ? fwZ : fwA;

  TPinkNoiseGeneratorA noise(-10.0, 1234);
  std::vector<float> signal(static_cast<std::size_t>(kBlock * kBlocks));
  for (float& v : signal) v = static_cast<float>(noise.GetSample());

  TRTAEngineIEC1 engine(kRate, bpo);
  engine.SetTimeWeight(twFast);
  engine.SetWeigthing(weighting, kBlock);
  state.SetLabel(engine.BandKernelName());
  std::vector<float> centres(static_cast<std::size_t>(engine.BandCount())), levels(centres.size());

  int block = 0, ignore = 0;
  for (auto _ : state) {
    engine.ProcessBlock(std::span<const float>(signal).subspan(static_cast<std::size_t>(block * kBlock), kBlock),
                        ignore);
    engine.GetBandData(centres, levels);
    benchmark::DoNotOptimize(levels.data());
    block = (block + 1) % kBlocks;
  }
  state.counters["realtime_factor"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}

static void BM_RTAEngine(benchmark::State& state) { RunEngine(state); }
BENCHMARK(BM_RTAEngine)->ArgNames({"bpo", "w"})->ArgsProduct({{1, 3, 6, 12}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The same with the portable band filters, as on a processor without AVX2.
static void BM_RTAEngine_Portable(benchmark::State& state) {
  TRTAEngineIEC1::UseBandKernel("reference");
  RunEngine(state);
  TRTAEngineIEC1::UseBandKernel("auto");
}
BENCHMARK(BM_RTAEngine_Portable)->ArgNames({"bpo", "w"})->Args({3, 1})->Args({12, 1})->Unit(benchmark::kMicrosecond);
