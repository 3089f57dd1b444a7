#pragma once

#include "dsp/audio_filter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

// Weighting applied to every sample before the bands.
enum TFreqWeighting : int { fwZ, fwA, fwC };
// Time weighting of the band levels (time constants 0.125 s, 1 s, 35 ms, 2.5 s, 6 s).
enum TRTATimeWeight : int { twFast, twSlow, twImpulse, twRSE_Slow100, twRSE_UltraSlow20Hz };
// Broadband readouts of GetWeightingValue.
enum TRTAExport : int { exRMS, exLeq, exPeak, exSEL, exLeqSliding };

// One band-pass section: out = b0*y + z1; z1 = b1*y - a1*out + z2; z2 = b2*y - a2*out.
struct TBandSection {
  float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
};

// A copy of one band as the engine holds it (the engine itself keeps the bank as arrays per field).
struct TIECBand {
  float CenterFreq = 0;     // centre rounded to whole Hz, halves to even
  double ExactCenter = 0;   // 1000 * 2^(i/N)
  TBandSection Filters[3];  // the same coefficients in all three
  float StateRMS = 0;       // time-weighted mean square of the band output (full scale 1.0)
  double StateLeq = 0;      // integral of the squared band output since Reset (full scale^2 * s)
  float Peak = 0;           // cleared by Reset; not otherwise used
};

struct TLeqSlice {
  float Energy = 0;    // integral of the squared weighted signal over the slice (s)
  float Duration = 0;  // s
};

// Ring of the sliding Leq. The storage is allocated on the user-interface thread (see
// TRTAEngineIEC1::SetLeqWindowSec); Capacity is the part of it in use since the ring was last emptied.
struct TLeqState {
  std::vector<TLeqSlice> Buffer;
  int Head = 0, Tail = 0, Count = 0;
  int Capacity = 0;     // 0: empty, fixed at the next push
  double EnergySum = 0, TimeSum = 0;
};

// Level engine of the real-time analyzer for one channel: a bank of fractional-octave band filters
// (N = 1, 3, 6, 9 or 12 bands per octave, base 2, referred to 1 kHz) with exponential time
// weighting, plus broadband RMS, peak, Leq and sliding Leq, optionally A or C weighted.
//
// Threads. ProcessBlock and GetBandData run on the audio thread; the readouts (GetWeightingValue
// and what it calls) on the user-interface thread, at any time, without locks:
//  - a sequence counter is odd while a block is processed; a readout that starts during a block, or
//    overlaps one, is refused (GetWeightingValue returns false and leaves its output alone);
//  - the RMS interval (sum of squares and sample count) is one 64-bit atomic: the block adds to it
//    with compare-and-swap and the readout takes it with an exchange, so no sample is lost or
//    counted twice between two readouts;
//  - the band energies and the total time for exLeq are published in atomics at the end of each
//    block; the sliding ring's two sums after each push, together in one atomic word, so that a
//    sliding-Leq read never sees half a push (no separate slice-push flag is needed).
// The sequence counter and the last sliding-Leq result belong to each engine; engines share nothing.
//
// Settings while the stream runs: the UI thread calls RequestReset, RequestResetLeqRMSPeak and
// RequestWeigthing; the next ProcessBlock applies them before its first sample. The direct Reset,
// ResetLeqRMSPeak, SetWeigthing and SetLeqWindowSec are for the owner of the engine while no block can
// run (stream stopped, or the audio thread itself). SetTimeWeight is safe at any time. Nothing is
// allocated on the audio thread: the sliding ring gets its storage from SetWeigthing and
// SetLeqWindowSec (where the block length and the window become known), with the same capacity a
// ring sized at its first push would get: round(window * rate / block length) + 10 slices.
class TRTAEngineIEC1 {
public:
  TRTAEngineIEC1(float ASampleRate, int AOctavesPerBand);
  virtual ~TRTAEngineIEC1();
  TRTAEngineIEC1(const TRTAEngineIEC1&) = delete;
  TRTAEngineIEC1& operator=(const TRTAEngineIEC1&) = delete;

  // --- audio thread ---------------------------------------------------------------------------
  // Weights and filters one block. While iIgnore > 0 the band levels follow the squared output of
  // the block's last sample instead of being averaged; iIgnore is then decreased by one.
  void ProcessBlock(std::span<const float> InSamples, int& iIgnore);
  // Writes min(band count, sizes) elements: rounded centres and 10*log10(max(StateRMS, 1e-20)) dB.
  // Returns the number written.
  int GetBandData(std::span<float> CenterFreqs, std::span<float> RMSdB) const;

  // --- user-interface thread: readouts --------------------------------------------------------
  // exRMS, exLeq, exPeak, exLeqSliding: output := the level + SPLOffset and true. exSEL, or a block
  // in progress: false, output unchanged. CorrDB holds one correction in dB per band for exLeq
  // (missing entries count as 0 dB).
  bool GetWeightingValue(TRTAExport ExRTAData, float SPLOffset, float& output,
                         std::span<const float> CorrDB = {});
  // RMS in dBFS of the samples since the previous call (which it starts anew); raises the peak.
  float GetRMSdBFS();
  // The highest RMS level returned since the last reset; -9999 after a reset.
  float GetPeakdBFS() const { return FPeakdBFS.load(std::memory_order_relaxed); }
  float SlidingLeq_GetLeq_dB(float SPLOffset);

  // --- settings -----------------------------------------------------------------------------
  void SetTimeWeight(TRTATimeWeight W) { FTimeWeight.store(W, std::memory_order_relaxed); }
  void SetWeigthing(TFreqWeighting weighting, int iASIOBlockSize);
  void Reset();
  void ResetLeqRMSPeak(float siVorgabeRMS = 0);
  // Sliding-Leq window in seconds (600 after creation; values below 1 count as 1).
  void SetLeqWindowSec(int Seconds);
  int LeqWindowSec() const { return LEQ_WINDOW_SEC.load(std::memory_order_relaxed); }

