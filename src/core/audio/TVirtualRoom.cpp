#include "audio/TVirtualRoom.h"

#include "audio/TPartitionedConvolver.h"
#include "dsp/TFftwPlanLock.h"

#include <fftw3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>

namespace {

// splitmix64: a small, fast generator with a 64-bit state; good enough for noise, and the same sequence
// on every platform.
std::uint64_t NextRandom(std::uint64_t& State) {
  std::uint64_t z = (State += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Standard normal deviate (Box-Muller, one of the pair).
double NextGaussian(std::uint64_t& State) {
  const double u1 = (static_cast<double>(NextRandom(State) >> 11) + 1.0) * 0x1.0p-53;  // (0, 1]
  const double u2 = static_cast<double>(NextRandom(State) >> 11) * 0x1.0p-53;  // [0, 1)
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

std::string Trim(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

double ParseNumber(const std::string& Key, const std::string& Value) {
  const char* begin = Value.c_str();
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || !std::isfinite(v)) {
    throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: " + Key + "=" + Value + " is not a number");
  }
  return v;
}

int ParseInt(const std::string& Key, const std::string& Value, int Min, int Max) {
  int v = 0;
  const auto [ptr, ec] = std::from_chars(Value.data(), Value.data() + Value.size(), v);
  if (ec != std::errc() || ptr != Value.data() + Value.size()) {
    throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: " + Key + "=" + Value + " is not a whole number");
  }
  if (v < Min || v > Max) {
    throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: " + Key + "=" + Value + " is outside " + std::to_string(Min) +
                            " ... " + std::to_string(Max));
  }
  return v;
}

double ParseRT60(const std::string& Key, const std::string& Value) {
  const double v = ParseNumber(Key, Value);
  if (v < 0.05 || v > 20.0) {
    throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: " + Key + "=" + Value + " is outside 0.05 ... 20 s");
  }
  return v;
}

// Weight of the upper side of a crossover at Edge Hz, for a bin at f Hz: 0 well below, 1 well above,
// sin^2 across +-1/6 octave. The lower side gets 1 minus this, so the two add up to 1 everywhere.
double UpperWeight(double f, double Edge) {
  constexpr double halfWidth = 1.0 / 6.0;  // octaves
  if (f <= 0.0) return 0.0;
  const double x = std::clamp((std::log2(f / Edge) + halfWidth) / (2.0 * halfWidth), 0.0, 1.0);
  const double s = std::sin(0.5 * std::numbers::pi * x);
  return s * s;
}

}  // namespace

const std::vector<int>& TVirtualRoomConfig::OctaveCentres() {
  static const std::vector<int> centres{63, 125, 250, 500, 1000, 2000, 4000, 8000};
  return centres;
}

double TVirtualRoomConfig::RT60At(int OctaveCentre) const {
  const auto it = OctaveRT60.find(OctaveCentre);
  return it != OctaveRT60.end() ? it->second : RT60;
}

void TVirtualRoomConfig::Apply(const std::string& Text) {
  std::stringstream all(Text);
  std::string item;
  while (std::getline(all, item, ';')) {
    item = Trim(item);
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) {
      throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: \"" + item + "\" is not key=value");
    }
    std::string key = Trim(item.substr(0, eq));
    const std::string value = Trim(item.substr(eq + 1));
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    if (key == "rt60") {
      RT60 = ParseRT60(key, value);
    } else if (key.rfind("rt60_", 0) == 0) {
      const std::string band = key.substr(5);
      const auto& centres = OctaveCentres();
      int centre = 0;
      const auto [ptr, ec] = std::from_chars(band.data(), band.data() + band.size(), centre);
      if (ec != std::errc() || ptr != band.data() + band.size() ||
          std::find(centres.begin(), centres.end(), centre) == centres.end()) {
        throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: unknown octave band in " + key +
                                " (use 63, 125, 250, 500, 1000, 2000, 4000 or 8000)");
      }
      OctaveRT60[centre] = ParseRT60(key, value);
    } else if (key == "noise") {
      NoisedBFS = (value == "off") ? -999.0 : ParseNumber(key, value);
      if (NoisedBFS > 0.0) throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: noise=" + value + " is above 0 dBFS");
    } else if (key == "latency") {
      Latency = ParseInt(key, value, 0, 10 * 192000);
    } else if (key == "gain") {
      GaindB = ParseNumber(key, value);
      if (GaindB < -200.0 || GaindB > 40.0) {
        throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: gain=" + value + " is outside -200 ... 40 dB");
      }
    } else if (key == "tail") {
      TaildB = ParseNumber(key, value);
      if (TaildB > 0.0 || TaildB < -99.0) {
        throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: tail=" + value + " is outside -99 ... 0 dB");
      }
    } else if (key == "inputs") {
      Inputs = ParseInt(key, value, 1, 64);
    } else if (key == "outputs") {
      Outputs = ParseInt(key, value, 1, 64);
    } else if (key == "block") {
      Block = ParseInt(key, value, 16, 16384);
    } else if (key == "block_min") {
      BlockMin = ParseInt(key, value, 16, 16384);
    } else if (key == "block_max") {
      BlockMax = ParseInt(key, value, 16, 16384);
    } else if (key == "rates") {
      std::vector<int> rates;
      std::stringstream list(value);
      std::string r;
      while (std::getline(list, r, ',')) rates.push_back(ParseInt(key, Trim(r), 1000, 768000));
      if (rates.empty()) throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: rates= needs at least one rate");
      Rates = rates;
    } else if (key == "seed") {
      Seed = static_cast<std::uint32_t>(ParseInt(key, value, 0, 2147483647));
    } else if (key == "clock") {
      if (value == "realtime") {
        Clock = TVirtualClock::RealTime;
      } else if (value == "free") {
        Clock = TVirtualClock::FreeRunning;
      } else {
        throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: clock=" + value + " (use realtime or free)");
      }
    } else {
      throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: unknown key \"" + key + "\"");
    }
  }
  if (BlockMin > BlockMax) {
    throw TVirtualRoomError("VEMRA_VIRTUAL_ROOM: block_min is larger than block_max");
  }
  Block = std::clamp(Block, BlockMin, BlockMax);
}

