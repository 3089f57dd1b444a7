#include "room/uRT60Complete.h"

#include "dsp/TFftwPlanLock.h"
#include "room/uBandpassIEC.h"

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <list>
#include <mutex>
#include <new>
#include <numbers>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// A response shorter than this holds no judgeable decay (the truncation rule averages its last tenth).
constexpr std::size_t kMinUsableSamples = 10;

// Sample counts derived from times: nearest integer, ties to even; counts beyond 2^62 saturate there.
std::int64_t RoundSamples(double x) {
  if (!std::isfinite(x) || x <= 0) return 0;
  constexpr double kMax = 4611686018427387904.0;  // 2^62
  return x >= kMax ? static_cast<std::int64_t>(kMax) : static_cast<std::int64_t>(std::nearbyint(x));
}

// Index of the largest magnitude, the first one on ties; 0 for an empty array.
std::size_t PeakIndex(const float* x, std::size_t n) {
  std::size_t best = 0;
  float peak = -1.0f;
  for (std::size_t i = 0; i < n; ++i) {
    const float a = std::fabs(x[i]);
    if (a > peak) {
      peak = a;
      best = i;
    }
  }
  return best;
}

// ---------------------------------------------------------------------------------------------------------
// Large float buffers. A 30 s measurement works on buffers of tens of megabytes; touching fresh memory
// page by page costs more than the transforms themselves, so large buffers are aligned to 2 MiB and
// marked for huge pages. The contents are not initialised.

class TFloatBuffer {
public:
  TFloatBuffer() = default;
  explicit TFloatBuffer(std::size_t Count) : FCount(Count) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    std::size_t bytes = std::max<std::size_t>(Count, 1) * sizeof(float);
    const std::size_t align = bytes >= kHuge ? kHuge : 64;
    bytes = (bytes + align - 1) / align * align;
    FData = static_cast<float*>(std::aligned_alloc(align, bytes));
    if (!FData) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    if (align == kHuge) madvise(FData, bytes, MADV_HUGEPAGE);
#endif
  }
  TFloatBuffer(TFloatBuffer&& o) noexcept : FData(o.FData), FCount(o.FCount) {
    o.FData = nullptr;
    o.FCount = 0;
  }
  TFloatBuffer& operator=(TFloatBuffer&& o) noexcept {
    std::swap(FData, o.FData);
    std::swap(FCount, o.FCount);
    return *this;
  }
  TFloatBuffer(const TFloatBuffer&) = delete;
  TFloatBuffer& operator=(const TFloatBuffer&) = delete;
  ~TFloatBuffer() { std::free(FData); }

  float* Data() const { return FData; }
  // Makes room for at least Count samples; the contents are lost when it has to grow.
  void Reserve(std::size_t Count) {
    if (Count > FCount || !FData) *this = TFloatBuffer(Count);
  }

private:
  float* FData = nullptr;
  std::size_t FCount = 0;
};

// ---------------------------------------------------------------------------------------------------------
// FFT plans. FFTW's planner is not thread-safe: plans are made and destroyed under TFftwPlanLock, while
// executing a finished plan on other arrays is safe from any thread. Plans are in place (real to half
// complex and back), made without measuring (the arrays are not touched), and kept for the last few
// sizes, since making one for 2^23 points takes a good part of the whole convolution.

struct TFftPlans {
  std::size_t N = 0;
  fftwf_plan Forward = nullptr;
  fftwf_plan Backward = nullptr;
  TFftPlans() = default;
  TFftPlans(const TFftPlans&) = delete;
  TFftPlans& operator=(const TFftPlans&) = delete;
  ~TFftPlans() {
    const TFftwPlanLock lock;
    if (Forward) fftwf_destroy_plan(Forward);
    if (Backward) fftwf_destroy_plan(Backward);
  }
};

constexpr std::size_t kCachedPlanSizes = 3;

