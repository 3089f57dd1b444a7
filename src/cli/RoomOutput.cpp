#include "RoomOutput.h"

#include <cmath>
#include <CLI/CLI.hpp>

#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>

#include "io/FormatFixed.h"
#include "room/TRT60Model.h"

namespace {

// A value for JSON. Every result comes from single-precision arithmetic, so it goes out with the seven
// significant digits it carries rather than the binary noise of a wider form; a value that is not finite
// (the model never stores one) would become null.
nlohmann::json Num(double v) {
  if (!std::isfinite(v)) return nullptr;
  std::ostringstream s;
  s << std::setprecision(7) << v;
  return std::stod(s.str());
}
nlohmann::json NumF(float v) { return Num(v); }

float At(const std::vector<float>& v, std::size_t i) { return i < v.size() ? v[i] : 0.0f; }

nlohmann::json Bands(const tMessdatensatz& r) {
  nlohmann::json bands = nlohmann::json::array();
  for (std::size_t b = 0; b < r.FrArr.size(); ++b)
    bands.push_back({{"f", NumF(r.FrArr[b])},
                     {"T20", NumF(At(r.t20arr, b))},
                     {"T30", NumF(At(r.t30arr, b))},
                     {"EDT", NumF(At(r.EDTarr, b))},
                     {"C50", NumF(At(r.C50Arr, b))},
                     {"C80", NumF(At(r.C80Arr, b))}});
  return bands;
}

std::string F2(double v) { return FormatFixed(v, 4, 2); }

const char* kRangeText[] = {"octaves 125 Hz ... 4 kHz", "octaves 63 Hz ... 8 kHz",
                            "third octaves 100 Hz ... 5 kHz", "third octaves 50 Hz ... 10 kHz"};

}  // namespace

std::string RoomTypeKeysHelp() {
  std::string s;
  for (int r = 0; r < RoomTypeCount; ++r) s += (r ? "|" : "") + std::string(TRoomRating::RoomKey(r));
  return s;
}

nlohmann::json RoomJson(const TRT60Model& Model) {
  nlohmann::json j;
  j["range"] = Model.Range();
  j["basis"] = Model.BasisT30 ? "T30" : "T20";
  j["room_type"] = std::string(TRoomRating::RoomKey(Model.RoomType()));
  nlohmann::json hz = nlohmann::json::array();
  for (float f : Model.Average().FrArr) hz.push_back(NumF(f));
  j["bands_hz"] = hz;

  nlohmann::json ms = nlohmann::json::array();
  for (int i = 1; i < Model.AnzahlDatenzätze(); ++i) {
    const tMessdatensatz& r = Model.Messdaten()[static_cast<std::size_t>(i)];
    ms.push_back({{"note", r.stTExt},
                  {"broadband",
                   {{"EDT", Num(r.EDT_sec)},
                    {"EDT_valid", r.EDT_valid},
                    {"R2_EDT", NumF(r.BroadbandRT.R2_EDT)},
                    {"T20", Num(r.T20_sec)},
                    {"T20_valid", r.T20_valid},
                    {"R2_T20", NumF(r.BroadbandRT.R2_T20)},
                    {"T30", Num(r.T30_sec)},
                    {"T30_valid", r.T30_valid},
                    {"R2_T30", NumF(r.BroadbandRT.R2_T30)},
                    {"C50", Num(r.C50_dB)},
                    {"C80", Num(r.C80_dB)},
                    {"D50", NumF(r.BroadbandClarity.D50_Prozent)},
                    {"Ts_ms", Num(r.ts_ms)},
                    {"noise_floor_db", NumF(r.BroadbandRT.NoiseFloor_dB)}}},
                  {"bands", Bands(r)}});
  }
  j["measurements"] = ms;

  const tMessdatensatz& a = Model.Average();
  j["average"] = {{"T20", Num(a.T20_sec)},       {"T20_stddev", NumF(a.T20_Stddev)},
                  {"T30", Num(a.T30_sec)},       {"T30_stddev", NumF(a.T30_Stddev)},
                  {"EDT", Num(a.EDT_sec)},       {"C50", Num(a.C50_dB)},
                  {"C50_stddev", NumF(a.C50_Stddev)}, {"C80", Num(a.C80_dB)},
                  {"C80_stddev", NumF(a.C80_Stddev)}, {"Ts_ms", Num(a.ts_ms)},
                  {"bands", Bands(a)}};

  const TRoomRatingResult rating = Model.Rating();
  nlohmann::json character = nlohmann::json::array();
  for (tRooms r : rating.RoomCharacter) character.push_back(std::string(TRoomRating::RoomKey(r)));
  j["rating"] = {{"texts",
                  {{"RT60", rating.RT60.Text()},
                   {"EDT", rating.EDT.Text()},
                   {"C50", rating.C50.Text()},
                   {"C80", rating.C80.Text()},
                   {"ts", rating.ts.Text()}}},
                 {"in_range",
                  {{"RT60", rating.RT60_ok},
                   {"EDT", rating.EDT_ok},
                   {"C50", rating.C50_ok},
                   {"C80", rating.C80_ok},
                   {"ts", rating.ts_ok}}},
                 {"room_character", character},
                 {"homogeneous", rating.Homogeneous}};
  return j;
}

