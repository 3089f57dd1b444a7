// vemra-cli rta: the real-time analyzer without windows. A sound file, or the live input of an audio
// interface, goes block by block through the audio block handler (TAudioDispatcher) exactly as in the
// analyzer window: the measured channel's level engine is fed there, and its band levels arrive by the
// same 0x464 hand-over the display uses.
#include "CliCommand.h"
#include "FindDevice.h"

#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "dsp/LevelFactor.h"
#include "io/SoundFile.h"
#include "io/ini_data.h"

#include <nlohmann/json.hpp>
#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int AnalyzerRate = 48000;

struct TRtaOptions {
  std::string File;
  int Channel = 1;
  std::string Device;
  int Input = 1;
  double Seconds = 0;
  int Octave = 3;
  std::string Weighting = "Z";
  std::string Speed = "fast";
  int Block = 1024;
  int LeqWindow = 600;
  bool Json = false;
  std::string Signal = "off";
  double SignalLevel = -20.0;
  double Freq = 1000.0;
  CLI::Option* FileOpt = nullptr;
  CLI::Option* DeviceOpt = nullptr;
  CLI::Option* ChannelOpt = nullptr;
  CLI::Option* InputOpt = nullptr;
  CLI::Option* SecondsOpt = nullptr;
  CLI::Option* BlockOpt = nullptr;
  CLI::Option* SignalOpt = nullptr;
  CLI::Option* SignalLevelOpt = nullptr;
  CLI::Option* FreqOpt = nullptr;
};

TFreqWeighting WeightingOf(const std::string& w) { return w == "A" ? fwA : w == "C" ? fwC : fwZ; }

TRTATimeWeight SpeedOf(const std::string& s) {
  if (s == "impulse") return twImpulse;
  if (s == "slow") return twSlow;
  if (s == "smooth100") return twRSE_Slow100;
  if (s == "smooth20") return twRSE_UltraSlow20Hz;
  return twFast;
}

// A readout the engine refuses while a block is in progress is asked again a moment later.
float Readout(TRTAEngineIEC1& Engine, TRTAExport Kind) {
  float v = -999.0f;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (Engine.GetWeightingValue(Kind, 0.0f, v)) return v;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return v;
}

// The analyzer: one dispatcher with the measured channel's engine as channel 1.
struct TAnalyzer {
  std::atomic<std::int32_t> Signal{0};
  TAudioDispatcher D{Signal, static_cast<float>(AnalyzerRate)};

  // RunSeconds: how long the analysis runs at most. A sliding-Leq window longer than that gives the same
  // result as one just longer than the run, which is what the ring is given room for.
  TAnalyzer(const TRtaOptions& o, int BlockLength, int Inputs, int MeasuredInput, double RunSeconds) {
    D.CreateEngines(static_cast<float>(AnalyzerRate), o.Octave, SpeedOf(o.Speed), 1);
    D.PrepareBuffers(BlockLength, Inputs, static_cast<float>(AnalyzerRate), -120.0f);
    TRTAEngineIEC1& e = Engine();
    e.Reset();
    e.SetLeqWindowSec(static_cast<int>(std::min<double>(o.LeqWindow, std::ceil(RunSeconds) + 1.0)));
    e.SetWeigthing(WeightingOf(o.Weighting), BlockLength);
    D.ChannelInputMap[0] = static_cast<std::uint8_t>(MeasuredInput);
    D.byASIOMesskanalStart = 0;
    D.BandDataRequested = true;
  }
  TRTAEngineIEC1& Engine() { return *D.RTAEngineIEC1[0]; }
  // The display's side of the hand-over: take every frame that arrived and ask for the next one.
  int TakeFrames(std::vector<float>* Latest) {
    int frames = 0;
    D.Messages.AcknowledgeWakeup();
    while (auto m = D.Messages.Pop()) {
      if (m->Msg != WM_BANDLEVELS_READY) continue;
      if (D.BandDataRequested.load(std::memory_order_acquire)) continue;
      if (Latest) *Latest = D.BandLevels[static_cast<std::size_t>(m->WParam)];
      ++frames;
      D.BandDataRequested.store(true, std::memory_order_release);
    }
    return frames;
  }
};

struct TRtaResult {
  std::vector<float> Centres, Levels;
  float Rms = 0, Peak = 0, Leq = 0, LeqSliding = 0;
};

std::string OctaveLabel(int n) { return n == 1 ? "1/1" : "1/" + std::to_string(n); }