// Buffer: an array of N + 2 floats with the alignment every buffer of this size gets (TFloatBuffer).
std::shared_ptr<const TFftPlans> PlansFor(std::size_t N, float* Buffer) {
  static std::mutex cacheMutex;
  static std::list<std::shared_ptr<const TFftPlans>> cache;  // most recently used first
  {
    const std::lock_guard lock(cacheMutex);
    for (auto it = cache.begin(); it != cache.end(); ++it)
      if ((*it)->N == N) {
        cache.splice(cache.begin(), cache, it);
        return cache.front();
      }
  }
  auto plans = std::make_shared<TFftPlans>();
  plans->N = N;
  {
    const TFftwPlanLock lock;
    auto* spectrum = reinterpret_cast<fftwf_complex*>(Buffer);
    const int n = static_cast<int>(N);
    plans->Forward = fftwf_plan_dft_r2c_1d(n, Buffer, spectrum, FFTW_ESTIMATE);
    plans->Backward = fftwf_plan_dft_c2r_1d(n, spectrum, Buffer, FFTW_ESTIMATE);
  }
  if (!plans->Forward || !plans->Backward) throw std::runtime_error("no FFT plan for this size");
  std::shared_ptr<const TFftPlans> evicted;
  {
    const std::lock_guard lock(cacheMutex);
    cache.push_front(plans);
    if (cache.size() > kCachedPlanSizes) {
      evicted = std::move(cache.back());  // destroyed outside the cache lock
      cache.pop_back();
    }
  }
  return plans;
}

// Linear convolution of A with a second operand of LengthB samples that FillB writes into the array it
// is given. The result is returned in a transform buffer whose first A.size() samples are the
// convolution (already divided by the transform size, as an inverse transform does); the transform size
// is the smallest power of two not less than A.size() + LengthB. The two forward transforms of long
// operands run on two threads.
template <class TFill>
TFloatBuffer ConvolveIntoBuffer(const std::vector<float>& A, std::size_t LengthB, TFill&& FillB) {
  constexpr std::size_t kMaxN = std::size_t{1} << 30;
  const std::size_t need = A.size() + LengthB;
  std::size_t N = 1;
  while (N < need) {
    N <<= 1;
    if (N > kMaxN) throw std::length_error("convolution longer than 2^30 samples");
  }
  const std::size_t padded = N + 2;  // room for N/2 + 1 complex values
  TFloatBuffer a(padded), b(padded);
  const std::shared_ptr<const TFftPlans> plans = PlansFor(N, a.Data());

  auto transformB = [&] {
    FillB(b.Data());
    std::fill(b.Data() + LengthB, b.Data() + padded, 0.0f);
    fftwf_execute_dft_r2c(plans->Forward, b.Data(), reinterpret_cast<fftwf_complex*>(b.Data()));
  };
  std::thread helper;
  if (N >= (std::size_t{1} << 16)) helper = std::thread(transformB);
  std::copy(A.begin(), A.end(), a.Data());
  std::fill(a.Data() + A.size(), a.Data() + padded, 0.0f);
  fftwf_execute_dft_r2c(plans->Forward, a.Data(), reinterpret_cast<fftwf_complex*>(a.Data()));
  if (helper.joinable())
    helper.join();
  else
    transformB();

  // Spectrum product, with the 1/N of the inverse transform folded in (exact: N is a power of two).
  const float scale = 1.0f / static_cast<float>(N);
  float* x = a.Data();
  const float* y = b.Data();
  for (std::size_t k = 0; k < padded; k += 2) {
    const float re = x[k] * y[k] - x[k + 1] * y[k + 1];
    const float im = x[k] * y[k + 1] + x[k + 1] * y[k];
    x[k] = re * scale;
    x[k + 1] = im * scale;
  }
  fftwf_execute_dft_c2r(plans->Backward, reinterpret_cast<fftwf_complex*>(a.Data()), a.Data());
  return a;
}

// Divides the n samples by their largest magnitude when that is at least 1e-12.
void NormalisePeak(float* x, std::size_t n) {
  if (n == 0) return;
  const float peak = std::fabs(x[PeakIndex(x, n)]);
  if (!(peak >= 1e-12f)) return;
  for (std::size_t i = 0; i < n; ++i) x[i] /= peak;
}