void PrintRoomText(std::ostream& Out, const TRT60Model& Model) {
  const int range = Model.Range();
  Out << "Range " << range << " (" << kRangeText[range >= 0 && range <= 3 ? range : 0] << "), basis "
      << (Model.BasisT30 ? "T30" : "T20") << ", room type " << TRoomRating::RoomListText(Model.RoomType()) << "\n";

  auto bandTable = [&](const tMessdatensatz& r) {
    Out << "     f(Hz)  T20(s)  T30(s)  EDT(s) C50(dB) C80(dB)\n";
    for (std::size_t b = 0; b < r.FrArr.size(); ++b)
      Out << std::setw(10) << FormatFixed(r.FrArr[b], 15, 0) << std::setw(8) << F2(At(r.t20arr, b)) << std::setw(8)
          << F2(At(r.t30arr, b)) << std::setw(8) << F2(At(r.EDTarr, b)) << std::setw(8) << F2(At(r.C50Arr, b))
          << std::setw(8) << F2(At(r.C80Arr, b)) << "\n";
  };
  auto fit = [](bool Valid) { return Valid ? "" : " (fit rejected)"; };

  for (int i = 1; i < Model.AnzahlDatenzätze(); ++i) {
    const tMessdatensatz& r = Model.Messdaten()[static_cast<std::size_t>(i)];
    Out << "\nMeasurement " << i << (r.boDataSelected ? "" : " (not in the average)") << ": " << r.stTExt << "\n"
        << "  EDT " << F2(r.EDT_sec) << " s" << fit(r.EDT_valid) << ", T20 " << F2(r.T20_sec) << " s"
        << fit(r.T20_valid) << ", T30 " << F2(r.T30_sec) << " s" << fit(r.T30_valid) << "\n"
        << "  C50 " << F2(r.C50_dB) << " dB, C80 " << F2(r.C80_dB) << " dB, D50 "
        << F2(r.BroadbandClarity.D50_Prozent) << " %, Ts " << F2(r.ts_ms) << " ms, noise floor "
        << F2(r.BroadbandRT.NoiseFloor_dB) << " dB\n";
    bandTable(r);
  }

  const tMessdatensatz& a = Model.Average();
  Out << "\nAverage of the selected measurements\n"
      << "  T20 " << F2(a.T20_sec) << " s (sd " << F2(a.T20_Stddev) << "), T30 " << F2(a.T30_sec) << " s (sd "
      << F2(a.T30_Stddev) << "), EDT " << F2(a.EDT_sec) << " s\n"
      << "  C50 " << F2(a.C50_dB) << " dB (sd " << F2(a.C50_Stddev) << "), C80 " << F2(a.C80_dB) << " dB (sd "
      << F2(a.C80_Stddev) << "), Ts " << F2(a.ts_ms) << " ms\n";
  bandTable(a);

  const TRoomRatingResult rating = Model.Rating();
  auto line = [&](const char* What, const std::string& Value, const TRatingText& Text, bool Ok) {
    Out << "  " << std::left << std::setw(26) << What << std::right << std::setw(10) << Value << "  "
        << (Ok ? "in range    " : "out of range") << "  " << Text.Text() << "\n";
  };
  const double rt60 = Model.BasisT30 ? a.T30_sec : a.T20_sec;
  Out << "\nRating for " << TRoomRating::RoomListText(Model.RoomType()) << "\n";
  line("Reverberation time", F2(rt60) + " s", rating.RT60, rating.RT60_ok);
  line("Early Decay Time", F2(a.EDT_sec) + " s", rating.EDT, rating.EDT_ok);
  line("Objective Clarity Speech", F2(a.C50_dB) + " dB", rating.C50, rating.C50_ok);
  line("Objective Clarity Music", F2(a.C80_dB) + " dB", rating.C80, rating.C80_ok);
  line("Center Time", F2(a.ts_ms) + " ms", rating.ts, rating.ts_ok);
  Out << "Room character:";
  if (rating.RoomCharacter.empty()) Out << " none of the room types";
  for (std::size_t k = 0; k < rating.RoomCharacter.size(); ++k)
    Out << (k ? ", " : " ") << TRoomRating::RoomPanelText(rating.RoomCharacter[k]);
  Out << "\nHomogeneity: " << (rating.Homogeneous ? "homogeneous" : "not homogeneous") << "\n";
}

void AddRoomAnalysisOptions(CLI::App& Cmd, TRoomAnalysisOptions& O, bool WithRoom) {
  Cmd.add_option("--range", O.Range,
                 "Measuring range: 0 octaves 125 Hz-4 kHz, 1 octaves 63 Hz-8 kHz, 2 third octaves 100 Hz-5 kHz, "
                 "3 third octaves 50 Hz-10 kHz")
      ->check(CLI::Range(0, 3))
      ->capture_default_str();
  Cmd.add_option("--basis", O.Basis, "Decay time rated as RT60")
      ->check(CLI::IsMember({"T20", "T30"}))
      ->capture_default_str();
  if (WithRoom) {
    std::vector<std::string> keys;
    for (int r = 0; r < RoomTypeCount; ++r) keys.emplace_back(TRoomRating::RoomKey(r));
    Cmd.add_option("--room", O.Room, "Room type the average is rated against: " + RoomTypeKeysHelp())
        ->check(CLI::IsMember(keys))
        ->capture_default_str();
  }
  Cmd.add_flag("--json", O.Json, "Print one JSON document");
}

void ApplyRoomAnalysisOptions(TRT60Model& Model, const TRoomAnalysisOptions& O, bool WithRoom) {
  Model.SetRange(O.Range);
  Model.BasisT30 = O.Basis == "T30";
  if (WithRoom) Model.SetRoomType(TRoomRating::RoomFromKey(O.Room));
}

void PrintRoom(const TRT60Model& Model, bool Json) {
  if (Json)
    std::cout << RoomJson(Model).dump(2) << "\n";
  else
    PrintRoomText(std::cout, Model);
}
