#pragma once

#include "room/TClarityResult.h"
#include "room/TRTResult.h"
#include "room/TRoomAnalysis.h"

#include <algorithm>
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
// What counts as "no usable response": a response of fewer than 10 samples, one without any energy, or one
// holding samples that are not finite numbers. The chain and the truncation return an empty array for it,
// AnalyzeImpulseResponse says so in TRoomAnalysis::Usable, and none of the analysis functions turns it into
// NaN or infinity: decay times stay 0 with their flags false, energy measures are bounded by the 1e-30
// floors (+-300 dB at the extremes).
//
// Threads: ProcessSweepBlock runs on the audio thread; every other operation runs on the user-interface
// thread. StartSweep and StopSweep may be called at any time. LoadSweep is meant for a stopped stream;
// should a playing callback still be inside ProcessSweepBlock, LoadSweep stops the playback and waits for
// that one block to end before it replaces the buffer, so the callback never sees a freed sweep. The
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
  // Frequencies that are not positive, or more than 2^31 samples, give an empty sweep.
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

  // --- Impulse response ----------------------------------------------------------------------------

  // Time-reversed Sweep with an amplitude envelope exp(-R t), R = ln(fsweep_f2 / fsweep_f1) / fsweep_Dur,
  // taken from the most recently generated sweep whatever array is passed; no scale factor. Before any
  // sweep was generated (or with parameters that give no finite R) the envelope is flat.
  std::vector<float> GenerateInverseSweep_RT60(const std::vector<float>& Sweep) const;

  // The first Length(A) samples of the linear convolution of A and B, computed with real FFTs of the
  // smallest power-of-two size not less than Length(A) + Length(B), divided by the largest magnitude when
  // that is at least 1e-12 (so the peak becomes +-1), otherwise left as it is. Throws std::bad_alloc when
  // the transform buffers cannot be had and std::length_error for sizes beyond 2^30.
  std::vector<float> ConvolveFFT(const std::vector<float>& A, const std::vector<float>& B) const;

  // IR from its largest magnitude (first one on ties) on, round(Seconds * SampleRate()) samples or up to
  // the end, whichever comes first.
  std::vector<float> ExtractImpulse(const std::vector<float>& IR, float Seconds) const;

  // IR cut at the end of its usable decay: before the first sample where the backward energy integral
  // has fallen below -80 dB of its start or below 10 times the mean of its last tenth. Empty for no
  // usable response (see above), and when the cut falls on the first sample. Fs does not enter the rule.
  static std::vector<float> ExtractImpulseISO(const std::vector<float>& IR, float Fs);

  // The whole impulse-response chain of a recording of Sweep: inverse filter, convolution, extraction
  // from the peak for SweepSeconds, truncation at the usable decay. Empty when there is no usable
  // response (empty or non-finite recording or sweep, silent result, or nothing left after truncation).
  //
  // The inverse filter here differs from GenerateInverseSweep_RT60 in one respect: its end, which holds
  // the sweep's first ten periods at its start frequency, fades out along a half cosine (at most a
  // quarter of its length). Cut off abruptly, that end leaves a faint copy of the sweep in the response,
  // starting at its peak and rising from the start frequency; in the lowest band, whose skirt reaches
  // down to the start frequency, this copy decays far more slowly than a short room and lengthens its
  // T30 several times (a 0.3 s room read 0.9 s at 125 Hz with an 80 Hz sweep start).
  std::vector<float> ImpulseResponseFromRecording(const std::vector<float>& Recording,
                                                  const std::vector<float>& Sweep, float SweepSeconds) const;

  // An impulse response that came as it is (a file): extraction from its peak to its end, then the
  // truncation at the usable decay. Empty when there is no usable response.
  static std::vector<float> ImpulseResponseFromPeak(const std::vector<float>& IR);

  static bool IsUsableResponse(const std::vector<float>& IR);

  // Threads for the band-wise analysis: 0 (the default) uses every core.
  void SetAnalysisThreads(int Count) { FAnalysisThreads = std::max(Count, 0); }

  // --- Decay and clarity analysis -------------------------------------------------------------------

  // Broadband and per-band decay times and energy measures in one pass over the current band set; the
  // bands run in parallel on the available cores, with results that do not depend on the number of
  // threads.
  TRoomAnalysis AnalyzeImpulseResponse(const std::vector<float>& IR, float Fs) const;

  // Decay times from the backward-integrated decay curve: EDT from the 0 ... -10 dB fit, T20 from
  // -5 ... -25 dB, T30 from -5 ... -35 dB, each fit cut short 3 dB above the noise floor (the mean level
  // of the curve's last tenth); a fit counts as valid with R^2 >= 0.9.
  TRTResult AnalyzeBandISO(const std::vector<float>& IR, float SampleRate) const;
  // AnalyzeBandISO of each band signal of the current band set, in table order.
  std::vector<TRTResult> RT60PerThirdOctave(const std::vector<float>& IR, float fs) const;

  // Broadband C50, C80, D50 and centre time, time 0 at the first sample; the samples at exactly 50 and
  // 80 ms count as early.
  TClarityResult ClarityFromIR(const std::vector<float>& IR, float Fs) const;
  // C50 and C80 of each band signal, time 0 at the band signal's own peak; the boundary sample counts as
  // late.
  void ComputeBandClarity(const std::vector<float>& IR, float Fs, std::vector<float>& C50,
                          std::vector<float>& C80) const;

  // Arithmetic mean (single-precision sum) and population standard deviation; 0 for an empty array.
  static float Mean_RT60_D50(const std::vector<float>& Values);
  static float StdDev(const std::vector<float>& Values);
  // Energetic mean of dB values, 10 log10(mean of 10^(v/10)); 0 for an empty array.
  static float MeanClarity_C50_C80(const std::vector<float>& Values);

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
  double InverseEnvelopeRate() const;
  int AnalysisThreads() const;

  float FFs;
  int FAnalysisThreads = 0;

  TSweepBuffer FSweepBuffer;
  std::atomic<std::int32_t> FSweepPos{0};
  std::atomic<bool> FSweepActive{false};
  // Counts entries and exits of ProcessSweepBlock: odd while the audio thread is inside (see LoadSweep).
  std::atomic<std::uint32_t> FSweepBlockSeq{0};

  std::int32_t fq = 1;
  std::vector<float> fRT60_IECOctaveCenters;
};