  // The same three, applied by the audio thread at the start of the next block.
  void RequestReset();
  void RequestResetLeqRMSPeak(float siVorgabeRMS = 0);
  void RequestWeigthing(TFreqWeighting weighting, int iASIOBlockSize);
  // Applies pending requests now (owner only, like the direct calls); ProcessBlock does it itself.
  void ApplyPendingRequests();

  // --- bank and lookups ---------------------------------------------------------------------
  float SampleRate() const { return FSampleRate; }
  int OctavesPerBand() const { return FOctavesPerBand; }
  int BandCount() const { return FBandCount; }
  double Q() const { return FQ; }
  float CenterFreq(int i) const { return FCenterFreq[static_cast<std::size_t>(i)]; }
  std::span<const float> CenterFreqs() const { return {FCenterFreq.data(), FCenterFreq.size()}; }
  TIECBand GetBand(int i) const;  // owner only
  TFreqWeighting Weighting() const { return FFreqWeighting.load(std::memory_order_relaxed); }
  TRTATimeWeight TimeWeight() const { return FTimeWeight.load(std::memory_order_relaxed); }
  int ASIOInSamples() const { return FASIOInSamples.load(std::memory_order_relaxed); }
  double TotalTime() const { return FTotalTime; }           // owner only
  const TLeqState& SlidingLeqState() const { return FBroadbandLeq; }  // owner only

  // -1 without bands; else the last band whose centre <= f (0 below the first band).
  int GetBandindexZurF(float f) const;
  // Nominal frequency of band IndexIECfArr for display, iOctave being the engine's N.
  float IEC_RoundFreqCursorAnzeige(int IndexIECfArr, int iOctave) const;

  // Capacity of the sliding ring for a window, a rate and a block length: round(window * rate / block
  // length) + 10 slices, at most MaxLeqRingSlices.
  static int LeqRingCapacity(int WindowSec, float SampleRate, int BlockSize);
  static constexpr int MaxLeqRingSlices = 1 << 24;
  // Time constant (s) of a time weighting.
  static double TimeConstant(TRTATimeWeight W);
  // Analytic A and C weighting in dB (f <= 0 gives -200).
  static float AWeighting_dB(float f);
  static float CWeighting_dB(float f);

  // The band filters run on the widest vector unit the processor offers ("avx512", "avx2"),
  // else in the portable form ("reference"). UseBandKernel picks one of these by name for the
  // engines created afterwards ("auto": the widest); false when the processor lacks it.
  const char* BandKernelName() const { return FBandKernelName; }
  static bool UseBandKernel(std::string_view name);

  struct TBankArrays;  // the band bank, one array per field (defined with the engine)

protected:
  // The two halves of the sequence counter around a block (odd between them).
  void BeginBlock();
  void EndBlock();
  // Called by the exLeq readout between reading the published values and checking the sequence
  // counter again; does nothing here.
  virtual void AfterLeqSnapshotRead() {}

private:
  using TBandKernel = void (*)(TBankArrays&, const float*, int, float, bool);

  void RunBands(const float* x, int m, float a, bool ignore);
  void SlidingLeq_PushLeqSlice(TLeqState& State, float Energy, float Duration, int iLEQ_WINDOW_SEC);
  void EmptyLeqRing();
  void EnsureLeqStorage();
  void PublishSlidingSums();
  void PublishLeq();
  void AddToRMSInterval(double SumSquares, std::uint32_t Samples);
  void ApplyWeigthing(TFreqWeighting weighting, int iASIOBlockSize);
  void ApplyResetLeqRMSPeak();
  float ReadLeq(float SPLOffset, std::span<const float> CorrDB, bool& ok);

  const float FSampleRate;
  const int FOctavesPerBand;
  int FBandCount = 0;
  double FQ = 0;
  std::vector<float> FCenterFreq;
  std::vector<double> FExactCenter;

  std::atomic<TFreqWeighting> FFreqWeighting{fwZ};
  std::atomic<TRTATimeWeight> FTimeWeight{twImpulse};
  std::atomic<float> FPeakdBFS{-9999.0f};
  // RMS interval: low 32 bits the float sum of squares, high 32 bits the sample count.
  std::atomic<std::uint64_t> FRMSInterval{0};
  std::atomic<int> FASIOInSamples{0};
  TAFilter AC_Filter;
  std::unique_ptr<TBankArrays> FBank;
  TBandKernel FFastBands = nullptr;
  const char* FBandKernelName = "reference";
  double FTotalTime = 0;
  TLeqState FBroadbandLeq;
  std::atomic<int> LEQ_WINDOW_SEC{600};

  // Sequence counter: odd while a block is processed.
  std::atomic<std::uint32_t> FBlockSeq{0};
  // What the readouts see: band energies and total time of the last completed block, and the ring's
  // sums as a pair of floats in one word (low: energy, high: time).
  std::unique_ptr<std::atomic<double>[]> FPublishedLeq;
  std::atomic<double> FPublishedTotalTime{0};
  std::atomic<std::uint64_t> FPublishedSliding{0};
  float FLastSlidingLeq = -120.0f;
  std::vector<double> FLeqSnapshot;  // user-interface thread: the band energies being read

  // Requests from the user-interface thread for the next block boundary.
  std::atomic<std::uint32_t> FPending{0};
  std::atomic<TFreqWeighting> FPendingWeighting{fwZ};
  std::atomic<int> FPendingBlockSize{0};
};
