#pragma once

#include <atomic>
#include <span>
#include <vector>

enum TToneFlavor { tfSine };

// The tone source: a continuous-phase sine of amplitude 1.0. SampleRate and BlockSize are set while
// the stream is stopped; the frequency may change at any time (the generator window moves it while a
// tone plays) and takes effect with the next block without a phase jump. A frequency that is not a
// finite number gives silence.
class TASIOGeneratorTone {
public:
  double SampleRate = 48000.0;
  int BlockSize = 1024;
  TToneFlavor ToneFlavor = tfSine;

  double Frequency() const { return FFrequency.load(std::memory_order_relaxed); }
  void SetFrequency(double Hz) { FFrequency.store(Hz, std::memory_order_relaxed); }

  // Audio thread: the first BlockSize samples of every channel array get the next samples of the sine.
  void ProcessBlock(std::vector<std::vector<float>>& Block, bool isOutput);
  void ProcessBlock(std::span<float> Channel);
  // Phase back to 0 (only while the stream is stopped).
  void Reset() { FPhase = 0.0; }

private:
  std::atomic<double> FFrequency{1000.0};
  double FPhase = 0.0;  // radians, in [0, 2 pi)
};
