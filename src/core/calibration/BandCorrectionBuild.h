#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/MicSystemStatus.h"
#include "calibration/TDatentyp.h"
#include "io/ini_data.h"

// The measured interface calibration: "Vemra.dlc" in the folder of the files the program writes.
std::string CalibrationFileLocation();
// The default interface calibration: "Vemrad.dlc" among the program's read-only resources.
std::string DefaultCalibrationFileLocation();

// One message the correction loading has for the user, in the order the loading met it.
struct TCalibrationMessage {
  enum class TKind { Warning, Error };
  TKind Kind = TKind::Warning;
  int TextId = 0;        // id of the text in the language file; 0: the text is shown as it is
  std::string English;   // the program's own text
  std::string FileName;  // put after the (translated) text; empty when the text names no file
  std::string Detail;    // what exactly is wrong ("line 7: the level ... is not a number"), may be empty

  // The text in the interface language with the file name after it.
  std::string Text() const;
};

// What building the band corrections needs: the correction settings, the interface and the bands.
struct TBandCorrectionInput {
  int32_t MikKorrType = 0;  // 0 off, 1 the 0° curves, 2 the >0° curves
  std::array<std::string, MikKorrInputs> MikKorr_0_file;
  std::array<std::string, MikKorrInputs> MikKorr_90_file;
  bool SysCalAktiv = false;                // use the measured interface calibration
  std::string CalibrationFileName;         // the measured interface calibration ("Vemra.dlc")
  std::string DefaultCalibrationFileName;  // the default one shipped with the program ("Vemrad.dlc")
  int InputCount = 0;                      // inputs read from the interface
  int MeasuredInput = 0;                   // input (from 0) of the measured channel; negative: none selected
  std::vector<float> BandFrequencies;      // the analyzer's band centres, in band order
  bool InterfaceCalibrationRunning = false;

  // The correction settings of a settings record and the two calibration files at their places; the
  // caller adds the interface, the measured input, the bands and the calibration run.
  static TBandCorrectionInput FromSettings(const tinidataValues& Settings);
};

// The corrections for one preparation of a measurement.
struct TBandCorrectionBuild {
  TDatentyp MicBandCorrection;  // x = band centres, y = microphone correction of the measured input, dB
  TDatentyp BandCorrection;     // x = band centres, y = interface + microphone correction, dB
  std::vector<TCalibrationMessage> Messages;
  int32_t MikKorrType = 0;  // the correction mode afterwards: 0 when a correction file was unusable
  TMicSystemStatus Status;  // the status bar texts afterwards
};

// Loads the microphone curves of every input (0° or >0° by MikKorrType) and the interface curve, and
// evaluates them at the band centres. A correction file that is missing, has no usable field separator
// or does not import switches the microphone correction off (MikKorrType 0) with a warning; the other
// inputs are still looked at. An interface calibration file that does not import is reported as an error
// and the points read before the fault are used. While the interface calibration runs, the interface
// curve is left out.
TBandCorrectionBuild BuildBandCorrection(const TBandCorrectionInput& Input);

// The input of the measured channel: the input of channel 1 ... 4 for ASIO_Messkanalkombi 0 ... 3,
// any other value gives input 1 (index 0).
int MeasuredChannelInput(int32_t ASIO_Messkanalkombi, const std::array<int, 4>& ChannelInputMap);
