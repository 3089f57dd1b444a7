// Cost of one audio block in the block handler: 10 inputs copied and peak-checked, pink noise on two
// outputs, the measured channel's level engine, the band-level hand-over every block.
#include "audio/TAudioDispatcher.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

static void BM_Dispatcher(benchmark::State& state) {
  const int bpo = static_cast<int>(state.range(0));
  const TFreqWeighting w = state.range(1) ? fwA : fwZ;
  constexpr int N = 1024, Inputs = 10, Outputs = 2;
  std::atomic<std::int32_t> signal{1};
  TAudioDispatcher d(signal);
  d.CreateEngines(48000.0f, bpo, twFast);
  d.PrepareBuffers(N, Inputs, 48000.0f, -120.0f);
  for (auto& e : d.RTAEngineIEC1) e->SetWeigthing(w, N);
  d.dbAmpPink = 0.5f;
  std::mt19937 rng(1);
  std::normal_distribution<float> g(0.0f, 0.1f);
  std::vector<std::vector<float>> in(Inputs, std::vector<float>(N)), out(Outputs, std::vector<float>(N));
  for (auto& c : in) {
    for (float& x : c) x = g(rng);
  }
  std::vector<const float*> inPtr;
  std::vector<float*> outPtr;
  for (auto& c : in) inPtr.push_back(c.data());
  for (auto& c : out) outPtr.push_back(c.data());
  for (auto _ : state) {
    d.BandDataRequested.store(true, std::memory_order_release);
    d.AsioHostBufferSwitch32(inPtr, outPtr, N);
    while (d.Messages.Pop()) {
    }
    benchmark::DoNotOptimize(out[0].data());
  }
  state.counters["realtime_factor"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * N / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Dispatcher)->ArgNames({"bpo", "w"})->Args({3, 0})->Args({12, 1})->Unit(benchmark::kMicrosecond);