// Time-reversed sweep under the falling envelope exp(-R t); its last FadeSamples samples (the sweep's
// first ones, in the time-reversed order) fade out to zero along a half cosine.
void FillInverseSweep(const std::vector<float>& Sweep, double R, double Fs, float* Out, std::size_t FadeSamples = 0) {
  const std::size_t n = Sweep.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / Fs;
    Out[i] = static_cast<float>(std::exp(-R * t) * Sweep[n - 1 - i]);
  }
  const std::size_t m = std::min(FadeSamples, n);
  for (std::size_t k = 0; k < m; ++k)
    Out[n - 1 - k] *= static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(k) + 0.5) /
                                                               static_cast<double>(m)));
}

// Periods of the start frequency over which the deconvolution's inverse filter fades out (see
// ImpulseResponseFromRecording).
constexpr double kInverseFadePeriods = 10.0;

bool AllFinite(const std::vector<float>& x) {
  return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

// ---------------------------------------------------------------------------------------------------------
// Truncation at the usable decay: the number of samples to keep, 0 for no usable response. S receives
// the backward energy integral (single precision).
std::size_t UsableDecayLength(const float* x, std::size_t n, TFloatBuffer& S) {
  if (n < kMinUsableSamples) return 0;
  S.Reserve(n);
  float* s = S.Data();
  float acc = 0.0f;
  for (std::size_t i = n; i-- > 0;) {
    acc += x[i] * x[i];
    s[i] = acc;
  }
  const float s0 = s[0];
  if (!(s0 > 0.0f) || !std::isfinite(s0)) return 0;  // silent, or samples that are not finite

  const std::size_t m = n / 10;
  double tailSum = 0.0;
  for (std::size_t i = n - m; i < n; ++i) tailSum += s[i];
  const double tenTail = 10.0 * (tailSum / static_cast<double>(m));

  for (std::size_t k = 0; k < n; ++k) {
    if (s[k] < tenTail) return k;
    // Below -80 dB means a ratio below 1e-8; the logarithm is taken only near that boundary.
    const float ratio = s[k] / s0;
    if (ratio < 2e-8f && 10.0 * std::log10(static_cast<double>(ratio) + 1e-30) < -80.0) return k;
  }
  return n - 1;
}

// The truncation of the chain, in place; empty when no usable response is left.
void TruncateToUsableDecay(std::vector<float>& IR) {
  TFloatBuffer S;
  IR.resize(UsableDecayLength(IR.data(), IR.size(), S));
  if (!TRTPipeline::IsUsableResponse(IR)) IR.clear();
}

// ---------------------------------------------------------------------------------------------------------
// Decay analysis

struct TDecayScratch {
  TFloatBuffer E;  // backward energy integral
  TFloatBuffer D;  // decay curve in dB, filled only as far as the fits can reach
};

struct TFitRange {
  float Ls;  // start level, dB
  float Le;  // end level, dB
};

// One least-squares fit over the decay curve D[0 ... count-1], stopped at the noise threshold.
void FitDecay(const float* D, std::size_t count, float fs, float noiseStop, TFitRange range, float& time,
              float& r2, bool& valid) {
  valid = false;
  std::int64_t start = -1, end = -1;
  for (std::size_t i = 0; i < count; ++i) {
    if (start < 0 && D[i] <= range.Ls) start = static_cast<std::int64_t>(i);
    if (start >= 0 && D[i] <= range.Le) {
      end = static_cast<std::int64_t>(i);
      break;
    }
    if (D[i] <= noiseStop) break;
  }
  if (start < 0 || end <= start) return;

  float sx = 0, sy = 0, sxy = 0, sxx = 0;
  for (std::int64_t i = start; i <= end; ++i) {
    const float x = static_cast<float>(i) / fs;
    const float y = D[i];
    sx += x;
    sy += y;
    sxy += x * y;
    sxx += x * x;
  }
  const float np = static_cast<float>(end - start + 1);
  const float slope = (np * sxy - sx * sy) / std::max(np * sxx - sx * sx, 1e-30f);
  const float intercept = (sy - slope * sx) / np;
  const float mean = sy / np;
  double ssRes = 0, ssTot = 0;
  for (std::int64_t i = start; i <= end; ++i) {
    const float x = static_cast<float>(i) / fs;
    const double res = D[i] - (slope * x + intercept);
    const double dev = D[i] - mean;
    ssRes += res * res;
    ssTot += dev * dev;
  }
  r2 = static_cast<float>(1.0 - ssRes / std::max(ssTot, 1e-30));
  if (slope < 0) {
    time = -60.0f / slope;
    valid = r2 >= 0.9f;
  }
}

TRTResult DecayTimes(const float* x, std::size_t n, float fs, TDecayScratch& w) {
  TRTResult r;
  if (n == 0 || !(fs > 0) || !std::isfinite(fs)) return r;
  w.E.Reserve(n);
  float* E = w.E.Data();
  float acc = 0.0f;
  for (std::size_t i = n; i-- > 0;) {
    acc += x[i] * x[i];
    E[i] = acc;
  }
  // Adding non-negative values never lowers a float sum, so the largest value is E[0]. A response
  // without energy (or with samples that are not finite) has no decay curve: the result stays zero.
  const float M = E[0];
  if (!(M > 0.0f) || !std::isfinite(M)) return r;
  auto level = [E, M](std::size_t i) {
    return static_cast<float>(10.0 * std::log10(static_cast<double>(std::max(E[i] / M, 1e-30f))));
  };

  const std::size_t s = static_cast<std::size_t>(std::nearbyint(0.9 * static_cast<double>(n)));
  double noiseSum = 0.0;
  for (std::size_t i = s; i < n; ++i) noiseSum += level(i);
  r.NoiseFloor_dB = s < n ? static_cast<float>(noiseSum / static_cast<double>(n - s)) : 0.0f;
  const float noiseStop = r.NoiseFloor_dB + 3.0f;

  // Every fit's search ends at the latest at the first point at or below the noise threshold, or at or
  // below -35 dB (there each fit has its start and its end), so the curve is needed only that far.
  constexpr float kDeepestEnd = -35.0f;
  const float lastNeeded = std::max(noiseStop, kDeepestEnd);
  w.D.Reserve(n);
  float* D = w.D.Data();
  std::size_t count = 0;
  while (count < n) {
    D[count] = level(count);
    if (D[count++] <= lastNeeded) break;
  }

  FitDecay(D, count, fs, noiseStop, {0.0f, -10.0f}, r.EDT, r.R2_EDT, r.ValidEDT);
  FitDecay(D, count, fs, noiseStop, {-5.0f, -25.0f}, r.T20, r.R2_T20, r.ValidT20);
  FitDecay(D, count, fs, noiseStop, {-5.0f, -35.0f}, r.T30, r.R2_T30, r.ValidT30);
  return r;
}

// ---------------------------------------------------------------------------------------------------------
// Energy measures

TClarityResult BroadbandClarity(const float* x, std::size_t n, float fs) {
  TClarityResult c;
  if (n == 0 || !(fs > 0) || !std::isfinite(fs)) return c;
  const std::int64_t idx50 = RoundSamples(0.05 * fs);
  const std::int64_t idx80 = RoundSamples(0.08 * fs);
  float total = 0, moment = 0, early50 = 0, late50 = 0, early80 = 0, late80 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const float e = x[i] * x[i];
    const auto ii = static_cast<std::int64_t>(i);
    total += e;
    moment += e * (static_cast<float>(i) / fs);
    (ii <= idx50 ? early50 : late50) += e;
    (ii <= idx80 ? early80 : late80) += e;
  }
  if (!std::isfinite(total) || !std::isfinite(moment)) return c;
  // Zero late energy is floored at 1e-30 (+300 dB for a lone impulse); zero early energy likewise
  // (-300 dB), so that neither ratio becomes infinite.
  const float L50 = late50 > 1e-30f ? late50 : 1e-30f;
  const float L80 = late80 > 1e-30f ? late80 : 1e-30f;
  c.C50_dB = static_cast<float>(10.0 * std::log10(static_cast<double>(std::max(early50, 1e-30f)) / L50));
  c.C80_dB = static_cast<float>(10.0 * std::log10(static_cast<double>(std::max(early80, 1e-30f)) / L80));
  const float T = total > 1e-30f ? total : 1e-30f;
  c.D50_Prozent = early50 / T * 100.0f;
  c.Ts_ms = moment / T * 1000.0f;
  return c;
}

