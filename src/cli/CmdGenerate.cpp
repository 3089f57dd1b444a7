// vemra-cli generate sine|pink|sweep ... --out FILE.wav: a test signal from the program's own
// generators (the tone source, the pink-noise source, the room sweep) as a mono 32-bit float WAV.
#include "CliCommand.h"

#include "audio/TASIOGeneratorTone.h"
#include "dsp/LevelFactor.h"
#include "dsp/PinkNoiseGenA.h"
#include "io/SoundFile.h"
#include "room/uRT60Complete.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TGenerateOptions {
  std::string Kind;
  double Freq = 1000.0;
  double Start = 18.0;
  double Stop = 21000.0;
  double Seconds = 3.0;
  double Level = 0.0;
  int Rate = 48000;
  std::string Out;
  CLI::Option* FreqOpt = nullptr;
  CLI::Option* StartOpt = nullptr;
  CLI::Option* StopOpt = nullptr;
};

void RunGenerate(const TGenerateOptions& o) {
  if (o.Kind != "sine" && o.FreqOpt->count() > 0) throw TCliUsageError("--freq applies to sine only");
  if (o.Kind != "sweep" && (o.StartOpt->count() > 0 || o.StopOpt->count() > 0)) {
    throw TCliUsageError("--start and --stop apply to sweep only");
  }
  const double nyquist = o.Rate / 2.0;
  if (o.Kind == "sine" && !(o.Freq > 0 && o.Freq < nyquist)) {
    throw TCliUsageError("--freq must lie between 0 and " + std::to_string(static_cast<int>(nyquist)) + " Hz");
  }
  if (o.Kind == "sweep" && !(o.Start > 0 && o.Start < o.Stop && o.Stop <= nyquist)) {
    throw TCliUsageError("the sweep needs 0 < --start < --stop <= " + std::to_string(static_cast<int>(nyquist)) +
                         " Hz");
  }
  const float factor = LevelToFactor(o.Level);
  const std::size_t count = static_cast<std::size_t>(std::nearbyint(o.Seconds * o.Rate));
  if (count > TSoundFile::MaxWavSamples) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.0f", std::floor(static_cast<double>(TSoundFile::MaxWavSamples) / o.Rate));
    throw TCliUsageError("--seconds: " + std::to_string(count) + " samples at " + std::to_string(o.Rate) +
                         " Hz do not fit in a WAV file (at most " + limit + " s at this rate)");
  }
  try {
    TSoundFile::CheckWriteTarget(o.Out);
  } catch (const TSoundFileError& e) {
    throw TCliError(e.what());
  }
  std::vector<float> samples;
  if (o.Kind == "sine") {
    TASIOGeneratorTone tone;
    tone.SampleRate = o.Rate;
    tone.BlockSize = static_cast<int>(count);
    tone.ToneFlavor = tfSine;
    tone.SetFrequency(o.Freq);
    samples.resize(count);
    tone.ProcessBlock(std::span<float>(samples));
  } else if (o.Kind == "pink") {
    // The generator window's source (level argument -1 dB), at the output factor of the level.
    TPinkNoiseGeneratorA pink(-1.0);
    samples.resize(count);
    pink.ProcessBlock(std::span<float>(samples), static_cast<int>(count));
  } else {
    TRTPipeline rt(static_cast<float>(o.Rate));
    const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(static_cast<float>(o.Start), static_cast<float>(o.Stop),
                                                       static_cast<float>(o.Seconds));
    samples.assign(sweep->begin(), sweep->end());
  }
  for (float& x : samples) x *= factor;
  try {
    TSoundFile::WriteMonoFloatWav(o.Out, samples, o.Rate);
  } catch (const TSoundFileError& e) {
    throw TCliError(e.what());
  }
  std::string what = o.Kind;
  if (o.Kind == "sine") what += " " + std::to_string(static_cast<long long>(std::llround(o.Freq))) + " Hz";
  if (o.Kind == "sweep") {
    what += " " + std::to_string(std::llround(o.Start)) + "-" + std::to_string(std::llround(o.Stop)) + " Hz";
  }
  std::printf("%s: %s, %.1f dB, %zu samples (%.3f s) at %d Hz\n", o.Out.c_str(), what.c_str(), o.Level,
              samples.size(), static_cast<double>(samples.size()) / o.Rate, o.Rate);
}

const TCliCommand reg([](CLI::App& app) {
  auto o = std::make_shared<TGenerateOptions>();
  auto* cmd = app.add_subcommand("generate", "Write a test signal (sine, pink noise, room sweep) to a WAV file");
  cmd->add_option("kind", o->Kind, "sine, pink or sweep")->required()->check(CLI::IsMember({"sine", "pink", "sweep"}));
  o->FreqOpt = cmd->add_option("--freq", o->Freq, "Sine frequency in Hz (default 1000)")->check(NumberIn(0.001, 192000.0));
  o->StartOpt = cmd->add_option("--start", o->Start, "Sweep start frequency in Hz (default 18)")->check(NumberIn(0.001, 192000.0));
  o->StopOpt = cmd->add_option("--stop", o->Stop, "Sweep stop frequency in Hz (default 21000)")->check(NumberIn(0.001, 192000.0));
  cmd->add_option("--seconds", o->Seconds, "Duration in seconds (default 3)")->check(NumberIn(0.001, 3600.0));
  cmd->add_option("--level", o->Level, "Output level in dB: factor 10^(L/20), 0 at or below -144 (default 0)")
      ->check(NumberIn(-200.0, 0.0));
  cmd->add_option("--rate", o->Rate, "Sample rate in Hz (default 48000)")->check(WholeNumberIn(8000, 384000));
  cmd->add_option("--out", o->Out, "WAV file to write")->required();
  cmd->callback([o] { RunGenerate(*o); });
});

}  // namespace
