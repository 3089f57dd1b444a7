#include "audio/TPartitionedConvolver.h"

#include "dsp/TFftwPlanLock.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {
float* AllocFloats(std::size_t n) {
  auto* p = static_cast<float*>(fftwf_malloc(sizeof(float) * n));
  if (p == nullptr) throw std::bad_alloc();
  std::memset(p, 0, sizeof(float) * n);
  return p;
}
}  // namespace

TPartitionedConvolver::TPartitionedConvolver(std::span<const float> ImpulseResponse, int BlockLength)
    : FBlock(BlockLength), FBins(static_cast<std::size_t>(BlockLength) + 1) {
  if (BlockLength <= 0) throw std::invalid_argument("block length must be positive");
  const std::size_t b = static_cast<std::size_t>(BlockLength);
  const std::size_t n = 2 * b;
  FPartitions = std::max<std::size_t>(1, (ImpulseResponse.size() + b - 1) / b);
  FTime = AllocFloats(n);
  FSpectrumIn = AllocFloats(2 * FBins);
  FAccum = AllocFloats(2 * FBins);
  FInputHistory = AllocFloats(b);
  {
    const TFftwPlanLock lock;
    FForward = fftwf_plan_dft_r2c_1d(static_cast<int>(n), FTime, reinterpret_cast<fftwf_complex*>(FSpectrumIn),
                                     FFTW_ESTIMATE);
    FInverse = fftwf_plan_dft_c2r_1d(static_cast<int>(n), reinterpret_cast<fftwf_complex*>(FAccum), FTime,
                                     FFTW_ESTIMATE);
  }
  // Each partition's spectrum, scaled by 1/n so that the inverse transform needs no further scaling.
  const float scale = 1.0f / static_cast<float>(n);
  FResponse.assign(FPartitions, nullptr);
  FDelayLine.assign(FPartitions, nullptr);
  for (std::size_t p = 0; p < FPartitions; ++p) {
    FDelayLine[p] = AllocFloats(2 * FBins);
    const std::size_t first = p * b;
    const std::size_t count = first < ImpulseResponse.size() ? std::min(b, ImpulseResponse.size() - first) : 0;
    bool silent = true;
    for (std::size_t i = 0; i < count; ++i) silent = silent && ImpulseResponse[first + i] == 0.0f;
    if (silent) continue;
    std::memset(FTime, 0, sizeof(float) * n);
    for (std::size_t i = 0; i < count; ++i) FTime[i] = ImpulseResponse[first + i] * scale;
    FResponse[p] = AllocFloats(2 * FBins);
    fftwf_execute_dft_r2c(static_cast<fftwf_plan>(FForward), FTime,
                          reinterpret_cast<fftwf_complex*>(FResponse[p]));
  }
  std::memset(FTime, 0, sizeof(float) * n);
}

TPartitionedConvolver::~TPartitionedConvolver() {
  {
    const TFftwPlanLock lock;
    fftwf_destroy_plan(static_cast<fftwf_plan>(FForward));
    fftwf_destroy_plan(static_cast<fftwf_plan>(FInverse));
  }
  for (float* p : FResponse) fftwf_free(p);
  for (float* p : FDelayLine) fftwf_free(p);
  fftwf_free(FTime);
  fftwf_free(FSpectrumIn);
  fftwf_free(FAccum);
  fftwf_free(FInputHistory);
}

void TPartitionedConvolver::Reset() {
  const std::size_t b = static_cast<std::size_t>(FBlock);
  std::memset(FInputHistory, 0, sizeof(float) * b);
  for (float* p : FDelayLine) std::memset(p, 0, sizeof(float) * 2 * FBins);
}

void TPartitionedConvolver::Process(const float* In, float* Out) {
  const std::size_t b = static_cast<std::size_t>(FBlock);
  // Input frame: previous block, then this block.
  std::memcpy(FTime, FInputHistory, sizeof(float) * b);
  std::memcpy(FTime + b, In, sizeof(float) * b);
  std::memcpy(FInputHistory, In, sizeof(float) * b);

  FNewest = (FNewest + FPartitions - 1) % FPartitions;
  fftwf_execute_dft_r2c(static_cast<fftwf_plan>(FForward), FTime,
                        reinterpret_cast<fftwf_complex*>(FDelayLine[FNewest]));

  std::memset(FAccum, 0, sizeof(float) * 2 * FBins);
  for (std::size_t p = 0; p < FPartitions; ++p) {
    const float* h = FResponse[p];
    if (h == nullptr) continue;
    const float* x = FDelayLine[(FNewest + p) % FPartitions];
    for (std::size_t k = 0; k < FBins; ++k) {
      const float xr = x[2 * k], xi = x[2 * k + 1];
      const float hr = h[2 * k], hi = h[2 * k + 1];
      FAccum[2 * k] += xr * hr - xi * hi;
      FAccum[2 * k + 1] += xr * hi + xi * hr;
    }
  }
  fftwf_execute_dft_c2r(static_cast<fftwf_plan>(FInverse), reinterpret_cast<fftwf_complex*>(FAccum), FTime);
  // Overlap-save: the second half is the valid linear-convolution output of this block.
  std::memcpy(Out, FTime + b, sizeof(float) * b);
}
