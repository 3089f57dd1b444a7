// vemra-cli curve: shows how a microphone correction or calibration file is read and what it corrects
// at the analyzer's band centres, so a file can be checked before it is used.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliCommand.h"
#include "calibration/audio_ASCII_Import.h"
#include "dsp/RTAEngineIEC1.h"

namespace {

struct TCurveOptions {
  std::string File;
  int Octave = 3;
  bool Json = false;
};

// The centre frequencies the analyzer shows for a number of bands per octave.
std::vector<float> AnalyzerBandCentres(int BandsPerOctave) {
  const TRTAEngineIEC1 engine(48000.0f, BandsPerOctave);
  const auto centres = engine.CenterFreqs();
  return {centres.begin(), centres.end()};
}

// A 32-bit value as the shortest decimal that reads back as it (so 3.5f is 3.5, not 3.5000000000001).
double Shortest(float Value) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, Value);
  double out = Value;
  std::from_chars(buf, res.ptr, out);
  return out;
}

// Things worth knowing about a curve that imported: they do not stop the program from using it.
std::vector<std::string> Notes(const TDatentyp& Curve, const TCurveImportDetails& Details) {
  std::vector<std::string> notes;
  if (Curve.Count() < 2)
    notes.push_back(Curve.Count() == 0 ? "no data lines: the file gives no correction (0 dB at every band)"
                                       : "only one data line: a curve needs two points, the file gives no correction");
  for (std::size_t i = 1; i < Curve.Count(); ++i) {
    if (!(Curve.X()[i] > Curve.X()[i - 1])) {
      char text[160];
      std::snprintf(text, sizeof text, "line %d: frequency %.1f Hz does not rise above %.1f Hz of the line before",
                    Details.PointLines[i], static_cast<double>(Curve.X()[i]), static_cast<double>(Curve.X()[i - 1]));
      notes.emplace_back(text);
    }
  }
  return notes;
}

void Run(const TCurveOptions& Options) {
  TCurveImportDetails details;
  std::string fileText;
  if (!ReadCurveText(Options.File, fileText, &details)) throw TCliError(Options.File + ": " + details.Message());
  const int separator = DetectDelimiterInText(fileText, &details);
  if (separator == DelimiterNone) throw TCliError(Options.File + ": " + details.Message());

  TDatentyp curve;
  std::string header;
  details = {};
  if (!ImportAsciiCurveText(fileText, curve, static_cast<char>(separator), header, &details))
    throw TCliError(Options.File + ": " + details.Message());

  const std::vector<float> centres = AnalyzerBandCentres(Options.Octave);
  std::vector<float> corrections;
  corrections.reserve(centres.size());
  for (const float f : centres) corrections.push_back(InterpolateCurve(curve, f));
  const std::vector<std::string> notes = Notes(curve, details);
  for (const auto& note : notes) std::cerr << "note: " << note << "\n";

  if (Options.Json) {
    nlohmann::json doc;
    doc["file"] = Options.File;
    doc["separator"] = separator;
    doc["header"] = header;
    doc["header_lines"] = nlohmann::json::array();
    for (const auto& [line, text] : details.HeaderLines) doc["header_lines"].push_back({{"line", line}, {"text", text}});
    doc["points"] = nlohmann::json::array();
    for (std::size_t i = 0; i < curve.Count(); ++i)
      doc["points"].push_back({Shortest(curve.X()[i]), Shortest(curve.Y()[i])});
    doc["octave"] = Options.Octave;
    doc["bands"] = nlohmann::json::array();
    for (std::size_t j = 0; j < centres.size(); ++j)
      doc["bands"].push_back({{"centre", Shortest(centres[j])}, {"correction_db", Shortest(corrections[j])}});
    doc["notes"] = notes;
    std::cout << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return;
  }

  std::printf("File:       %s\n", Options.File.c_str());
  std::printf("Separator:  %s (%d)\n", SeparatorName(static_cast<char>(separator)).c_str(), separator);
  std::printf("Header:     %s\n", header.c_str());
  if (details.HeaderLines.size() > 1) {
    std::printf("Header lines:\n");
    for (const auto& [line, text] : details.HeaderLines) std::printf("  line %d: %s\n", line, text.c_str());
  }
  std::printf("Points:     %zu\n", curve.Count());
  std::printf("  %12s  %10s\n", "Hz", "dB");
  for (std::size_t i = 0; i < curve.Count(); ++i)
    std::printf("  %12.1f  %10.4f\n", static_cast<double>(curve.X()[i]), static_cast<double>(curve.Y()[i]));
  std::printf("Correction at the analyzer's band centres, 1/%d octave:\n", Options.Octave);
  std::printf("  %12s  %10s\n", "centre Hz", "dB");
  for (std::size_t j = 0; j < centres.size(); ++j)
    std::printf("  %12.0f  %10.4f\n", static_cast<double>(centres[j]), static_cast<double>(corrections[j]));
}

const TCliCommand reg([](CLI::App& app) {
  auto options = std::make_shared<TCurveOptions>();
  auto* cmd = app.add_subcommand(
      "curve",
      "Read a microphone correction or calibration file as the analyzer does: the field separator found, the "
      "header, the points, and the correction at the analyzer's band centres");
  cmd->add_option("FILE", options->File, "the text curve file")->required();
  cmd->add_option("--octave", options->Octave, "bands per octave of the analyzer (default 3)")
      ->check(CLI::IsMember({1, 3, 6, 9, 12}));
  cmd->add_flag("--json", options->Json, "print one JSON document");
  cmd->callback([options] { Run(*options); });
});

}  // namespace
