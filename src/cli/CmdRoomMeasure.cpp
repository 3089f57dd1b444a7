// vemra-cli room measure: room measurements through an audio interface, run exactly as the room window
// runs them (TRT60Measurement over the audio block dispatcher), then average and ratings. The virtual
// interface is stepped block by block, so a measurement there takes only as long as its computation, and
// position k hears its room with the noise seed advanced by k - 1 (another microphone position).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "CmdRoom.h"
#include "FindDevice.h"
#include "RoomOutput.h"
#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"
#include "audio/TVirtualInterface.h"
#include "io/ListViewToCSV.h"
#include "io/SoundFile.h"
#include "room/TRT60Measurement.h"
#include "room/TRT60Model.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 48000;

struct TOptions : TRoomAnalysisOptions {
  std::string Device = TASIOHost::VirtualInterfaceName;
  int Input = 1;
  int Level = -6;
  int Positions = 1;
  std::string Project, Csv, IrDir;
};

// Progress of one position on stderr: a line at every further tenth of the recording.
class TProgress {
public:
  TProgress(int Position, int Positions) : FPosition(Position), FPositions(Positions) {}
  void Update(const TRT60Measurement& Run) {
    const std::int64_t expected = std::max<std::int64_t>(Run.ExpectedSamples(), 1);
    const int tenth = static_cast<int>(std::min<std::int64_t>(10, Run.RecordedSamples() * 10 / expected));
    if (tenth <= FTenth) return;
    FTenth = tenth;
    std::cerr << "Position " << FPosition << "/" << FPositions << ": " << tenth * 10 << " % recorded, level "
              << Run.LastLevel() << " dB\n";
  }

private:
  int FPosition, FPositions;
  int FTenth = 0;
};

void MeasureOne(TASIOHost& Host, TAudioDispatcher& D, TRT60Measurement& Run, const TOptions& o, int Position) {
  std::cerr << "Position " << Position << "/" << o.Positions << ": sweep " << Run.SweepSeconds() << " s, "
            << Run.SweepStartHz() << " ... " << Run.SweepStopHz() << " Hz at " << o.Level << " dB on input " << o.Input
            << "\n";
  TProgress progress(Position, o.Positions);
  TVirtualInterface* stepped = Host.VirtualInterface();
  // A real interface delivers the recording within the sweep and its tail; far beyond that it has stopped.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3 * Run.SweepSeconds() + 10);
  while (!Run.Finished()) {
    if (stepped) {
      if (stepped->RunBlocks(1) != 1) throw TCliError("the virtual interface stopped");
    } else {
      D.Messages.WaitForMessages(200);
      if (std::chrono::steady_clock::now() > deadline) {
        Run.Stop();
        const std::string why = Host.StreamError();
        throw TCliError("the audio interface \"" + Host.DriverName() + "\" delivered no complete recording" +
                        (why.empty() ? "" : ": " + why));
      }
    }
    D.Messages.AcknowledgeWakeup();
    while (const auto m = D.Messages.Pop()) {
      Run.HandleMessage(*m);
      if (Run.Finished()) break;
    }
    progress.Update(Run);
  }
  if (D.Messages.DroppedCount() > 0)
    std::cerr << "vemra-cli: " << D.Messages.DroppedCount() << " level-meter messages were lost\n";
}