// C50 and C80 of a band signal with time 0 at its own peak; the boundary sample counts as late.
void BandClarity(const float* x, std::size_t n, float fs, float& C50, float& C80) {
  C50 = C80 = 0.0f;
  const std::size_t p = PeakIndex(x, n);
  const auto boundary = [&](double ms) {
    return std::min<std::size_t>(n, p + static_cast<std::size_t>(RoundSamples(0.001 * ms * fs)));
  };
  const std::size_t b50 = boundary(50), b80 = boundary(80);
  double early50 = 0, late50 = 0, early80 = 0, late80 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double e = static_cast<double>(x[i]) * x[i];
    (i < b50 ? early50 : late50) += e;
    (i < b80 ? early80 : late80) += e;
  }
  if (!std::isfinite(early80 + late80)) return;
  C50 = static_cast<float>(10.0 * std::log10((early50 + 1e-30) / (late50 + 1e-30)));
  C80 = static_cast<float>(10.0 * std::log10((early80 + 1e-30) / (late80 + 1e-30)));
}

// ---------------------------------------------------------------------------------------------------------
// Band-wise work in parallel: task 0 is the broadband response, task 1 + b is band b. Each worker filters
// a band into its own scratch and writes only that band's results, so the numbers do not depend on the
// number of workers.