void Print(const TRtaOptions& o, TRTAEngineIEC1& Engine, const TRtaResult& r) {
  if (o.Json) {
    nlohmann::json bands = nlohmann::json::array();
    for (std::size_t j = 0; j < r.Centres.size(); ++j) {
      bands.push_back({{"centre", r.Centres[j]},
                       {"nominal", Engine.IEC_RoundFreqCursorAnzeige(static_cast<int>(j), o.Octave)},
                       {"level_db", r.Levels[j]}});
    }
    nlohmann::json doc{{"sample_rate", AnalyzerRate}, {"octave", o.Octave},   {"weighting", o.Weighting},
                       {"speed", o.Speed},            {"bands", bands},       {"rms_db", r.Rms},
                       {"peak_db", r.Peak},           {"leq_db", r.Leq},      {"leq_sliding_db", r.LeqSliding}};
    std::cout << doc.dump(2) << "\n";
    return;
  }
  std::printf("%s octave, weighting %s, speed %s, %d Hz\n", OctaveLabel(o.Octave).c_str(), o.Weighting.c_str(),
              o.Speed.c_str(), AnalyzerRate);
  std::printf("%10s %10s %10s\n", "Centre Hz", "Nominal", "Level dB");
  for (std::size_t j = 0; j < r.Centres.size(); ++j) {
    std::printf("%10.0f %10g %10.2f\n", r.Centres[j], Engine.IEC_RoundFreqCursorAnzeige(static_cast<int>(j), o.Octave),
                r.Levels[j]);
  }
  std::printf("RMS %.2f dBFS   Peak %.2f dBFS   Leq %.2f dBFS   Sliding Leq (%d s) %.2f dBFS\n", r.Rms, r.Peak,
              r.Leq, o.LeqWindow, r.LeqSliding);
}

std::vector<float> Resample(const std::vector<float>& In, int FromRate) {
  const double ratio = static_cast<double>(AnalyzerRate) / FromRate;
  std::vector<float> out(static_cast<std::size_t>(std::ceil(static_cast<double>(In.size()) * ratio)) + 16);
  SRC_DATA data{};
  data.data_in = In.data();
  data.input_frames = static_cast<long>(In.size());
  data.data_out = out.data();
  data.output_frames = static_cast<long>(out.size());
  data.src_ratio = ratio;
  const int err = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
  if (err != 0) throw TCliError(std::string("resampling failed: ") + src_strerror(err));
  out.resize(static_cast<std::size_t>(data.output_frames_gen));
  return out;
}

void RunFile(const TRtaOptions& o) {
  TSoundFile file;
  try {
    file = TSoundFile::Read(o.File);
  } catch (const TSoundFileError& e) {
    throw TCliError(e.what());
  }
  const int channels = static_cast<int>(file.Channels.size());
  if (o.Channel > channels) {
    throw TCliError(o.File + " has " + std::to_string(channels) + (channels == 1 ? " channel" : " channels") +
                    "; there is no channel " + std::to_string(o.Channel));
  }
  std::vector<float> x = std::move(file.Channels[static_cast<std::size_t>(o.Channel - 1)]);
  if (x.empty()) throw TCliError(o.File + " holds no samples");
  if (const auto bad = std::find_if(x.begin(), x.end(), [](float v) { return !std::isfinite(v); }); bad != x.end()) {
    throw TCliError(o.File + ": sample " + std::to_string(bad - x.begin() + 1) + " of channel " +
                    std::to_string(o.Channel) + " is not a number");
  }
  if (file.SampleRate != AnalyzerRate) {
    std::fprintf(stderr, "vemra-cli: %s is sampled at %d Hz; resampled to %d Hz for the analysis\n", o.File.c_str(),
                 file.SampleRate, AnalyzerRate);
    x = Resample(x, file.SampleRate);
  }

  TAnalyzer a(o, o.Block, 1, 0, static_cast<double>(x.size()) / AnalyzerRate);
  std::vector<float> silence(static_cast<std::size_t>(o.Block), 0.0f);
  float* out[1] = {silence.data()};
  for (std::size_t pos = 0; pos < x.size(); pos += static_cast<std::size_t>(o.Block)) {
    const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(o.Block), x.size() - pos));
    const float* in[1] = {x.data() + pos};
    a.D.AsioHostBufferSwitch32(in, out, n);
    a.TakeFrames(nullptr);
  }
  TRtaResult r;
  r.Centres = a.D.BandCentres;
  r.Levels = a.D.BandLevels[0];
  r.Rms = Readout(a.Engine(), exRMS);
  r.Peak = Readout(a.Engine(), exPeak);
  r.Leq = Readout(a.Engine(), exLeq);
  r.LeqSliding = Readout(a.Engine(), exLeqSliding);
  Print(o, a.Engine(), r);
}

