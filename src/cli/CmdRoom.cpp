#include "CliCommand.h"
#include "CmdRoom.h"

namespace {

const TCliCommand reg([](CLI::App& app) {
  CLI::App* room = app.add_subcommand(
      "room", "Room acoustics: decay times, clarity and ratings from impulse responses or sweep measurements");
  room->require_subcommand(1);
  for (const auto& setup : TRoomSubcommand::All()) setup(*room);
});

}  // namespace