struct TBandJob {
  const std::vector<float>* IR = nullptr;
  float Fs = 0;
  const std::vector<float>* Centers = nullptr;
  std::int32_t Fraction = 1;
  bool Broadband = false;
  bool Decay = false;
  bool Clarity = false;
};

void RunBandJob(const TBandJob& job, int threads, TRoomAnalysis& out) {
  const std::size_t nb = job.Centers->size();
  out.Bands.assign(nb, TRTResult{});
  out.C50.assign(nb, 0.0f);
  out.C80.assign(nb, 0.0f);
  const std::size_t n = job.IR->size();
  const std::size_t tasks = nb + 1;

  std::atomic<std::size_t> next{job.Broadband ? 0u : 1u};
  std::mutex errorMutex;
  std::exception_ptr error;
  auto worker = [&] {
    try {
      TDecayScratch scratch;
      TFloatBuffer band;
      for (std::size_t t = next.fetch_add(1); t < tasks; t = next.fetch_add(1)) {
        if (t == 0) {
          if (job.Decay) out.Broadband = DecayTimes(job.IR->data(), n, job.Fs, scratch);
          if (job.Clarity) out.Clarity = BroadbandClarity(job.IR->data(), n, job.Fs);
          continue;
        }
        const std::size_t b = t - 1;
        band.Reserve(n);
        TBandpassIEC filter((*job.Centers)[b], job.Fs, job.Fraction);
        filter.ProcessBuffer(job.IR->data(), band.Data(), n);
        if (job.Decay) out.Bands[b] = DecayTimes(band.Data(), n, job.Fs, scratch);
        if (job.Clarity) BandClarity(band.Data(), n, job.Fs, out.C50[b], out.C80[b]);
      }
    } catch (...) {
      const std::lock_guard lock(errorMutex);
      if (!error) error = std::current_exception();
      next.store(tasks);
    }
  };

  const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), tasks);
  std::vector<std::thread> pool;
  for (std::size_t i = 1; i < wanted; ++i) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;  // fewer threads: the remaining ones share the work
    }
  }
  worker();
  for (std::thread& th : pool) th.join();
  if (error) std::rethrow_exception(error);
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
  std::int64_t n = usable ? RoundSamples(static_cast<double>(Dur) * FFs) : 0;
  if (n > std::numeric_limits<std::int32_t>::max()) n = 0;  // beyond what playback can count
  auto sweep = std::make_shared<std::vector<float>>(static_cast<std::size_t>(n));
  // The phase is advanced before the sine is taken. It is accumulated in double precision: over a 30 s
  // sweep it grows to some 10^5 radians, where a single-precision phase moves in steps of 0.03 rad and
  // more; the sweep then no longer follows its exponential law, and the deconvolved response gets a
  // smeared floor that lengthens the measured decay times by a few percent.
  const float K = std::log(F2 / F1);
  const double twoPiOverFs = 2.0 * std::numbers::pi / FFs;
  double phase = 0.0;
  for (std::int64_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / FFs;
    const double f = F1 * std::exp(K * t / Dur);
    phase += twoPiOverFs * f;
    (*sweep)[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(phase));
  }
  return sweep;
}

