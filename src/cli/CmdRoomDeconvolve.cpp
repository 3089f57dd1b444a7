#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "CliCommand.h"
#include "CmdRoom.h"
#include "io/FormatFixed.h"
#include "io/SoundFile.h"
#include "room/uRT60Complete.h"

namespace {

constexpr float kRate = 48000.0f;

struct TOptions {
  std::string File;
  float Start = 0, Stop = 0, Seconds = 0;
  std::string Out;
  bool Json = false;
};

void Run(const TOptions& o) {
  TSoundFile sound;
  try {
    sound = TSoundFile::Read(o.File);
  } catch (const TSoundFileError& e) {
    throw TCliError(e.what());
  }
  if (sound.SampleRate != static_cast<int>(kRate))
    throw TCliError(o.File + ": sample rate " + std::to_string(sound.SampleRate) + " Hz; the sweep is made at 48000 Hz");
  if (sound.Frames() == 0) throw TCliError(o.File + ": the file holds no samples");

  TRTPipeline rt(kRate);
  const TSweepBuffer sweep = rt.GenerateLogSweep_RTA(o.Start, o.Stop, o.Seconds);
  std::vector<float> ir;
  try {
    ir = rt.ImpulseResponseFromRecording(sound.Channels.front(), *sweep, o.Seconds);
  } catch (const std::exception& e) {
    throw TCliError(o.File + ": the recording is too long to deconvolve (" + e.what() + ")");
  }
  if (ir.empty()) throw TCliError(o.File + ": no usable impulse response (silent recording or no decay)");
  if (!o.Out.empty()) {
    try {
      TSoundFile::WriteMonoFloatWav(o.Out, ir, static_cast<int>(kRate));
    } catch (const TSoundFileError& e) {
      throw TCliError(e.what());
    }
  }
  const double seconds = static_cast<double>(ir.size()) / kRate;
  if (o.Json) {
    nlohmann::json j{{"sample_rate", static_cast<int>(kRate)}, {"samples", ir.size()}, {"seconds", seconds}};
    j["out"] = o.Out.empty() ? nlohmann::json(nullptr) : nlohmann::json(o.Out);
    std::cout << j.dump(2) << "\n";
  } else {
    std::cout << "Impulse response: " << ir.size() << " samples (" << FormatFixed(seconds, 15, 3) << " s)";
    if (!o.Out.empty()) std::cout << ", written to " << o.Out;
    std::cout << "\n";
  }
}

const TRoomSubcommand reg([](CLI::App& room) {
  auto o = std::make_shared<TOptions>();
  CLI::App* cmd = room.add_subcommand(
      "deconvolve",
      "Impulse response from a recording (WAV, 48000 Hz, first channel) of the room sweep, recorded from one "
      "block before it: inverse filter, convolution, extraction from the peak, cut at the usable decay");
  cmd->add_option("RECORDING", o->File, "Recording of the sweep")->required();
  cmd->add_option("--start", o->Start, "Start frequency of the sweep in Hz")->required()->check(NumberIn(1, 24000));
  cmd->add_option("--stop", o->Stop, "Stop frequency of the sweep in Hz")->required()->check(NumberIn(1, 24000));
  cmd->add_option("--seconds", o->Seconds, "Duration of the sweep in s")->required()->check(NumberIn(0.01, 60));
  cmd->add_option("--out", o->Out, "Write the impulse response as a mono float WAV");
  cmd->add_flag("--json", o->Json, "Print one JSON document");
  cmd->callback([o] { Run(*o); });
});

}  // namespace
