#pragma once

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>

class TRT60Model;

// What "vemra-cli room analyze|measure|open" print about a measurement set: every measurement, the
// average with its standard deviations, and the ratings of the room type in force.
nlohmann::json RoomJson(const TRT60Model& Model);
void PrintRoomText(std::ostream& Out, const TRT60Model& Model);

// Command-line option values: "T20"/"T30", range 0 ... 3, room type keys ("studio", ...).
std::string RoomTypeKeysHelp();

// The options every room command that analyses shares: measuring range, decay basis, room type.
struct TRoomAnalysisOptions {
  int Range = 0;
  std::string Basis = "T20";
  std::string Room = "studio";
  bool Json = false;
};
namespace CLI {
class App;
}
void AddRoomAnalysisOptions(CLI::App& Cmd, TRoomAnalysisOptions& O, bool WithRoom);
// Applies range, basis and (when given) room type to a model.
void ApplyRoomAnalysisOptions(TRT60Model& Model, const TRoomAnalysisOptions& O, bool WithRoom);
// Prints the measurement set as JSON or text on stdout.
void PrintRoom(const TRT60Model& Model, bool Json);