void TRTPipeline::LoadSweep(TSweepBuffer Sweep) {
  // Stop first. A callback that is inside ProcessSweepBlock right now (odd block counter) may still read
  // the old buffer: wait until that one block is over. Every later block sees playback off and does not
  // touch the buffer. Flag and counter use sequentially consistent order on both sides, so one side
  // always sees the other's store.
  FSweepActive.store(false, std::memory_order_seq_cst);
  const std::uint32_t seq = FSweepBlockSeq.load(std::memory_order_seq_cst);
  if (seq & 1u)
    while (FSweepBlockSeq.load(std::memory_order_acquire) == seq) std::this_thread::yield();
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
  const std::uint32_t seq = FSweepBlockSeq.load(std::memory_order_relaxed);  // only this thread writes it
  FSweepBlockSeq.store(seq + 1, std::memory_order_seq_cst);                   // odd: inside a block
  bool produced = false;
  if (FSweepActive.load(std::memory_order_seq_cst)) {
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
    produced = sum != 0.0f;
    if (!produced) FSweepActive.store(false, std::memory_order_seq_cst);
  } else {
    std::fill_n(Channel0.begin(), n, 0.0f);
  }
  FSweepBlockSeq.store(seq + 2, std::memory_order_release);
  return produced;
}

// ---------------------------------------------------------------------------------------------------------
// Impulse response

std::vector<float> TRTPipeline::GenerateInverseSweep_RT60(const std::vector<float>& Sweep) const {
  std::vector<float> inverse(Sweep.size());
  FillInverseSweep(Sweep, InverseEnvelopeRate(), FFs, inverse.data());
  return inverse;
}

double TRTPipeline::InverseEnvelopeRate() const {
  const double R = std::log(static_cast<double>(fsweep_f2) / fsweep_f1) / fsweep_Dur;
  return std::isfinite(R) ? R : 0.0;
}

std::vector<float> TRTPipeline::ConvolveFFT(const std::vector<float>& A, const std::vector<float>& B) const {
  if (A.empty()) return {};
  TFloatBuffer work =
      ConvolveIntoBuffer(A, B.size(), [&B](float* dst) { std::copy(B.begin(), B.end(), dst); });
  NormalisePeak(work.Data(), A.size());
  return std::vector<float>(work.Data(), work.Data() + A.size());
}

std::vector<float> TRTPipeline::ExtractImpulse(const std::vector<float>& IR, float Seconds) const {
  if (IR.empty()) return {};
  const std::size_t b = PeakIndex(IR.data(), IR.size());
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(RoundSamples(static_cast<double>(Seconds) * FFs)),
                            IR.size() - b);
  return std::vector<float>(IR.begin() + static_cast<std::ptrdiff_t>(b),
                            IR.begin() + static_cast<std::ptrdiff_t>(b + count));
}

std::vector<float> TRTPipeline::ExtractImpulseISO(const std::vector<float>& IR, float /*Fs*/) {
  TFloatBuffer S;
  const std::size_t keep = UsableDecayLength(IR.data(), IR.size(), S);
  return std::vector<float>(IR.begin(), IR.begin() + static_cast<std::ptrdiff_t>(keep));
}

bool TRTPipeline::IsUsableResponse(const std::vector<float>& IR) {
  if (IR.size() < kMinUsableSamples) return false;
  bool energy = false;
  for (const float v : IR) {
    if (!std::isfinite(v * v)) return false;
    energy = energy || v * v > 0.0f;
  }
  return energy;
}

std::vector<float> TRTPipeline::ImpulseResponseFromRecording(const std::vector<float>& Recording,
                                                             const std::vector<float>& Sweep,
                                                             float SweepSeconds) const {
  if (Recording.empty() || Sweep.empty() || !AllFinite(Recording) || !AllFinite(Sweep)) return {};
  // The convolution of the recording with the inverse filter, normalised to its peak, is kept only in
  // the transform buffer; the response is taken from it from the peak on.
  const double R = InverseEnvelopeRate();
  const double f1 = fsweep_f1;
  const std::size_t fade =
      std::isfinite(f1) && f1 > 0
          ? std::min(static_cast<std::size_t>(RoundSamples(kInverseFadePeriods * FFs / f1)), Sweep.size() / 4)
          : 0;
  TFloatBuffer work = ConvolveIntoBuffer(Recording, Sweep.size(),
                                         [&](float* dst) { FillInverseSweep(Sweep, R, FFs, dst, fade); });
  const std::size_t n = Recording.size();
  NormalisePeak(work.Data(), n);
  const std::size_t b = PeakIndex(work.Data(), n);
  const std::size_t count = std::min<std::size_t>(
      static_cast<std::size_t>(RoundSamples(static_cast<double>(SweepSeconds) * FFs)), n - b);
  std::vector<float> ir(work.Data() + b, work.Data() + b + count);
  work = TFloatBuffer();
  TruncateToUsableDecay(ir);
  return ir;
}

