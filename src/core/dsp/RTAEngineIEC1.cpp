#include "dsp/RTAEngineIEC1.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

// Choices where the behaviour is ours to define:
//  - GetRMSdBFS with no sample since the previous call returns the floor, 20*log10(1e-30) = -600 dB,
//    and leaves the peak alone (there was nothing to measure). exLeq before any block after Reset
//    (no time processed) gives its floor, 10*log10(1e-30) = -300 dB, plus the offset.
//  - IEC_RoundFreqCursorAnzeige for an index without a row in the table of its resolution (the
//    16 Hz octave band, or a resolution whose table is shorter than the bank) gives the band's centre
//    rounded like the 1/9-octave values (16 Hz for the lowest octave band); an index outside the bank
//    gives 0.
//  - The sliding ring never overruns: when it is full and a slice arrives before the window has
//    moved on, the oldest slice is dropped first (the window then covers the slices that fit). The
//    ring holds at most MaxLeqRingSlices slices, so that a window of days at short blocks (a settings
//    value, say) cannot claim gigabytes; with 1024-sample blocks at 48 kHz that is some 99 hours.
//
// Arithmetic. Coefficients, filter states and time-weighted levels are single precision; every
// update is formed at higher precision and rounded once when stored. The portable form of the band
// filters does this in double. On processors with fused multiply-add the bands run eight or sixteen
// at a time in single-precision vector registers, where the fused operations keep the products
// unrounded inside each sum (the one difference: in z2 = b2*y - a2*out one of the two products is
// rounded before the other is subtracted). Both forms agree with a double-precision filter bank to
// within 0.002 dB above 100 Hz and a few hundredths of a dB in the lowest 1/12-octave bands at levels
// near -110 dB.
//
// Long measurements. Sums that grow without bound are kept in double: the band energies and total
// time behind exLeq (a single-precision running sum to which one sample's share is added per sample
// stops growing once the sum is 2^24 shares large, after about 6 minutes at 48 kHz for a steady
// signal, and the Leq then falls), and the two running sums of the sliding ring (which add and
// subtract every slice; in single precision what is left of a loud passage after it has left the
// window can be larger than the energy of a quiet one). The ring's sums are also recomputed from its
// slices once per pass round the ring, so they do not drift. Within a block the sum of squares and
// the slice energy are kept in double; the RMS interval takes the block's sum once per block.
// The RMS interval counts the samples actually processed (every block of the live analyzer is
// block-length long; a short last block of a file then does not skew the RMS).

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Samples weighted at a time before they run through the bands.
constexpr int kChunk = 256;
// Bands are processed in groups of this many lanes; the arrays are padded to a whole number of groups.
constexpr int kLanes = 16;

// Rounds to the nearest integer, halves to the even neighbour (the default rounding mode).
double RoundHalfEven(double x) { return std::nearbyint(x); }

constexpr float kOctaveTable[] = {31.5f, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
constexpr float kThirdTable[] = {20,   25,   31.5f, 40,   50,   63,   80,   100,  125,   160,   200,
                                 250,  315,  400,   500,  630,  800,  1000, 1250, 1600,  2000,  2500,
                                 3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};
constexpr float kSixthTable[] = {
    20,   22.5f, 25,   28,   31.5f, 35.5f, 40,   45,   50,   56,    63,    71,    80,    90,    100,   112,
    125,  140,   160,  180,  200,   225,   250,  280,  315,  355,   400,   450,   500,   560,   630,   710,
    800,  900,   1000, 1120, 1250,  1400,  1600, 1800, 2000, 2250,  2500,  2800,  3150,  3550,  4000,  4500,
    5000, 5600,  6300, 7100, 8000,  9000,  10000, 11200, 12500, 14000, 16000, 18000, 20000, 22500};
constexpr float kTwelfthTable[] = {
    20,    21.5f, 22.5f, 24,    25,    26.5f, 28,    30,    31.5f, 33.5f, 35.5f, 37.5f, 40,    42.5f, 45,
    47.5f, 50,    53,    56,    60,    63,    67,    71,    75,    80,    85,    90,    95,    100,   106,
    112,   118,   125,   133,   140,   150,   160,   168,   180,   190,   200,   212,   225,   237,   250,
    265,   280,   300,   315,   335,   355,   375,   400,   425,   450,   475,   500,   530,   560,   600,
    630,   670,   710,   750,   800,   845,   900,   950,   1000,  1060,  1120,  1190,  1250,  1330,  1400,
    1500,  1600,  1680,  1800,  1900,  2000,  2120,  2250,  2370,  2500,  2650,  2800,  3000,  3150,  3350,
    3550,  3750,  4000,  4250,  4500,  4750,  5000,  5300,  5600,  6000,  6300,  6700,  7100,  7500,  8000,
    8450,  9000,  9500,  10000, 10600, 11200, 11900, 12500, 13300, 14000, 15000, 16000, 16800, 18000, 19000,
    20000, 21200};

std::uint64_t PackFloats(float lo, float hi) {
  return static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(lo)) |
         (static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(hi)) << 32);
}
float LowFloat(std::uint64_t v) { return std::bit_cast<float>(static_cast<std::uint32_t>(v)); }
float HighFloat(std::uint64_t v) { return std::bit_cast<float>(static_cast<std::uint32_t>(v >> 32)); }

}  // namespace

