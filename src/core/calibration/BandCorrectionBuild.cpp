#include "calibration/BandCorrectionBuild.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "calibration/audio_ASCII_Import.h"
#include "io/ProgramFolder.h"
#include "io/UILanguage.h"

namespace {

bool FileExists(const std::string& Name) {
  std::error_code ec;
  return !Name.empty() && std::filesystem::is_regular_file(Name, ec);
}

// The texts of one kind of correction file (0° or >0°) with their ids in the language file.
struct TMicFileTexts {
  const char* NotFound;
  int NotFoundId;
  const char* NoDelimiter;
  int NoDelimiterId;
  bool NoDelimiterNamesFile;
  const char* Invalid;
  int InvalidId;
};

constexpr TMicFileTexts Mic0Texts{
    "Mic correction file 0° not found. Function disabled. File:", 118,
    "Mic correction file 0°: Data delemiter char invalid. Function disabled", 116, false,
    "Mic correction file 0° invalid. Function disabled. File:", 117};

constexpr TMicFileTexts Mic90Texts{
    "Mic correction file 90° not found. Function disabled. File: ", 121,
    "Mic correction file 90°:  Delemiter invalid. Function disabled, File: ", 119, true,
    "Mic correction file 90° invalid. Function disabled. File: ", 120};

TCalibrationMessage Message(TCalibrationMessage::TKind Kind, int TextId, std::string English, std::string FileName,
                            std::string Detail) {
  TCalibrationMessage m;
  m.Kind = Kind;
  m.TextId = TextId;
  m.English = std::move(English);
  m.FileName = std::move(FileName);
  m.Detail = std::move(Detail);
  return m;
}

// Loads the correction curve of every input that names a file; an unusable file switches the
// correction off and the remaining inputs are still looked at.
void LoadMicCurves(const std::array<std::string, MikKorrInputs>& Files, const TMicFileTexts& Texts,
                   int InputCount, std::array<TDatentyp, MikKorrInputs>& Curves, TBandCorrectionBuild& Out) {
  const int inputs = std::clamp(InputCount, 0, MikKorrInputs);
  for (int k = 0; k < inputs; ++k) {
    const std::string& file = Files[static_cast<std::size_t>(k)];
    if (file.empty()) continue;
    if (!FileExists(file)) {
      Out.Messages.push_back(
          Message(TCalibrationMessage::TKind::Warning, Texts.NotFoundId, Texts.NotFound, file, ""));
      Out.MikKorrType = 0;
      continue;
    }
    TCurveImportDetails details;
    std::string text;
    const int separator = ReadCurveText(file, text, &details) ? DetectDelimiterInText(text, &details) : DelimiterNone;
    if (separator == DelimiterNone) {
      Out.Messages.push_back(Message(TCalibrationMessage::TKind::Warning, Texts.NoDelimiterId, Texts.NoDelimiter,
                                     Texts.NoDelimiterNamesFile ? file : "", details.Message()));
      Out.MikKorrType = 0;
      continue;
    }
    std::string header;
    details = {};
    if (!ImportAsciiCurveText(text, Curves[static_cast<std::size_t>(k)], static_cast<char>(separator), header,
                              &details)) {
      Out.Messages.push_back(
          Message(TCalibrationMessage::TKind::Warning, Texts.InvalidId, Texts.Invalid, file, details.Message()));
      Out.MikKorrType = 0;
    }
  }
}

}  // namespace

std::string CalibrationFileLocation() { return (ConfigFolder() / "Vemra.dlc").string(); }

std::string DefaultCalibrationFileLocation() { return ResourceFolder() + "Vemrad.dlc"; }

TBandCorrectionInput TBandCorrectionInput::FromSettings(const tinidataValues& Settings) {
  TBandCorrectionInput input;
  input.MikKorrType = Settings.MikKorrType;
  input.MikKorr_0_file = Settings.MikKorr_0_file;
  input.MikKorr_90_file = Settings.MikKorr_90_file;
  input.SysCalAktiv = Settings.SysCalAktiv;
  input.CalibrationFileName = CalibrationFileLocation();
  input.DefaultCalibrationFileName = DefaultCalibrationFileLocation();
  return input;
}

std::string TCalibrationMessage::Text() const {
  return (TextId != 0 ? Translate(English, TextId) : English) + FileName;
}

TBandCorrectionBuild BuildBandCorrection(const TBandCorrectionInput& Input) {
  TBandCorrectionBuild out;
  out.MikKorrType = Input.MikKorrType;

  std::array<TDatentyp, MikKorrInputs> micCurves;
  if (out.MikKorrType == 1) LoadMicCurves(Input.MikKorr_0_file, Mic0Texts, Input.InputCount, micCurves, out);
  if (out.MikKorrType == 2) LoadMicCurves(Input.MikKorr_90_file, Mic90Texts, Input.InputCount, micCurves, out);

  // The interface curve: the measured calibration when it is switched on and there, else the default.
  TDatentyp interfaceCurve;
  std::string header;
  TCurveImportDetails details;
  if (Input.SysCalAktiv && FileExists(Input.CalibrationFileName)) {
    if (!ImportAsciiCurve(Input.CalibrationFileName, interfaceCurve, '\t', header, &details))
      out.Messages.push_back(Message(TCalibrationMessage::TKind::Error, 0, "Corrupt audio interface calibration file! ",
                                     Input.CalibrationFileName, details.Message()));
  } else if (!ImportAsciiCurve(Input.DefaultCalibrationFileName, interfaceCurve, '\t', header, &details)) {
    out.Messages.push_back(Message(TCalibrationMessage::TKind::Error, 0,
                                   "Corrupt default audio interface calibration file! ",
                                   Input.DefaultCalibrationFileName, details.Message()));
  }

  out.Status = MicSystemStatus(out.MikKorrType, Input.SysCalAktiv, Input.CalibrationFileName);

  // A channel without an input gets no microphone correction.
  static const TDatentyp NoCurve;
  const bool haveInput = Input.MeasuredInput >= 0 && Input.MeasuredInput < MikKorrInputs;
  const TDatentyp& micCurve = haveInput ? micCurves[static_cast<std::size_t>(Input.MeasuredInput)] : NoCurve;

  for (const float f : Input.BandFrequencies) {
    const float mic = out.MikKorrType >= 1 ? InterpolateCurve(micCurve, f) : 0.0f;
    const float system = Input.InterfaceCalibrationRunning ? 0.0f : InterpolateCurve(interfaceCurve, f);
    out.MicBandCorrection.AddPoint(f, mic);
    out.BandCorrection.AddPoint(f, system + mic);
  }
  return out;
}

int MeasuredChannelInput(int32_t ASIO_Messkanalkombi, const std::array<int, 4>& ChannelInputMap) {
  if (ASIO_Messkanalkombi >= 0 && ASIO_Messkanalkombi <= 3)
    return ChannelInputMap[static_cast<std::size_t>(ASIO_Messkanalkombi)];
  return 0;
}