void Run(const TOptions& o) {
  if (o.Level < -30 || o.Level > 0) throw TCliUsageError("--level must lie between -30 and 0 dB");
  if (o.Positions < 1 || o.Positions > 100) throw TCliUsageError("--positions must lie between 1 and 100");

  TASIOHost host;
  const int inputs = OpenDevice(host, o.Device, kRate, o.Input);
  if (host.OutputChannelCount() < 1) throw TCliError("the audio interface \"" + host.DriverName() + "\" has no output");

  std::atomic<std::int32_t> signal{0};
  TAudioDispatcher d(signal, static_cast<float>(kRate));
  d.AttachTo(host);
  d.CreateEngines(static_cast<float>(kRate), 3, twFast, 1);
  d.PrepareBuffers(host.BufferSize(), inputs, static_cast<float>(kRate), -120.0f);

  TRT60Model model(*d.RT);
  ApplyRoomAnalysisOptions(model, o, true);
  model.Messkanal = o.Input - 1;
  TRT60Measurement run(host, d, model);

  const bool isVirtual = host.VirtualInterface() != nullptr;
  const TVirtualRoomConfig room = host.VirtualRoom();
  for (int k = 1; k <= o.Positions; ++k) {
    try {
      if (isVirtual) {
        // Each position hears another realisation of the simulated room's diffuse tail, as a microphone
        // moved to another place in the same room would; the interface is stepped block by block.
        TVirtualRoomConfig position = room;
        position.Seed = room.Seed + static_cast<std::uint32_t>(k - 1);
        position.Clock = TVirtualClock::Stepped;
        host.SetVirtualRoom(position);
        host.OpenDriver();
        if (host.BufferSize() != d.PreparedBufferSize())
          d.PrepareBuffers(host.BufferSize(), inputs, static_cast<float>(kRate), -120.0f);
      }
      run.Start(o.Level);
    } catch (const TASIOHostError& e) {
      throw TCliError(e.what());
    }
    MeasureOne(host, d, run, o, k);
    const TRT60MeasurementResult& r = run.Result();
    if (r.Kind != TRT60MeasurementResult::Added)
      throw TCliError((r.Kind == TRT60MeasurementResult::Refused ? "" : "position " + std::to_string(k) + ": ") +
                      r.Message);
    if (r.Average != TAverageStatus::Ok) std::cerr << "vemra-cli: " << TRT60Model::AverageStatusText(r.Average) << "\n";
    const tMessdatensatz& m = model.Messdaten().back();
    std::cerr << "Position " << k << "/" << o.Positions << ": level range " << r.LevelMax - r.LevelMin << " dB, T20 "
              << m.T20_sec << " s, T30 " << m.T30_sec << " s\n";
  }
  host.CloseDriver();

  // Files only once every position was measured; each appears complete or not at all.
  try {
    if (!o.IrDir.empty()) {
      fs::create_directories(o.IrDir);
      for (int k = 1; k <= model.MeasurementCount(); ++k)
        TSoundFile::WriteMonoFloatWav(fs::path(o.IrDir) / ("ir_" + std::to_string(k) + ".wav"),
                                      model.Messdaten()[static_cast<std::size_t>(k)].SweepIRBand, kRate);
    }
    if (!o.Project.empty()) model.SaveProject(o.Project);
    if (!o.Csv.empty()) {
      model.SetSelected(0, true);  // the average row goes into the file as well
      ListViewToCSV(model.MeasurementTable('.'), o.Csv, ";");
    }
  } catch (const std::exception& e) {
    throw TCliError(e.what());
  }
  PrintRoom(model, o.Json);
}

const TRoomSubcommand reg([](CLI::App& room) {
  auto o = std::make_shared<TOptions>();
  CLI::App* cmd = room.add_subcommand(
      "measure",
      "Measure a room with sweeps through an audio interface (one per microphone position), then average and rate");
  cmd->add_option("--device", o->Device, "Audio interface (see vemra-cli devices)")->capture_default_str();
  cmd->add_option("--input", o->Input, "Input of the microphone, from 1")->capture_default_str();
  cmd->add_option("--level", o->Level, "Sweep level in dB (-30 ... 0)")->capture_default_str();
  cmd->add_option("--positions", o->Positions, "Measurements in a row (microphone positions)")->capture_default_str();
  cmd->add_option("--project", o->Project, "Save the measurements as a room project (.vmR6)");
  cmd->add_option("--csv", o->Csv, "Export the measurement list as CSV");
  cmd->add_option("--ir-dir", o->IrDir, "Write each impulse response as ir_<n>.wav into this folder");
  AddRoomAnalysisOptions(*cmd, *o, true);
  cmd->callback([o] { Run(*o); });
});

}  // namespace
