#include <filesystem>
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "CmdRoom.h"
#include "RoomOutput.h"
#include "room/TRT60Model.h"
#include "room/uRT60Complete.h"

namespace {

constexpr float kRate = 48000.0f;

struct TOptions : TRoomAnalysisOptions {
  std::string File;
};

void Run(const TOptions& o) {
  std::error_code ec;
  if (!std::filesystem::exists(o.File, ec)) throw TCliError("file not found: \"" + o.File + "\"");
  TRTPipeline rt(kRate);
  TRT60Model model(rt);
  ApplyRoomAnalysisOptions(model, o, false);
  // The stored responses are analysed again with the range and basis given here; the room type is the
  // project's.
  const TRT60Model::TOpenResult res = model.OpenRT60File(o.File, kRate);
  if (!res.Ok) throw TCliError(res.Message + (res.Detail.empty() ? "" : " (" + res.Detail + ")"));
  for (TAverageStatus s : res.Averaging) std::cerr << "vemra-cli: " << TRT60Model::AverageStatusText(s) << "\n";
  PrintRoom(model, o.Json);
}

const TRoomSubcommand reg([](CLI::App& room) {
  auto o = std::make_shared<TOptions>();
  CLI::App* cmd = room.add_subcommand(
      "open", "Open a room project (.vmR6) and analyse its stored impulse responses again");
  cmd->add_option("PROJECT", o->File, "Room project file")->required();
  AddRoomAnalysisOptions(*cmd, *o, false);
  cmd->callback([o] { Run(*o); });
});

}  // namespace