TVirtualRoomConfig TVirtualRoomConfig::FromEnvironment() {
  TVirtualRoomConfig c;
  if (const char* env = std::getenv("VEMRA_VIRTUAL_ROOM")) c.Apply(env);
  return c;
}

TVirtualRoom::TVirtualRoom(const TVirtualRoomConfig& Config, double SampleRate, int BlockLength)
    : FConfig(Config), FBlock(BlockLength), FWet(static_cast<std::size_t>(BlockLength)) {
  const auto& centres = TVirtualRoomConfig::OctaveCentres();
  double longest = Config.RT60;
  bool perBand = false;
  for (int c : centres) {
    longest = std::max(longest, Config.RT60At(c));
    perBand = perBand || Config.RT60At(c) != Config.RT60;
  }
  // The tail runs until it is 100 dB below the direct sound.
  const double decaydB = 100.0 + Config.TaildB;
  std::size_t tailLength = static_cast<std::size_t>(std::ceil(longest * decaydB / 60.0 * SampleRate));
  tailLength = std::max<std::size_t>(tailLength + (tailLength & 1u), 2);

  std::uint64_t state = (static_cast<std::uint64_t>(Config.Seed) << 32) ^ 0x5EED7A11ull;
  std::vector<float> noise(tailLength);
  for (float& x : noise) x = static_cast<float>(NextGaussian(state));

  const double tailAmp = std::pow(10.0, Config.TaildB / 20.0);
  const double k60 = 3.0 * std::log(10.0);  // amplitude falls by e^-k60 (60 dB) in one rt60
  std::vector<double> tail(tailLength, 0.0);
  auto addDecaying = [&](const float* band, double rt60, double scale) {
    const double step = std::exp(-k60 / (rt60 * SampleRate));
    double env = tailAmp * step * scale;  // the first tail sample is one sample after the direct sound
    for (std::size_t t = 0; t < tailLength; ++t, env *= step) tail[t] += env * band[t];
  };
  if (!perBand) {
    addDecaying(noise.data(), Config.RT60, 1.0);
  } else {
    const std::size_t bins = tailLength / 2 + 1;
    std::vector<fftwf_complex> spectrum(bins), bandSpectrum(bins);
    std::vector<float> band(tailLength);
    fftwf_plan forward = nullptr, inverse = nullptr;
    {
      const TFftwPlanLock lock;
      forward = fftwf_plan_dft_r2c_1d(static_cast<int>(tailLength), noise.data(), spectrum.data(), FFTW_ESTIMATE);
      inverse = fftwf_plan_dft_c2r_1d(static_cast<int>(tailLength), bandSpectrum.data(), band.data(), FFTW_ESTIMATE);
    }
    fftwf_execute(forward);
    for (std::size_t b = 0; b < centres.size(); ++b) {
      const double lowEdge = b > 0 ? centres[b] / std::numbers::sqrt2 : 0.0;
      const double highEdge = b + 1 < centres.size() ? centres[b] * std::numbers::sqrt2 : 0.0;
      for (std::size_t k = 0; k < bins; ++k) {
        const double f = static_cast<double>(k) * SampleRate / static_cast<double>(tailLength);
        double w = 1.0;
        if (lowEdge > 0.0) w *= UpperWeight(f, lowEdge);
        if (highEdge > 0.0) w *= 1.0 - UpperWeight(f, highEdge);
        bandSpectrum[k][0] = static_cast<float>(spectrum[k][0] * w);
        bandSpectrum[k][1] = static_cast<float>(spectrum[k][1] * w);
      }
      fftwf_execute(inverse);  // overwrites bandSpectrum, which is rebuilt for every band
      addDecaying(band.data(), Config.RT60At(centres[b]), 1.0 / static_cast<double>(tailLength));
    }
    const TFftwPlanLock lock;
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);
  }

  const double gain = std::pow(10.0, Config.GaindB / 20.0);
  const std::size_t latency = static_cast<std::size_t>(Config.Latency);
  FResponse.assign(latency + 1 + tailLength, 0.0f);
  FResponse[latency] = static_cast<float>(gain);
  for (std::size_t t = 0; t < tailLength; ++t) FResponse[latency + 1 + t] = static_cast<float>(gain * tail[t]);

  FConvolver = std::make_unique<TPartitionedConvolver>(FResponse, BlockLength);
  FNoiseAmp = Config.NoisedBFS > -200.0 ? static_cast<float>(std::pow(10.0, Config.NoisedBFS / 20.0)) : 0.0f;
  Reset();
}

TVirtualRoom::~TVirtualRoom() = default;

void TVirtualRoom::Reset() {
  FConvolver->Reset();
  FNoiseState.assign(static_cast<std::size_t>(FConfig.Inputs), 0);
  for (std::size_t k = 0; k < FNoiseState.size(); ++k) {
    FNoiseState[k] = (static_cast<std::uint64_t>(FConfig.Seed) << 32) + 0x1000u * (k + 1);
  }
}

void TVirtualRoom::Process(const float* Output1, std::span<float* const> Inputs) {
  FConvolver->Process(Output1, FWet.data());
  const std::size_t n = static_cast<std::size_t>(FBlock);
  for (std::size_t k = 0; k < Inputs.size(); ++k) {
    float* in = Inputs[k];
    if (FNoiseAmp > 0.0f && k < FNoiseState.size()) {
      std::uint64_t& s = FNoiseState[k];
      for (std::size_t j = 0; j < n; ++j) in[j] = FWet[j] + FNoiseAmp * static_cast<float>(NextGaussian(s));
    } else {
      std::copy(FWet.begin(), FWet.end(), in);
    }
  }
}