std::vector<float> TRTPipeline::ImpulseResponseFromPeak(const std::vector<float>& IR) {
  if (IR.empty()) return {};
  std::vector<float> ir(IR.begin() + static_cast<std::ptrdiff_t>(PeakIndex(IR.data(), IR.size())), IR.end());
  TruncateToUsableDecay(ir);
  return ir;
}

// ---------------------------------------------------------------------------------------------------------
// Decay and clarity analysis

int TRTPipeline::AnalysisThreads() const {
  if (FAnalysisThreads > 0) return FAnalysisThreads;
  const unsigned hw = std::thread::hardware_concurrency();
  return hw > 0 ? static_cast<int>(hw) : 1;
}

TRoomAnalysis TRTPipeline::AnalyzeImpulseResponse(const std::vector<float>& IR, float Fs) const {
  TRoomAnalysis r;
  r.BandCenters = fRT60_IECOctaveCenters;
  r.Bands.assign(r.BandCenters.size(), TRTResult{});
  r.C50.assign(r.BandCenters.size(), 0.0f);
  r.C80.assign(r.BandCenters.size(), 0.0f);
  if (!IsUsableResponse(IR) || !(Fs > 0) || !std::isfinite(Fs)) return r;
  r.Usable = true;
  RunBandJob({&IR, Fs, &fRT60_IECOctaveCenters, fq, true, true, true}, AnalysisThreads(), r);
  return r;
}

TRTResult TRTPipeline::AnalyzeBandISO(const std::vector<float>& IR, float SampleRate) const {
  TDecayScratch scratch;
  return DecayTimes(IR.data(), IR.size(), SampleRate, scratch);
}

std::vector<TRTResult> TRTPipeline::RT60PerThirdOctave(const std::vector<float>& IR, float fs) const {
  TRoomAnalysis r;
  RunBandJob({&IR, fs, &fRT60_IECOctaveCenters, fq, false, true, false}, AnalysisThreads(), r);
  return r.Bands;
}

TClarityResult TRTPipeline::ClarityFromIR(const std::vector<float>& IR, float Fs) const {
  return BroadbandClarity(IR.data(), IR.size(), Fs);
}

void TRTPipeline::ComputeBandClarity(const std::vector<float>& IR, float Fs, std::vector<float>& C50,
                                     std::vector<float>& C80) const {
  TRoomAnalysis r;
  RunBandJob({&IR, Fs, &fRT60_IECOctaveCenters, fq, false, false, true}, AnalysisThreads(), r);
  C50 = std::move(r.C50);
  C80 = std::move(r.C80);
}

float TRTPipeline::Mean_RT60_D50(const std::vector<float>& Values) {
  if (Values.empty()) return 0.0f;
  float sum = 0.0f;
  for (const float v : Values) sum += v;
  return sum / static_cast<float>(Values.size());
}

float TRTPipeline::StdDev(const std::vector<float>& Values) {
  if (Values.empty()) return 0.0f;
  const float mean = Mean_RT60_D50(Values);
  double sum = 0.0;
  for (const float v : Values) sum += (static_cast<double>(v) - mean) * (static_cast<double>(v) - mean);
  return static_cast<float>(std::sqrt(sum / static_cast<double>(Values.size())));
}

float TRTPipeline::MeanClarity_C50_C80(const std::vector<float>& Values) {
  if (Values.empty()) return 0.0f;
  double sum = 0.0;
  for (const float v : Values) sum += std::pow(10.0, v / 10.0);
  return static_cast<float>(10.0 * std::log10(sum / static_cast<double>(Values.size())));
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
