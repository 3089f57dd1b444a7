#include "room/uRT60Complete.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

namespace {

// Sample counts derived from times: nearest integer, ties to even.
std::int64_t RoundSamples(double x) {
  if (!std::isfinite(x) || x <= 0) return 0;
  return static_cast<std::int64_t>(std::nearbyint(x));
}

}  // namespace

TRTPipeline::TRTPipeline(float Fs) : FFs(Fs) { RT60_SetOctaveCenterFrequencies(0); }

// ---------------------------------------------------------------------------------------------------------
// Sweep and playback

TSweepBuffer TRTPipeline::GenerateLogSweep_RTA(float F1, float F2, float Dur) {
  fsweep_f1 = F1;
  fsweep_f2 = F2;
  fsweep_Dur = Dur;

  // Frequencies that are not positive have no exponential sweep: the result is then empty (and plays as
  // silence), never a buffer of NaN.
  const bool usable = std::isfinite(F1) && std::isfinite(F2) && F1 > 0 && F2 > 0;
  const std::int64_t n = usable ? RoundSamples(static_cast<double>(Dur) * FFs) : 0;
  auto sweep = std::make_shared<std::vector<float>>(static_cast<std::size_t>(n));
  // K and the running phase are single precision; the phase is advanced before the sine is taken.
  const float K = std::log(F2 / F1);
  const double twoPiOverFs = 2.0 * std::numbers::pi / FFs;
  float phase = 0.0f;
  for (std::int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / FFs;
    const double f = F1 * std::exp(K * t / Dur);
    phase = static_cast<float>(phase + twoPiOverFs * f);
    (*sweep)[static_cast<std::size_t>(i)] = std::sin(phase);
  }
  return sweep;
}

void TRTPipeline::LoadSweep(TSweepBuffer Sweep) {
  // Stop first, then wait until a callback that may still be inside ProcessSweepBlock has left it; from
  // then on the callback sees playback off and does not touch the buffer. Both sides use sequentially
  // consistent order for the flag pair, so one of them always sees the other's store.
  FSweepActive.store(false, std::memory_order_seq_cst);
  while (FSweepInBlock.load(std::memory_order_seq_cst)) std::this_thread::yield();
  FSweepBuffer = std::move(Sweep);
  FSweepPos.store(0, std::memory_order_relaxed);
}

void TRTPipeline::StartSweep() {
  FSweepPos.store(0, std::memory_order_relaxed);
  FSweepActive.store(true, std::memory_order_seq_cst);
}

void TRTPipeline::StopSweep() { FSweepActive.store(false, std::memory_order_seq_cst); }

bool TRTPipeline::ProcessSweepBlock(std::vector<std::vector<float>>& Output, int ASIOBufferSize) {
  if (Output.empty()) return ProcessSweepBlock(std::span<float>(), ASIOBufferSize);
  return ProcessSweepBlock(std::span<float>(Output.front()), ASIOBufferSize);
}

bool TRTPipeline::ProcessSweepBlock(std::span<float> Channel0, int ASIOBufferSize) {
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(ASIOBufferSize, 0)), Channel0.size());
  FSweepInBlock.store(true, std::memory_order_seq_cst);
  if (!FSweepActive.load(std::memory_order_seq_cst)) {
    FSweepInBlock.store(false, std::memory_order_release);
    std::fill_n(Channel0.begin(), n, 0.0f);
    return false;
  }
  const std::vector<float>* sweep = FSweepBuffer.get();
  const std::size_t length = sweep ? sweep->size() : 0;
  std::size_t pos = static_cast<std::size_t>(FSweepPos.load(std::memory_order_relaxed));
  float sum = 0.0f;
  for (std::size_t j = 0; j < n; ++j) {
    float v = 0.0f;
    if (pos < length) v = (*sweep)[pos++];
    Channel0[j] = v;
    sum += std::fabs(v);
  }
  FSweepPos.store(static_cast<std::int32_t>(pos), std::memory_order_relaxed);
  FSweepInBlock.store(false, std::memory_order_release);
  if (sum == 0.0f) {
    FSweepActive.store(false, std::memory_order_seq_cst);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------------------
// Band set

const std::vector<float>& TRTPipeline::RT60_IECOctaveCenters_Default() {
  static const std::vector<float> t{125, 250, 500, 1000, 2000, 4000};
  return t;
}

const std::vector<float>& TRTPipeline::RT60_IECOctaveCenters_Extra() {
  static const std::vector<float> t{63, 125, 250, 500, 1000, 2000, 4000, 8000};
  return t;
}

const std::vector<float>& TRTPipeline::RT60_IECThirdOctaveCenters_Default() {
  static const std::vector<float> t{100,  125,  160,  200,  250,  315,  400,  500,  630,
                                    800,  1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000};
  return t;
}

const std::vector<float>& TRTPipeline::RT60_IECThirdOctaveCenters_Extra() {
  static const std::vector<float> t{50,   63,   80,   100,  125,  160,  200,  250,  315,  400,  500,  630,
                                    800,  1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000};
  return t;
}

std::int32_t TRTPipeline::RT60_SetOctaveCenterFrequencies(std::int32_t iRange) {
  switch (iRange) {
    case 1: fRT60_IECOctaveCenters = RT60_IECOctaveCenters_Extra(); fq = 1; break;
    case 2: fRT60_IECOctaveCenters = RT60_IECThirdOctaveCenters_Default(); fq = 3; break;
    case 3: fRT60_IECOctaveCenters = RT60_IECThirdOctaveCenters_Extra(); fq = 3; break;
    default: fRT60_IECOctaveCenters = RT60_IECOctaveCenters_Default(); fq = 1; break;
  }
  return static_cast<std::int32_t>(fRT60_IECOctaveCenters.size());
}

float TRTPipeline::RT60_GetCenterFrequency(std::int32_t indexArr) const {
  if (indexArr < 0 || static_cast<std::size_t>(indexArr) >= fRT60_IECOctaveCenters.size()) return 0.0f;
  return fRT60_IECOctaveCenters[static_cast<std::size_t>(indexArr)];
}
