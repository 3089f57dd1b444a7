#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "CliCommand.h"
#include "CmdRoom.h"
#include "io/FormatFixed.h"
#include "room/CriticalDistance.h"

namespace {

struct TOptions {
  float Width = 0, Depth = 0, Height = 0, RT60 = 0;
  bool Json = false;
};

void Run(const TOptions& o) {
  const TCriticalDistance d = CriticalDistance(o.Width, o.Height, o.Depth, o.RT60);
  if (o.Json) {
    nlohmann::json j{{"width", o.Width},
                     {"depth", o.Depth},
                     {"height", o.Height},
                     {"rt60", o.RT60},
                     {"critical_distance_m", d.r},
                     {"min_distance_m", d.MinMicDistance}};
    std::cout << j.dump(2) << "\n";
    return;
  }
  std::cout << "Critical distance: " << FormatFixed(d.r, 4, 2) << "m\n"
            << "Min distance mic to loudspeaker: " << FormatFixed(d.MinMicDistance, 4, 2) << "m\n";
}

const TRoomSubcommand reg([](CLI::App& room) {
  auto o = std::make_shared<TOptions>();
  CLI::App* cmd = room.add_subcommand(
      "micdistance", "Minimum distance between microphone and loudspeaker: 1.5 times the critical distance");
  // A dimension or time of 0 or below gives a distance of 0; beyond that, only numbers no room reaches
  // are refused.
  cmd->add_option("--width", o->Width, "Room width in m")->required()->check(NumberIn(-1e6, 1e6));
  cmd->add_option("--depth", o->Depth, "Room depth in m")->required()->check(NumberIn(-1e6, 1e6));
  cmd->add_option("--height", o->Height, "Room height in m")->required()->check(NumberIn(-1e6, 1e6));
  cmd->add_option("--rt60", o->RT60, "Reverberation time in s")->required()->check(NumberIn(-1e6, 1e6));
  cmd->add_flag("--json", o->Json, "Print one JSON document");
  cmd->callback([o] { Run(*o); });
});

}  // namespace