// The band levels as one line of at most 31 block characters (the loudest band of each group): a full
// block at 0 dBFS, one step less for every 12 dB below, blank at -96 dB and lower.
std::string Spark(const std::vector<float>& Levels) {
  static const char* steps[] = {" ", "\u2581", "\u2582", "\u2583", "\u2584", "\u2585", "\u2586", "\u2587", "\u2588"};
  const std::size_t group = (Levels.size() + 30) / 31;
  std::string s;
  for (std::size_t j = 0; j < Levels.size(); j += group) {
    float l = -200.0f;
    for (std::size_t k = j; k < std::min(Levels.size(), j + group); ++k) l = std::max(l, Levels[k]);
    const int step = std::clamp(static_cast<int>(std::lround((l + 96.0f) / 12.0f)), 0, 8);
    s += steps[step];
  }
  return s;
}

void RunDevice(const TRtaOptions& o) {
  TASIOHost host;
  const int inputs = OpenDevice(host, o.Device, AnalyzerRate, o.Input, o.BlockOpt->count() > 0 ? o.Block : 0);
  TAnalyzer a(o, host.BufferSize(), inputs, o.Input - 1, o.Seconds);
  // Like the analyzer window: the first blocks after the start only settle the band filters.
  a.D.SkipBlocks = tinidataValues{}.ASIO_SkipStartBuffer;
  a.D.FSine.SetFrequency(o.Freq);
  a.D.dbAmpPink = LevelToFactor(o.SignalLevel);
  a.Signal = o.Signal == "pink" ? 1 : o.Signal == "sine" ? 2 : 0;
  a.D.AttachTo(host);

  if (!o.Json) {
    std::printf("%s, input %d, %d Hz, block %d, %s octave, weighting %s, speed %s%s\n", host.DriverName().c_str(),
                o.Input, AnalyzerRate, host.BufferSize(), OctaveLabel(o.Octave).c_str(), o.Weighting.c_str(),
                o.Speed.c_str(), o.Signal == "off" ? "" : (", playing " + o.Signal).c_str());
    std::printf("%6s %9s %9s %9s %9s %9s  %s\n", "t s", "RMS dBFS", "Peak", "Leq", "Sl. Leq", "Input pk",
                "bands 20 Hz ... 20 kHz, 12 dB a step up to 0 dBFS");
    std::fflush(stdout);
  }
  try {
    host.SetActive(true);
  } catch (const TASIOHostError& e) {
    throw TCliError(e.what());
  }
  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  const auto end = start + std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(o.Seconds));
  auto nextLine = start + std::chrono::seconds(1);
  auto lastProgress = start;
  std::uint64_t lastBlocks = 0, rmsBlocksAtRead = 0;
  double rmsEnergy = 0, rmsBlocks = 0;
  std::vector<float> latest = a.D.BandLevels[0];
  std::string failure;
  auto readRms = [&] {
    const float l = Readout(a.Engine(), exRMS);
    const std::uint64_t blocks = a.D.BlockCount();
    const double count = static_cast<double>(blocks - rmsBlocksAtRead);
    rmsBlocksAtRead = blocks;
    rmsEnergy += std::pow(10.0, l / 10.0) * count;
    rmsBlocks += count;
    return l;
  };
  while (clock::now() < end) {
    a.D.Messages.WaitForMessages(50);
    a.TakeFrames(&latest);
    const auto now = clock::now();
    if (const std::string e = host.StreamError(); !e.empty()) {
      failure = e;
      break;
    }
    if (a.D.BlockCount() != lastBlocks) {
      lastBlocks = a.D.BlockCount();
      lastProgress = now;
    } else if (now - lastProgress > std::chrono::seconds(3)) {
      failure = "the audio interface \"" + host.DriverName() + "\" delivers no audio";
      break;
    }
    // Once a second the RMS of that second, as the analyzer window reads it (the peak is the highest of
    // them), with --json as well; without it also the live line.
    if (now >= nextLine) {
      const float rms = readRms();
      nextLine += std::chrono::seconds(1);
      if (o.Json) continue;
      // The input's sample peak in the last block, as the analyzer window's input level panels show it.
      const float inputPeak = a.D.InputPeaks[static_cast<std::size_t>(o.Input - 1)].load(std::memory_order_relaxed);
      std::printf("%6.1f %9.2f %9.2f %9.2f %9.2f %9.2f  %s\n", std::chrono::duration<double>(now - start).count(), rms,
                  Readout(a.Engine(), exPeak), Readout(a.Engine(), exLeq), Readout(a.Engine(), exLeqSliding),
                  20.0 * std::log10(std::max(inputPeak, 1e-10f)), Spark(latest).c_str());
      std::fflush(stdout);
    }
  }
  a.Signal = 0;
  host.SetActive(false);
  host.CloseDriver();
  if (!failure.empty()) throw TCliError(failure);
  if (a.D.BlockCount() == 0) throw TCliError("the audio interface \"" + host.DriverName() + "\" delivered no audio");

  TRtaResult r;
  r.Centres.resize(static_cast<std::size_t>(a.Engine().BandCount()));
  r.Levels.resize(r.Centres.size());
  a.Engine().GetBandData(r.Centres, r.Levels);  // the stream has stopped: the levels after the last block
  readRms();
  r.Rms = rmsBlocks > 0 ? static_cast<float>(10.0 * std::log10(std::max(rmsEnergy / rmsBlocks, 1e-60))) : -600.0f;
  r.Peak = Readout(a.Engine(), exPeak);
  r.Leq = Readout(a.Engine(), exLeq);
  r.LeqSliding = Readout(a.Engine(), exLeqSliding);
  if (!o.Json) std::printf("\n");
  Print(o, a.Engine(), r);
}