// The band bank as one array per field, padded to whole groups of kLanes bands (the padding bands
// have zero coefficients), so that the loop over the bands runs on vector registers. The three
// sections of a band share their coefficients, which are therefore stored once.
struct TRTAEngineIEC1::TBankArrays {
  int Count = 0;
  int Padded = 0;
  std::vector<float> b0, b1, b2, a1, a2;
  std::vector<float> z1[3], z2[3];
  std::vector<float> StateRMS, Peak;
  std::vector<float> ChunkLeq;  // sum of the squared band output over the current chunk
  std::vector<double> StateLeq;

  explicit TBankArrays(int n) : Count(n), Padded((n + kLanes - 1) / kLanes * kLanes) {
    const auto p = static_cast<std::size_t>(Padded);
    for (auto* v : {&b0, &b1, &b2, &a1, &a2, &z1[0], &z1[1], &z1[2], &z2[0], &z2[1], &z2[2], &StateRMS, &Peak,
                    &ChunkLeq})
      v->assign(p, 0.0f);
    StateLeq.assign(p, 0.0);
  }

  void ClearStates() {
    for (auto* v : {&z1[0], &z1[1], &z1[2], &z2[0], &z2[1], &z2[2], &StateRMS, &Peak, &ChunkLeq})
      std::fill(v->begin(), v->end(), 0.0f);
    std::fill(StateLeq.begin(), StateLeq.end(), 0.0);
  }

  float* Lane(std::vector<float>& v, int g, int width) { return v.data() + static_cast<std::size_t>(g) * width; }

  // Adds the chunk's band energies to the running totals.
  void FlushChunkLeq(double dt) {
    for (std::size_t j = 0; j < static_cast<std::size_t>(Padded); ++j) {
      StateLeq[j] += dt * ChunkLeq[j];
      ChunkLeq[j] = 0.0f;
    }
  }

  // The portable form of the band filters (see ReferenceBands).
  template <bool Ignore>
  void RunReference(const float* x, int m, float a) {
    ReferenceBands<Ignore>(x, m, Padded, a, b0.data(), b2.data(), a1.data(), a2.data(), z1[0].data(), z1[1].data(),
                           z1[2].data(), z2[0].data(), z2[1].data(), z2[2].data(), StateRMS.data(), ChunkLeq.data());
  }

  // Reference arithmetic: per sample and band the three sections, every update computed in double
  // and rounded to single when stored, 1e-20 added to each section output to keep the recursions out
  // of denormal numbers in silence; then the time weighting of the squared output. b1 is 0 for every
  // band filter, so its term is left out. The arrays are parameters declared __restrict, which lets the
  // compiler run the loop over the bands on vector registers (it does not trust __restrict on local
  // pointers).
  template <bool Ignore>
  static void ReferenceBands(const float* x, int m, int np, float a, const float* __restrict B0,
                             const float* __restrict B2, const float* __restrict A1, const float* __restrict A2,
                             float* __restrict Z10, float* __restrict Z11, float* __restrict Z12,
                             float* __restrict Z20, float* __restrict Z21, float* __restrict Z22,
                             float* __restrict R, float* __restrict L) {
    const double ad = a;
    for (int i = 0; i < m; ++i) {
      const double xi = x[i];
      for (int j = 0; j < np; ++j) {
        const double b0j = B0[j], b2j = B2[j], a1j = A1[j], a2j = A2[j];
        const double o1 = static_cast<float>(b0j * xi + Z10[j] + 1e-20);
        Z10[j] = static_cast<float>(Z20[j] - a1j * o1);
        Z20[j] = static_cast<float>(b2j * xi - a2j * o1);
        const double o2 = static_cast<float>(b0j * o1 + Z11[j] + 1e-20);
        Z11[j] = static_cast<float>(Z21[j] - a1j * o2);
        Z21[j] = static_cast<float>(b2j * o1 - a2j * o2);
        const double o3 = static_cast<float>(b0j * o2 + Z12[j] + 1e-20);
        Z12[j] = static_cast<float>(Z22[j] - a1j * o3);
        Z22[j] = static_cast<float>(b2j * o2 - a2j * o3);
        const float q = static_cast<float>(o3 * o3);
        if constexpr (Ignore) {
          R[j] = q;
        } else {
          const double r = R[j];
          R[j] = static_cast<float>(r + ad * (q - r));
        }
        L[j] += q;
      }
    }
  }
};

