#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "CmdRoom.h"
#include "RoomOutput.h"
#include "io/SoundFile.h"
#include "room/TRT60Model.h"
#include "room/uRT60Complete.h"

namespace {

constexpr float kRate = 48000.0f;

struct TOptions : TRoomAnalysisOptions {
  std::vector<std::string> Files;
};

void Run(const TOptions& o) {
  TRTPipeline rt(kRate);
  TRT60Model model(rt);
  ApplyRoomAnalysisOptions(model, o, true);

  for (const std::string& file : o.Files) {
    TSoundFile sound;
    try {
      sound = TSoundFile::Read(file);
    } catch (const TSoundFileError& e) {
      throw TCliError(e.what());
    }
    if (sound.SampleRate != static_cast<int>(kRate))
      throw TCliError(file + ": sample rate " + std::to_string(sound.SampleRate) +
                      " Hz; room analysis works at 48000 Hz");
    if (sound.Frames() == 0) throw TCliError(file + ": the file holds no samples");
    // The response is taken from its peak for the rest of the file and cut at the end of its usable decay.
    const std::vector<float> ir = TRTPipeline::ImpulseResponseFromPeak(sound.Channels.front());
    if (ir.empty()) throw TCliError(file + ": no usable impulse response (silent, too short or no decay)");
    const TRT60MessenResult r = model.RT60Messen(ir, kRate);
    if (!r.Added) throw TCliError(file + ": " + r.Message);
    if (r.Average != TAverageStatus::Ok) std::cerr << "vemra-cli: " << TRT60Model::AverageStatusText(r.Average) << "\n";
    model.SetNote(model.MeasurementCount(), std::filesystem::path(file).filename().string());
  }
  PrintRoom(model, o.Json);
}

const TRoomSubcommand reg([](CLI::App& room) {
  auto o = std::make_shared<TOptions>();
  CLI::App* cmd = room.add_subcommand(
      "analyze",
      "Analyse impulse responses (WAV, 48000 Hz, first channel) as one measurement set: decay times, clarity, "
      "average and ratings");
  cmd->add_option("IR", o->Files, "Impulse response files; each is taken from its peak and cut at its usable decay")
      ->required();
  AddRoomAnalysisOptions(*cmd, *o, true);
  cmd->callback([o] { Run(*o); });
});

}  // namespace
