#include "room/uRT60Complete.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// The room analysis of one measurement at 48 kHz with the 24 third-octave bands of range 3: the
// impulse-response chain of the recording (inverse filter, FFT convolution, extraction from the peak,
// truncation at the usable decay), then broadband and per-band decay times and clarity.
//
// The recording is made beforehand, as the dispatcher records it: one 1024-sample block of silence, the
// 30 ... 15000 Hz sweep through a room whose response is a 3 ms delay, a direct sound and a tail of noise
// decaying 60 dB per second (RT60 1 s), then silence up to twice the sweep length. With noise:1 a steady
// noise floor 60 dB below the recording's peak is added, which keeps half of the response after the
// truncation (the case that costs the band analysis most).
namespace {

constexpr float kRate = 48000;

std::vector<float> RoomRecording(TRTPipeline& rt, const std::vector<float>& sweep, bool noiseFloor) {
  std::mt19937 gen(4711);
  std::normal_distribution<float> normal;
  // The room response is padded to the sweep length, so that this convolution has the transform size
  // of the measured chain and no second set of plans is made for it.
  std::vector<float> room(sweep.size(), 0.0f);
  const std::size_t delay = 144, tail = static_cast<std::size_t>(1.5 * kRate);
  for (std::size_t i = 0; i < tail; ++i)
    room[delay + i] = normal(gen) * static_cast<float>(std::pow(10.0, -3.0 * i / kRate));
  room[delay] = 4.0f;

  std::vector<float> played(2 * sweep.size(), 0.0f);
  std::copy(sweep.begin(), sweep.end(), played.begin() + 1024);
  std::vector<float> recording = rt.ConvolveFFT(played, room);
  for (float& v : recording) v *= 0.5f;
  if (noiseFloor)
    for (float& v : recording) v += 0.5e-3f * normal(gen);
  return recording;
}

}  // namespace

static void BM_RoomChain(benchmark::State& state) {
  const float seconds = static_cast<float>(state.range(0));
  TRTPipeline rt(kRate);
  rt.RT60_SetOctaveCenterFrequencies(3);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(30, 15000, seconds);
  const std::vector<float> recording = RoomRecording(rt, *sweep, state.range(1) != 0);

  std::size_t irLength = 0;
  float t30 = 0;
  for (auto _ : state) {
    const std::vector<float> ir = rt.ImpulseResponseFromRecording(recording, *sweep, seconds);
    const TRoomAnalysis analysis = rt.AnalyzeImpulseResponse(ir, kRate);
    benchmark::DoNotOptimize(analysis.Bands.data());
    irLength = ir.size();
    t30 = analysis.Broadband.T30;
  }
  state.counters["ir_seconds"] = static_cast<double>(irLength) / kRate;
  state.counters["T30"] = t30;
}
BENCHMARK(BM_RoomChain)
    ->ArgNames({"seconds", "noise"})
    ->ArgsProduct({{7, 30}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