namespace {

// The fast form of the same arithmetic: a group of bands in one vector register (V holds W floats),
// G groups at a time, their states held in registers over all samples of the chunk. Compiled only
// into functions for processors with fused multiply-add: each state update is then a chain of fused
// multiply-adds whose products enter unrounded, and each stored value is rounded once, as in the
// reference (apart from z2, where one of its two products is rounded before the other is added).
template <typename V, int G>
[[gnu::always_inline]] inline void RunGroups(TRTAEngineIEC1::TBankArrays& B, int firstGroup, const float* x, int m,
                                             float a, bool ignore) {
  constexpr int W = static_cast<int>(sizeof(V) / sizeof(float));
  constexpr std::size_t kBytes = sizeof(V);
  V b0[G], b2[G], a1[G], a2[G], z1[3][G], z2[3][G], r[G], l[G];
  for (int k = 0; k < G; ++k) {
    const int g = firstGroup + k;
    __builtin_memcpy(&b0[k], B.Lane(B.b0, g, W), kBytes);
    __builtin_memcpy(&b2[k], B.Lane(B.b2, g, W), kBytes);
    __builtin_memcpy(&a1[k], B.Lane(B.a1, g, W), kBytes);
    __builtin_memcpy(&a2[k], B.Lane(B.a2, g, W), kBytes);
    for (int s = 0; s < 3; ++s) {
      __builtin_memcpy(&z1[s][k], B.Lane(B.z1[s], g, W), kBytes);
      __builtin_memcpy(&z2[s][k], B.Lane(B.z2[s], g, W), kBytes);
    }
    __builtin_memcpy(&r[k], B.Lane(B.StateRMS, g, W), kBytes);
    __builtin_memcpy(&l[k], B.Lane(B.ChunkLeq, g, W), kBytes);
  }
  const V tiny = V{} + 1e-20f;
  const V av = V{} + a;
  for (int i = 0; i < m; ++i) {
    const V xv = V{} + x[i];
    for (int k = 0; k < G; ++k) {
      V y = xv;
      for (int s = 0; s < 3; ++s) {
        const V o = b0[k] * y + z1[s][k] + tiny;
        z1[s][k] = z2[s][k] - a1[k] * o;
        z2[s][k] = b2[k] * y - a2[k] * o;
        y = o;
      }
      const V q = y * y;
      r[k] = ignore ? q : r[k] + av * (q - r[k]);
      l[k] += q;
    }
  }
  for (int k = 0; k < G; ++k) {
    const int g = firstGroup + k;
    for (int s = 0; s < 3; ++s) {
      __builtin_memcpy(B.Lane(B.z1[s], g, W), &z1[s][k], kBytes);
      __builtin_memcpy(B.Lane(B.z2[s], g, W), &z2[s][k], kBytes);
    }
    __builtin_memcpy(B.Lane(B.StateRMS, g, W), &r[k], kBytes);
    __builtin_memcpy(B.Lane(B.ChunkLeq, g, W), &l[k], kBytes);
  }
}

template <typename V, int G>
[[gnu::always_inline]] inline void RunAllGroups(TRTAEngineIEC1::TBankArrays& B, const float* x, int m, float a,
                                                bool ignore) {
  constexpr int W = static_cast<int>(sizeof(V) / sizeof(float));
  const int groups = B.Padded / W;
  int g = 0;
  for (; g + G <= groups; g += G) RunGroups<V, G>(B, g, x, m, a, ignore);
  for (; g < groups; ++g) RunGroups<V, 1>(B, g, x, m, a, ignore);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VEMRA_BAND_KERNELS_X86 1
typedef float TVec8 __attribute__((vector_size(32)));
typedef float TVec16 __attribute__((vector_size(64)));

__attribute__((target("avx2,fma"))) void RunBandsAvx2(TRTAEngineIEC1::TBankArrays& B, const float* x, int m,
                                                          float a, bool ignore) {
  RunAllGroups<TVec8, 2>(B, x, m, a, ignore);
}

__attribute__((target("avx512f,avx2,fma"))) void RunBandsAvx512(TRTAEngineIEC1::TBankArrays& B, const float* x, int m,
                                                          float a, bool ignore) {
  RunAllGroups<TVec16, 2>(B, x, m, a, ignore);
}
#endif

struct TKernelChoice {
  const char* name;
  void (*run)(TRTAEngineIEC1::TBankArrays&, const float*, int, float, bool);
};

// The kernels this processor can run, widest first; the last is the portable form.
std::vector<TKernelChoice> AvailableKernels() {
  std::vector<TKernelChoice> k;
#ifdef VEMRA_BAND_KERNELS_X86
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  if (avx2 && __builtin_cpu_supports("avx512f")) k.push_back({"avx512", RunBandsAvx512});
  if (avx2) k.push_back({"avx2", RunBandsAvx2});
#endif
  k.push_back({"reference", nullptr});
  return k;
}

const std::vector<TKernelChoice>& Kernels() {
  static const std::vector<TKernelChoice> k = AvailableKernels();
  return k;
}

std::atomic<int> gKernelIndex{0};

}  // namespace

bool TRTAEngineIEC1::UseBandKernel(std::string_view name) {
  if (name == "auto") {
    gKernelIndex.store(0);
    return true;
  }
  const auto& k = Kernels();
  for (std::size_t i = 0; i < k.size(); ++i) {
    if (name == k[i].name) {
      gKernelIndex.store(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

void TRTAEngineIEC1::RunBands(const float* x, int m, float a, bool ignore) {
  if (FFastBands != nullptr)
    FFastBands(*FBank, x, m, a, ignore);
  else if (ignore)
    FBank->RunReference<true>(x, m, a);
  else
    FBank->RunReference<false>(x, m, a);
}

TRTAEngineIEC1::TRTAEngineIEC1(float ASampleRate, int AOctavesPerBand)
    : FSampleRate(ASampleRate), FOctavesPerBand(AOctavesPerBand), AC_Filter(ASampleRate, Filter_Z) {
  const int N = AOctavesPerBand;
  if (N > 0) {
    const int lo = static_cast<int>(std::floor(N * std::log2(20.0 / 1000.0)));
    int hi = static_cast<int>(std::ceil(N * std::log2(20000.0 / 1000.0)));
    if (N == 1) hi -= 1;
    FBandCount = hi - lo + 1;
    FQ = 1.0 / (std::pow(2.0, 1.0 / N) - 1.0);
    FBank = std::make_unique<TBankArrays>(FBandCount);
    for (int i = lo; i <= hi; ++i) {
      const auto j = static_cast<std::size_t>(i - lo);
      const float fc = static_cast<float>(1000.0 * std::pow(2.0, static_cast<double>(i) / N));
      FExactCenter.push_back(fc);
      FCenterFreq.push_back(static_cast<float>(RoundHalfEven(fc)));
      const double w0 = kTwoPi * fc / FSampleRate;
      const double alpha = std::sin(w0) / (2.0 * FQ);
      FBank->b0[j] = static_cast<float>(alpha / (1.0 + alpha));
      FBank->b1[j] = 0.0f;
      FBank->b2[j] = static_cast<float>(-alpha / (1.0 + alpha));
      FBank->a1[j] = static_cast<float>(-2.0 * std::cos(w0) / (1.0 + alpha));
      FBank->a2[j] = static_cast<float>((1.0 - alpha) / (1.0 + alpha));
    }
  } else {
    FBank = std::make_unique<TBankArrays>(0);
  }
  const TKernelChoice& kernel = Kernels()[static_cast<std::size_t>(gKernelIndex.load())];
  FFastBands = kernel.run;
  FBandKernelName = kernel.name;
  FPublishedLeq = std::make_unique<std::atomic<double>[]>(static_cast<std::size_t>(FBandCount));
  FLeqSnapshot.assign(static_cast<std::size_t>(FBandCount), 0.0);
  Reset();
}

TRTAEngineIEC1::~TRTAEngineIEC1() = default;

// --- audio thread ---------------------------------------------------------------------------------

// The counter goes odd with an acquiring read-modify-write, so that nothing the block writes can be
// seen before it; it goes even again with a release store after everything the block wrote.
void TRTAEngineIEC1::BeginBlock() { FBlockSeq.fetch_add(1, std::memory_order_acq_rel); }

void TRTAEngineIEC1::EndBlock() {
  const std::uint32_t s = FBlockSeq.load(std::memory_order_relaxed);
  FBlockSeq.store(s + 1, std::memory_order_release);
}

void TRTAEngineIEC1::ProcessBlock(std::span<const float> InSamples, int& iIgnore) {
  BeginBlock();
  ApplyPendingRequests();

  const int n = static_cast<int>(InSamples.size());
  const float dt = static_cast<float>(1.0 / FSampleRate);
  const float a = static_cast<float>(1.0 - std::exp(-static_cast<double>(dt) / TimeConstant(TimeWeight())));
  FTotalTime += static_cast<double>(n) * dt;
  const float D = static_cast<float>(static_cast<double>(n) * dt);
  double E = 0, sumSquares = 0;
  const bool ignore = iIgnore > 0;
  const bool weighted = Weighting() != fwZ;

  float chunk[kChunk];
  for (int start = 0; start < n; start += kChunk) {
    const int m = std::min(kChunk, n - start);
    for (int i = 0; i < m; ++i) {
      float x = InSamples[static_cast<std::size_t>(start + i)];
      if (weighted) x = AC_Filter.ProcessSample(x);
      const float p = static_cast<float>(static_cast<double>(x) * x);
      sumSquares += p;
      E += static_cast<double>(dt) * p;
      chunk[i] = x;
    }
    RunBands(chunk, m, a, ignore);
    FBank->FlushChunkLeq(dt);
  }

  const int blockLen = ASIOInSamples();
  if (blockLen > 0) {
    SlidingLeq_PushLeqSlice(FBroadbandLeq, static_cast<float>(E), D, LeqWindowSec());
    AddToRMSInterval(sumSquares, static_cast<std::uint32_t>(n));
  }
  PublishLeq();
  EndBlock();
  if (iIgnore > 0) iIgnore -= 1;
}

int TRTAEngineIEC1::GetBandData(std::span<float> CenterFreqs, std::span<float> RMSdB) const {
  const int n = static_cast<int>(std::min({CenterFreqs.size(), RMSdB.size(), FCenterFreq.size()}));
  for (int i = 0; i < n; ++i) {
    const auto j = static_cast<std::size_t>(i);
    CenterFreqs[j] = FCenterFreq[j];
    RMSdB[j] = static_cast<float>(10.0 * std::log10(std::max(static_cast<double>(FBank->StateRMS[j]), 1e-20)));
  }
  return n;
}

void TRTAEngineIEC1::AddToRMSInterval(double SumSquares, std::uint32_t Samples) {
  std::uint64_t old = FRMSInterval.load(std::memory_order_relaxed);
  for (;;) {
    double sum = static_cast<double>(LowFloat(old)) + SumSquares;
    std::uint64_t count = (old >> 32) + Samples;
    // More than 2^32 samples without a readout (a day at 48 kHz): halve both, keeping the mean.
    while (count > 0xFFFFFFFFull) {
      count >>= 1;
      sum *= 0.5;
    }
    const std::uint64_t next = (count << 32) | (PackFloats(static_cast<float>(sum), 0.0f) & 0xFFFFFFFFull);
    if (FRMSInterval.compare_exchange_weak(old, next, std::memory_order_release, std::memory_order_relaxed))
      return;
  }
}

// Release stores: a readout whose acquiring load sees a value of this block is then bound to see the
// sequence counter this block made odd, and refuses the mixture.
void TRTAEngineIEC1::PublishLeq() {
  const int n = FBank->Count;
  for (int i = 0; i < n; ++i)
    FPublishedLeq[static_cast<std::size_t>(i)].store(FBank->StateLeq[static_cast<std::size_t>(i)],
                                                     std::memory_order_release);
  FPublishedTotalTime.store(FTotalTime, std::memory_order_release);
}

// --- sliding Leq ----------------------------------------------------------------------------------

int TRTAEngineIEC1::LeqRingCapacity(int WindowSec, float SampleRate, int BlockSize) {
  if (BlockSize <= 0 || !(SampleRate > 0)) return 0;
  const double slices = RoundHalfEven(static_cast<double>(std::max(WindowSec, 0)) * SampleRate / BlockSize) + 10;
  return static_cast<int>(std::min(slices, static_cast<double>(MaxLeqRingSlices)));
}

void TRTAEngineIEC1::EnsureLeqStorage() {
  const int cap = LeqRingCapacity(LeqWindowSec(), FSampleRate, ASIOInSamples());
  if (cap > static_cast<int>(FBroadbandLeq.Buffer.size())) FBroadbandLeq.Buffer.resize(static_cast<std::size_t>(cap));
}

void TRTAEngineIEC1::EmptyLeqRing() {
  TLeqState& S = FBroadbandLeq;
  S.Head = S.Tail = S.Count = 0;
  S.Capacity = 0;
  S.EnergySum = S.TimeSum = 0;
  PublishSlidingSums();
}

void TRTAEngineIEC1::PublishSlidingSums() {
  FPublishedSliding.store(PackFloats(static_cast<float>(FBroadbandLeq.EnergySum),
                                     static_cast<float>(FBroadbandLeq.TimeSum)),
                          std::memory_order_release);
}

void TRTAEngineIEC1::SlidingLeq_PushLeqSlice(TLeqState& State, float Energy, float Duration, int iLEQ_WINDOW_SEC) {
  TLeqState& S = State;
  if (S.Capacity == 0) {
    // First push since the ring was emptied: its size is fixed now (the storage was provided on the
    // user-interface thread when the block length and the window were set).
    S.Capacity = std::min(LeqRingCapacity(iLEQ_WINDOW_SEC, FSampleRate, ASIOInSamples()),
                          static_cast<int>(S.Buffer.size()));
    S.Head = S.Tail = S.Count = 0;
    S.EnergySum = S.TimeSum = 0;
    if (S.Capacity <= 0) {
      S.Capacity = 0;
      return;
    }
  }
  const auto drop = [&S] {
    const TLeqSlice& old = S.Buffer[static_cast<std::size_t>(S.Tail)];
    S.EnergySum -= old.Energy;
    S.TimeSum -= old.Duration;
    S.Tail = (S.Tail + 1) % S.Capacity;
    S.Count -= 1;
  };
  if (S.Count == S.Capacity) drop();
  S.Buffer[static_cast<std::size_t>(S.Head)] = TLeqSlice{Energy, Duration};
  S.Head = (S.Head + 1) % S.Capacity;
  S.Count += 1;
  S.EnergySum += Energy;
  S.TimeSum += Duration;
  while (S.TimeSum > iLEQ_WINDOW_SEC && S.Count > 0) drop();
  if (S.Count == 0 || S.Head == 0) {
    // Once per pass round the ring: the sums afresh from the slices, so that rounding cannot build up.
    double e = 0, t = 0;
    for (int k = 0, i = S.Tail; k < S.Count; ++k, i = (i + 1) % S.Capacity) {
      e += S.Buffer[static_cast<std::size_t>(i)].Energy;
      t += S.Buffer[static_cast<std::size_t>(i)].Duration;
    }
    S.EnergySum = e;
    S.TimeSum = t;
  }
  PublishSlidingSums();
}

float TRTAEngineIEC1::SlidingLeq_GetLeq_dB(float SPLOffset) {
  const std::uint64_t v = FPublishedSliding.load(std::memory_order_acquire);
  const double energy = LowFloat(v), time = HighFloat(v);
  if (time <= 0) return FLastSlidingLeq;
  FLastSlidingLeq = static_cast<float>(10.0 * std::log10(std::max(energy / time, 1e-30)) + SPLOffset);
  return FLastSlidingLeq;
}

// --- readouts -------------------------------------------------------------------------------------

float TRTAEngineIEC1::GetRMSdBFS() {
  const std::uint64_t v = FRMSInterval.exchange(0, std::memory_order_acq_rel);
  const std::uint64_t count = v >> 32;
  if (count == 0) return -600.0f;
  const float r = static_cast<float>(std::sqrt(static_cast<double>(LowFloat(v)) / static_cast<double>(count)));
  const float L = static_cast<float>(20.0 * std::log10(std::max(static_cast<double>(r), 1e-30)));
  if (L > FPeakdBFS.load(std::memory_order_relaxed)) FPeakdBFS.store(L, std::memory_order_relaxed);
  return L;
}

float TRTAEngineIEC1::ReadLeq(float SPLOffset, std::span<const float> CorrDB, bool& ok) {
  // Take the published values first (a short window for a block to overlap), then work on the copy.
  const std::uint32_t s1 = FBlockSeq.load(std::memory_order_acquire);
  ok = (s1 & 1u) == 0;
  if (!ok) return 0;
  const double T = FPublishedTotalTime.load(std::memory_order_acquire);
  for (std::size_t j = 0; j < FLeqSnapshot.size(); ++j)
    FLeqSnapshot[j] = FPublishedLeq[j].load(std::memory_order_acquire);
  AfterLeqSnapshotRead();
  // The loads above are acquiring, so this second look at the counter cannot move before them.
  ok = FBlockSeq.load(std::memory_order_relaxed) == s1;
  if (!ok) return 0;
  double S = 0;
  for (std::size_t j = 0; j < FLeqSnapshot.size(); ++j) {
    const double corr = j < CorrDB.size() ? CorrDB[j] : 0.0;
    S += FLeqSnapshot[j] * std::pow(10.0, -corr / 10.0);
  }
  const double ms = T > 0 ? S / T : 0.0;
  return static_cast<float>(10.0 * std::log10(std::max(ms, 1e-30)) + SPLOffset);
}

bool TRTAEngineIEC1::GetWeightingValue(TRTAExport ExRTAData, float SPLOffset, float& output,
                                       std::span<const float> CorrDB) {
  if (FBlockSeq.load(std::memory_order_acquire) & 1u) return false;
  switch (ExRTAData) {
    case exRMS:
      output = GetRMSdBFS() + SPLOffset;
      return true;
    case exLeq: {
      bool ok = false;
      const float v = ReadLeq(SPLOffset, CorrDB, ok);
      if (ok) output = v;
      return ok;
    }
    case exPeak:
      output = GetPeakdBFS() + SPLOffset;
      return true;
    case exLeqSliding:
      output = SlidingLeq_GetLeq_dB(SPLOffset);
      return true;
    case exSEL:
      break;
  }
  return false;
}

// --- resets and settings --------------------------------------------------------------------------

void TRTAEngineIEC1::Reset() {
  FTotalTime = 0;
  FBank->ClearStates();
  FPeakdBFS.store(-9999.0f, std::memory_order_relaxed);
  FRMSInterval.store(0, std::memory_order_relaxed);
  EmptyLeqRing();
  FFreqWeighting.store(fwZ, std::memory_order_relaxed);
  AC_Filter = TAFilter(FSampleRate, Filter_Z);
  PublishLeq();
}

void TRTAEngineIEC1::ApplyResetLeqRMSPeak() {
  FPeakdBFS.store(-9999.0f, std::memory_order_relaxed);
  FRMSInterval.store(0, std::memory_order_relaxed);
  EmptyLeqRing();
}

void TRTAEngineIEC1::ResetLeqRMSPeak(float /*siVorgabeRMS*/) { ApplyResetLeqRMSPeak(); }

void TRTAEngineIEC1::ApplyWeigthing(TFreqWeighting weighting, int iASIOBlockSize) {
  FASIOInSamples.store(iASIOBlockSize, std::memory_order_relaxed);
  if (weighting == fwA) AC_Filter = TAFilter(FSampleRate, Filter_A);
  if (weighting == fwC) AC_Filter = TAFilter(FSampleRate, Filter_C);
  FRMSInterval.store(0, std::memory_order_relaxed);
  FFreqWeighting.store(weighting, std::memory_order_relaxed);
}

void TRTAEngineIEC1::SetWeigthing(TFreqWeighting weighting, int iASIOBlockSize) {
  ApplyWeigthing(weighting, iASIOBlockSize);
  EnsureLeqStorage();
}

void TRTAEngineIEC1::SetLeqWindowSec(int Seconds) {
  LEQ_WINDOW_SEC.store(std::max(Seconds, 1), std::memory_order_relaxed);
  EnsureLeqStorage();
}

namespace {
constexpr std::uint32_t kReqReset = 1u, kReqLeqRMSPeak = 2u, kReqWeighting = 4u;
}

void TRTAEngineIEC1::RequestReset() {
  // A reset returns the engine to Z: a weighting asked for before it is void.
  FPending.fetch_and(~kReqWeighting, std::memory_order_relaxed);
  FPending.fetch_or(kReqReset, std::memory_order_release);
}

void TRTAEngineIEC1::RequestResetLeqRMSPeak(float /*siVorgabeRMS*/) {
  FPending.fetch_or(kReqLeqRMSPeak, std::memory_order_release);
}

void TRTAEngineIEC1::RequestWeigthing(TFreqWeighting weighting, int iASIOBlockSize) {
  FPendingWeighting.store(weighting, std::memory_order_relaxed);
  FPendingBlockSize.store(iASIOBlockSize, std::memory_order_relaxed);
  FPending.fetch_or(kReqWeighting, std::memory_order_release);
}

void TRTAEngineIEC1::ApplyPendingRequests() {
  if (FPending.load(std::memory_order_relaxed) == 0) return;
  const std::uint32_t req = FPending.exchange(0, std::memory_order_acquire);
  if (req & kReqReset) Reset();
  if (req & kReqLeqRMSPeak) ApplyResetLeqRMSPeak();
  if (req & kReqWeighting)
    ApplyWeigthing(FPendingWeighting.load(std::memory_order_relaxed),
                   FPendingBlockSize.load(std::memory_order_relaxed));
}

// --- bank and lookups -----------------------------------------------------------------------------

TIECBand TRTAEngineIEC1::GetBand(int i) const {
  TIECBand b;
  const auto j = static_cast<std::size_t>(i);
  const TBankArrays& B = *FBank;
  b.CenterFreq = FCenterFreq[j];
  b.ExactCenter = FExactCenter[j];
  for (int s = 0; s < 3; ++s)
    b.Filters[s] = TBandSection{B.b0[j], B.b1[j], B.b2[j], B.a1[j], B.a2[j], B.z1[s][j], B.z2[s][j]};
  b.StateRMS = B.StateRMS[j];
  b.StateLeq = B.StateLeq[j];
  b.Peak = B.Peak[j];
  return b;
}

int TRTAEngineIEC1::GetBandindexZurF(float f) const {
  if (FBandCount == 0) return -1;
  int idx = 0;
  for (int i = 0; i < FBandCount; ++i)
    if (FCenterFreq[static_cast<std::size_t>(i)] <= f) idx = i;
  return idx;
}

float TRTAEngineIEC1::IEC_RoundFreqCursorAnzeige(int IndexIECfArr, int iOctave) const {
  if (IndexIECfArr < 0 || IndexIECfArr >= FBandCount) return 0.0f;
  std::span<const float> table;
  int row = IndexIECfArr;
  switch (iOctave) {
    case 1: table = kOctaveTable; row = IndexIECfArr - 1; break;
    case 3: table = kThirdTable; break;
    case 6: table = kSixthTable; break;
    case 12: table = kTwelfthTable; break;
    default: break;
  }
  if (!table.empty() && row >= 0 && row < static_cast<int>(table.size())) return table[static_cast<std::size_t>(row)];
  const double f = FCenterFreq[static_cast<std::size_t>(IndexIECfArr)];
  if (f < 100) return static_cast<float>(RoundHalfEven(f));
  if (f < 1000) return static_cast<float>(RoundHalfEven(f / 5) * 5);
  return static_cast<float>(RoundHalfEven(f / 100) * 100);
}

double TRTAEngineIEC1::TimeConstant(TRTATimeWeight W) {
  switch (W) {
    case twFast: return 0.125;
    case twSlow: return 1.0;
    case twImpulse: return 0.035;
    case twRSE_Slow100: return 2.5;
    case twRSE_UltraSlow20Hz: return 6.0;
  }
  return 0.125;
}

float TRTAEngineIEC1::AWeighting_dB(float f) {
  if (f <= 0) return -200.0f;
  const double f2 = static_cast<double>(f) * f;
  const double num = 148698928.243089 * f2 * f2;
  const double den = (f2 + 424.318677406009) * std::sqrt((f2 + 11589.0930520225) * (f2 + 544440.67046057289997)) *
                     (f2 + 148698928.243089);
  return static_cast<float>(20.0 * std::log10(num / den) + 2.0);
}

float TRTAEngineIEC1::CWeighting_dB(float f) {
  if (f <= 0) return -200.0f;
  const double f2 = static_cast<double>(f) * f;
  const double num = 148698928.243089 * f2;
  const double den = (f2 + 424.318677406009) * (f2 + 148698928.243089);
  return static_cast<float>(20.0 * std::log10(num / den) + 0.001);
}
