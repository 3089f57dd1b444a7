#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// A sweep loaded for playback. It is shared, never copied: the caller keeps its own reference (the
// measurement needs the same samples again for the inverse filter) and the pipeline plays from it.
using TSweepBuffer = std::shared_ptr<const std::vector<float>>;

// The room-acoustics signal object: the exponential sweep and its playback, the impulse response from a
// recording of it, and the band-wise decay and clarity analysis of that response.
//
// Threads: ProcessSweepBlock runs on the audio thread; every other operation runs on the user-interface
// thread. StartSweep and StopSweep may be called at any time. LoadSweep is meant for a stopped stream;
// should a playing callback still be inside ProcessSweepBlock, LoadSweep stops the playback and waits for
// that one block to finish before it replaces the buffer, so the callback never sees a freed sweep. The
// callback itself never waits, locks or allocates.
class TRTPipeline {
public:
  // Sample rate in Hz, fixed for the pipeline's life; the band set starts as range 0 (octaves
  // 125 Hz ... 4 kHz).
  explicit TRTPipeline(float Fs = 48000.0f);

  TRTPipeline(const TRTPipeline&) = delete;
  TRTPipeline& operator=(const TRTPipeline&) = delete;

  float SampleRate() const { return FFs; }

  // --- Sweep and playback ---------------------------------------------------------------------------

  // Exponential sine sweep from F1 to F2 Hz over Dur seconds, amplitude 1, no fades: round(Dur * Fs)
  // samples whose phase accumulates the instantaneous frequency F1 * exp(ln(F2/F1) * t / Dur), advanced
  // before each sample is taken (sample 0 is sin(2 pi F1 / Fs)). Records F1, F2 and Dur in fsweep_*.
  TSweepBuffer GenerateLogSweep_RTA(float F1, float F2, float Dur);

  // Keeps Sweep for playback at position 0, not playing.
  void LoadSweep(TSweepBuffer Sweep);
  // Playback from position 0 / playback off.
  void StartSweep();
  void StopSweep();
  bool SweepActive() const { return FSweepActive.load(std::memory_order_acquire); }

  // Audio thread. Writes the next ASIOBufferSize samples of the loaded sweep (zeros after its end, zeros
  // when not playing) to the first channel only. Returns true while the block held sweep samples; the
  // first block that is entirely silent ends the playback and returns false. ASIOBufferSize is clamped to
  // the channel's length.
  bool ProcessSweepBlock(std::vector<std::vector<float>>& Output, int ASIOBufferSize);
  bool ProcessSweepBlock(std::span<float> Channel0, int ASIOBufferSize);

  // Parameters of the most recently generated sweep; the inverse filter takes its envelope from them.
  float fsweep_f1 = 0;
  float fsweep_f2 = 0;
  float fsweep_Dur = 0;

  // --- Band set ---------------------------------------------------------------------------------------

  // Range 0: octaves 125 ... 4000 Hz, 1: octaves 63 ... 8000 Hz, 2: third octaves 100 ... 5000 Hz,
  // 3: third octaves 50 ... 10000 Hz; any other index selects range 0. Returns the number of bands.
  std::int32_t RT60_SetOctaveCenterFrequencies(std::int32_t iRange);
  // Centre frequency of band indexArr of the current set, 0 when there is no such band.
  float RT60_GetCenterFrequency(std::int32_t indexArr) const;
  const std::vector<float>& BandCenters() const { return fRT60_IECOctaveCenters; }
  // 1 = octave bands, 3 = third-octave bands.
  std::int32_t BandFraction() const { return fq; }

  static const std::vector<float>& RT60_IECOctaveCenters_Default();
  static const std::vector<float>& RT60_IECOctaveCenters_Extra();
  static const std::vector<float>& RT60_IECThirdOctaveCenters_Default();
  static const std::vector<float>& RT60_IECThirdOctaveCenters_Extra();

private:
  float FFs;

  TSweepBuffer FSweepBuffer;
  std::atomic<std::int32_t> FSweepPos{0};
  std::atomic<bool> FSweepActive{false};
  // True while the audio thread is inside ProcessSweepBlock (see LoadSweep).
  std::atomic<bool> FSweepInBlock{false};

  std::int32_t fq = 1;
  std::vector<float> fRT60_IECOctaveCenters;
};