void RunRta(const TRtaOptions& o) {
  const bool file = o.FileOpt->count() > 0, device = o.DeviceOpt->count() > 0;
  if (file == device) throw TCliUsageError("rta needs either --file or --device");
  if (file && (o.InputOpt->count() || o.SecondsOpt->count() || o.SignalOpt->count() || o.SignalLevelOpt->count() ||
               o.FreqOpt->count())) {
    throw TCliUsageError("--input, --seconds, --signal, --signal-level and --freq apply to --device only");
  }
  if (device && o.ChannelOpt->count()) throw TCliUsageError("--channel applies to --file only");
  if (device && o.SecondsOpt->count() == 0) throw TCliUsageError("--device needs --seconds");
  if (file) {
    RunFile(o);
  } else {
    RunDevice(o);
  }
}

const TCliCommand reg([](CLI::App& app) {
  auto o = std::make_shared<TRtaOptions>();
  auto* cmd = app.add_subcommand("rta", "Fractional-octave analysis of a sound file or of an interface's input");
  o->FileOpt = cmd->add_option("--file", o->File, "Sound file to analyse");
  o->ChannelOpt = cmd->add_option("--channel", o->Channel, "Channel of the file, from 1 (default 1)")
                      ->check(WholeNumberIn(1, 1024));
  o->DeviceOpt = cmd->add_option("--device", o->Device, "Audio interface (name as vemra-cli devices shows it)");
  o->InputOpt = cmd->add_option("--input", o->Input, "Input of the interface, from 1 (default 1)")
                    ->check(WholeNumberIn(1, TAudioDispatcher::MaxInputs));
  o->SecondsOpt = cmd->add_option("--seconds", o->Seconds, "How long to measure the interface")
                      ->check(NumberIn(0.1, 86400.0));
  cmd->add_option("--octave", o->Octave, "Bands per octave: 1, 3, 6, 9 or 12 (default 3)")
      ->check(CLI::IsMember({1, 3, 6, 9, 12}));
  cmd->add_option("--weighting", o->Weighting, "Frequency weighting Z, A or C (default Z)")
      ->check(CLI::IsMember({"Z", "A", "C"}));
  cmd->add_option("--speed", o->Speed, "Time weighting: impulse, fast, slow, smooth100, smooth20 (default fast)")
      ->check(CLI::IsMember({"impulse", "fast", "slow", "smooth100", "smooth20"}));
  o->BlockOpt = cmd->add_option("--block", o->Block, "Block length in samples (default 1024; for --device the "
                                                     "interface's own unless given)")
                    ->check(WholeNumberIn(16, 16384));
  cmd->add_option("--leq-window", o->LeqWindow, "Sliding-Leq window in seconds (default 600)")
      ->check(WholeNumberIn(1, 86400));
  o->SignalOpt = cmd->add_option("--signal", o->Signal, "Play off, pink or sine on every output while measuring "
                                                       "(--device only; default off)")
                     ->check(CLI::IsMember({"off", "pink", "sine"}));
  o->SignalLevelOpt = cmd->add_option("--signal-level", o->SignalLevel, "Level of the played signal in dB (default -20)")
                          ->check(NumberIn(-200.0, 0.0));
  o->FreqOpt = cmd->add_option("--freq", o->Freq, "Frequency of the played sine in Hz (default 1000)")
                   ->check(NumberIn(1.0, 23999.0));
  cmd->add_flag("--json", o->Json, "Print one JSON document");
  cmd->callback([o] { RunRta(*o); });
});

}  // namespace
