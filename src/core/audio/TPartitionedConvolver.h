#pragma once

#include <cstddef>
#include <span>
#include <vector>

// Convolution of a block stream with a long impulse response, cheap enough for the audio thread:
// uniformly partitioned overlap-save in the frequency domain (FFTW, single precision). The response is
// cut into partitions of one block each; every block costs one forward and one inverse FFT of twice the
// block length plus one complex multiply-add per partition and bin. Partitions that are entirely zero
// (a leading delay) are skipped. No allocation after construction; Process adds no latency.
class TPartitionedConvolver {
public:
  // Plans the transforms (under TFftwPlanLock, so any thread may build one).
  TPartitionedConvolver(std::span<const float> ImpulseResponse, int BlockLength);
  ~TPartitionedConvolver();
  TPartitionedConvolver(const TPartitionedConvolver&) = delete;
  TPartitionedConvolver& operator=(const TPartitionedConvolver&) = delete;

  int BlockLength() const { return FBlock; }
  std::size_t PartitionCount() const { return FPartitions; }

  // Convolves the next BlockLength input samples; Out receives the next BlockLength output samples.
  // In and Out may be the same array.
  void Process(const float* In, float* Out);
  // Forgets all past input (the response stays).
  void Reset();

private:
  int FBlock;
  std::size_t FBins;
  std::size_t FPartitions = 0;
  std::size_t FNewest = 0;  // slot of the newest input spectrum in the delay line
  float* FTime = nullptr;  // 2 * block: previous and current input block / inverse result
  float* FSpectrumIn = nullptr;  // interleaved complex, FBins
  float* FAccum = nullptr;  // interleaved complex, FBins
  float* FInputHistory = nullptr;  // last block of input
  std::vector<float*> FResponse;  // per partition its spectrum (nullptr for a silent partition)
  std::vector<float*> FDelayLine;  // per partition slot an input spectrum
  void* FForward = nullptr;
  void* FInverse = nullptr;
};
