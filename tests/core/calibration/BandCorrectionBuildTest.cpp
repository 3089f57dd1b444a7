#include "calibration/BandCorrectionBuild.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calibration/audio_ASCII_Import.h"
#include "io/UILanguage.h"

namespace fs = std::filesystem;

namespace {

const std::string Fixtures = VEMRA_FIXTURES_DIR;
const std::string ShippedDefault = Fixtures + "/../../data/Vemrad.dlc";

using TKind = TCalibrationMessage::TKind;

class BandCorrectionBuild : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vemra-bands-XXXXXX").string();
    Dir = mkdtemp(pattern.data());
    Input.CalibrationFileName = (Dir / "Vemra.dlc").string();
    Input.DefaultCalibrationFileName = ShippedDefault;
    Input.InputCount = 8;
    Input.BandFrequencies = {10, 20, 1000, 25000};
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  std::string Write(const std::string& Name, const std::string& Text) {
    const fs::path p = Dir / Name;
    std::ofstream(p, std::ios::binary) << Text;
    return p.string();
  }
  static std::vector<float> Y(const TDatentyp& C) { return C.Y(); }

  fs::path Dir;
  TBandCorrectionInput Input;
};

constexpr const char* Example = "\"Sens Factor =-1.2dB, SERNO: 1234567\"\n20 -1.2\n1000 0\n20000 3.5\n";

}  // namespace

TEST_F(BandCorrectionBuild, MeasuredChannelUsesTheCurveOfItsInputPlusTheInterfaceCurve) {
  Input.MikKorrType = 1;
  Input.MikKorr_0_file[5] = Write("input6.txt", Example);
  Input.MikKorr_0_file[0] = Write("input1.txt", "h\n20 9\n1000 9\n20000 9\n");
  Input.MikKorr_90_file[5] = Write("input6-90.txt", "h\n20 7\n1000 7\n20000 7\n");  // not the chosen mode
  Input.SysCalAktiv = true;
  std::string why;
  TDatentyp system;
  system.AddPoint(20, 0.5f);
  system.AddPoint(20000, 0.5f);
  ASSERT_TRUE(WriteCalibrationFile(Input.CalibrationFileName, system, '\t', 48000, &why)) << why;

  // Ch4 assigned to input 6.
  Input.MeasuredInput = MeasuredChannelInput(3, {0, 1, 2, 5});
  ASSERT_EQ(Input.MeasuredInput, 5);
  const TBandCorrectionBuild out = BuildBandCorrection(Input);

  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(out.MikKorrType, 1);
  EXPECT_EQ(out.Status, (TMicSystemStatus{"System On", "Mic. 0°"}));
  EXPECT_EQ(out.MicBandCorrection.X(), Input.BandFrequencies);
  EXPECT_EQ(out.BandCorrection.X(), Input.BandFrequencies);
  const float at10 = static_cast<float>(-1.2 + (10.0 - 20.0) * (1.2 / 980.0));
  const std::vector<float> mic{at10, -1.2f, 0.0f, 3.5f};
  for (std::size_t j = 0; j < mic.size(); ++j) {
    EXPECT_NEAR(out.MicBandCorrection.Y()[j], mic[j], 1e-6) << j;
    EXPECT_NEAR(out.BandCorrection.Y()[j], mic[j] + 0.5f, 1e-6) << j;
  }
}

TEST_F(BandCorrectionBuild, MeasuredChannelSelectionFallsBackToInputOne) {
  EXPECT_EQ(MeasuredChannelInput(0, {4, 1, 2, 3}), 4);
  EXPECT_EQ(MeasuredChannelInput(2, {4, 1, 7, 3}), 7);
  EXPECT_EQ(MeasuredChannelInput(4, {4, 1, 7, 3}), 0);
  EXPECT_EQ(MeasuredChannelInput(-1, {4, 1, 7, 3}), 0);
}

TEST_F(BandCorrectionBuild, UnusableZeroDegreeFilesWarnInInputOrderAndSwitchTheCorrectionOff) {
  Input.MikKorrType = 1;
  const std::string missing = (Dir / "gone.txt").string();
  Input.MikKorr_0_file[0] = missing;
  Input.MikKorr_0_file[1] = Write("one-line.txt", "20 -1.2\n");
  Input.MikKorr_0_file[2] = Write("bad-level.txt", "h\n20 -1.2\n1000 0dB\n20000 3.5\n");
  Input.MikKorr_0_file[3] = Write("good.txt", Example);
  Input.MikKorr_0_file[8] = (Dir / "beyond-the-interface.txt").string();  // input 9 of 8: not looked at
  Input.MeasuredInput = 3;
  const TBandCorrectionBuild out = BuildBandCorrection(Input);

  ASSERT_EQ(out.Messages.size(), 3u);
  EXPECT_EQ(out.Messages[0].Kind, TKind::Warning);
  EXPECT_EQ(out.Messages[0].TextId, 118);
  EXPECT_EQ(out.Messages[0].Text(), "Mic correction file 0° not found. Function disabled. File:" + missing);
  EXPECT_EQ(out.Messages[1].TextId, 116);
  EXPECT_EQ(out.Messages[1].Text(), "Mic correction file 0°: Data delemiter char invalid. Function disabled");
  EXPECT_NE(out.Messages[1].Detail.find("only one line"), std::string::npos);
  EXPECT_EQ(out.Messages[2].TextId, 117);
  EXPECT_EQ(out.Messages[2].Text(),
            "Mic correction file 0° invalid. Function disabled. File:" + Input.MikKorr_0_file[2]);
  EXPECT_EQ(out.Messages[2].Detail.substr(0, 8), "line 3: ");

  EXPECT_EQ(out.MikKorrType, 0);
  EXPECT_EQ(out.Status, (TMicSystemStatus{"System Off", "Mic. Off"}));
  EXPECT_EQ(Y(out.MicBandCorrection), std::vector<float>(4, 0.0f));  // the good file of input 4 is not used
  EXPECT_EQ(Y(out.BandCorrection), std::vector<float>(4, 0.0f));    // the shipped default is flat
}

TEST_F(BandCorrectionBuild, RandomIncidenceFilesHaveTheirOwnTexts) {
  Input.MikKorrType = 2;
  const std::string missing = (Dir / "gone.txt").string();
  Input.MikKorr_90_file[0] = missing;
  Input.MikKorr_90_file[1] = Write("one-line.txt", "20 -1.2\n");
  Input.MikKorr_90_file[2] = Write("bad.txt", "h\n20 -1.2\n1000 x\n20000 3.5\n");
  Input.MikKorr_0_file[3] = (Dir / "zero-degree-not-used.txt").string();
  const TBandCorrectionBuild out = BuildBandCorrection(Input);

  ASSERT_EQ(out.Messages.size(), 3u);
  EXPECT_EQ(out.Messages[0].TextId, 121);
  EXPECT_EQ(out.Messages[0].Text(), "Mic correction file 90° not found. Function disabled. File: " + missing);
  EXPECT_EQ(out.Messages[1].TextId, 119);
  EXPECT_EQ(out.Messages[1].Text(),
            "Mic correction file 90°:  Delemiter invalid. Function disabled, File: " + Input.MikKorr_90_file[1]);
  EXPECT_EQ(out.Messages[2].TextId, 120);
  EXPECT_EQ(out.Messages[2].Text(),
            "Mic correction file 90° invalid. Function disabled. File: " + Input.MikKorr_90_file[2]);
  EXPECT_EQ(out.MikKorrType, 0);
}

TEST_F(BandCorrectionBuild, InputsWithoutFileOrBeyondTheInterfaceGiveNoCorrection) {
  Input.MikKorrType = 2;
  Input.MikKorr_90_file[1] = Write("input2.txt", Example);
  Input.InputCount = 1;  // input 2 does not exist on this interface
  Input.MeasuredInput = 1;
  TBandCorrectionBuild out = BuildBandCorrection(Input);
  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(out.MikKorrType, 2);
  EXPECT_EQ(out.Status.MicText, "Mic. >0°");
  EXPECT_EQ(Y(out.MicBandCorrection), std::vector<float>(4, 0.0f));

  Input.InputCount = 2;
  Input.MeasuredInput = -1;  // the measured channel has no input selected
  out = BuildBandCorrection(Input);
  EXPECT_EQ(Y(out.MicBandCorrection), std::vector<float>(4, 0.0f));
  Input.MeasuredInput = 1;
  out = BuildBandCorrection(Input);
  EXPECT_FLOAT_EQ(out.MicBandCorrection.Y()[3], 3.5f);

  Input.MikKorrType = 0;  // off: the files are not even looked at
  Input.MikKorr_90_file[0] = (Dir / "gone.txt").string();
  out = BuildBandCorrection(Input);
  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(Y(out.MicBandCorrection), std::vector<float>(4, 0.0f));
}

TEST_F(BandCorrectionBuild, CalibrationRunLeavesTheInterfaceCurveOut) {
  Input.MikKorrType = 1;
  Input.MikKorr_0_file[0] = Write("input1.txt", Example);
  Input.SysCalAktiv = true;
  TDatentyp system;
  system.AddPoint(20, 2.0f);
  system.AddPoint(20000, 2.0f);
  ASSERT_TRUE(WriteCalibrationFile(Input.CalibrationFileName, system, '\t', 48000));
  Input.InterfaceCalibrationRunning = true;
  const TBandCorrectionBuild out = BuildBandCorrection(Input);
  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(Y(out.BandCorrection), Y(out.MicBandCorrection));
  EXPECT_FLOAT_EQ(out.BandCorrection.Y()[3], 3.5f);
}

TEST_F(BandCorrectionBuild, InterfaceCurveChoiceAndItsErrors) {
  // Switched on but no measured file: the default is used and the status says so.
  Input.SysCalAktiv = true;
  Input.DefaultCalibrationFileName = Write("Vemrad.dlc", "Vemra 48000\r\n20\t1\r\n20000\t1\r\n");
  TBandCorrectionBuild out = BuildBandCorrection(Input);
  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(out.Status.SystemText, "System Off");
  EXPECT_EQ(Y(out.BandCorrection), std::vector<float>(4, 1.0f));

  // A corrupt measured file: an error, and the points before the fault stay in use.
  Write("Vemra.dlc", "Vemra 48000\r\n20\t3\r\n1000\t3\r\n2000\toops\r\n20000\t9\r\n");
  out = BuildBandCorrection(Input);
  ASSERT_EQ(out.Messages.size(), 1u);
  EXPECT_EQ(out.Messages[0].Kind, TKind::Error);
  EXPECT_EQ(out.Messages[0].TextId, 0);
  EXPECT_EQ(out.Messages[0].Text(), "Corrupt audio interface calibration file! " + Input.CalibrationFileName);
  EXPECT_EQ(out.Messages[0].Detail.substr(0, 8), "line 4: ");
  EXPECT_EQ(out.Status.SystemText, "System On");
  EXPECT_EQ(Y(out.BandCorrection), std::vector<float>(4, 3.0f));

  // Switched off: the default, even though the measured file is there.
  Input.SysCalAktiv = false;
  out = BuildBandCorrection(Input);
  EXPECT_TRUE(out.Messages.empty());
  EXPECT_EQ(Y(out.BandCorrection), std::vector<float>(4, 1.0f));

  // The default missing: an error and no interface correction; the microphone warnings come first.
  Input.DefaultCalibrationFileName = (Dir / "no-default.dlc").string();
  Input.MikKorrType = 1;
  Input.MikKorr_0_file[0] = (Dir / "gone.txt").string();
  out = BuildBandCorrection(Input);
  ASSERT_EQ(out.Messages.size(), 2u);
  EXPECT_EQ(out.Messages[0].TextId, 118);
  EXPECT_EQ(out.Messages[1].Kind, TKind::Error);
  EXPECT_EQ(out.Messages[1].Text(),
            "Corrupt default audio interface calibration file! " + Input.DefaultCalibrationFileName);
  EXPECT_EQ(Y(out.BandCorrection), std::vector<float>(4, 0.0f));
}

TEST(MicSystemStatus, TextsForEveryMode) {
  EXPECT_EQ(MicSystemStatus(0, true, "").MicText, "Mic. Off");
  EXPECT_EQ(MicSystemStatus(1, true, "").MicText, "Mic. 0°");
  EXPECT_EQ(MicSystemStatus(2, true, "").MicText, "Mic. >0°");
  EXPECT_EQ(MicSystemStatus(3, true, "").MicText, "Mic. Off");
  EXPECT_EQ(MicSystemStatus(0, true, ShippedDefault).SystemText, "System On");
  EXPECT_EQ(MicSystemStatus(0, false, ShippedDefault).SystemText, "System Off");
  EXPECT_EQ(MicSystemStatus(0, true, ShippedDefault + ".missing").SystemText, "System Off");
}

TEST_F(BandCorrectionBuild, MessagesAreTranslatedBeforeTheFileNameIsAdded) {
  Input.MikKorrType = 1;
  Input.MikKorr_0_file[0] = (Dir / "gone.txt").string();
  Input.DefaultCalibrationFileName = (Dir / "no-default.dlc").string();
  ASSERT_TRUE(LoadLanguageFile(Fixtures + "/../../data/Vemra_DE.txt", true));
  const TBandCorrectionBuild out = BuildBandCorrection(Input);
  ASSERT_EQ(out.Messages.size(), 2u);
  const std::string german = out.Messages[0].Text();
  const std::string error = out.Messages[1].Text();
  ResetLanguageTexts();
  EXPECT_EQ(german, "Mikrofon-Korrekturdatei 0° nicht gefunden. Funktion deaktiviert. Datei: " + Input.MikKorr_0_file[0]);
  // The calibration file errors have no text id and stay English.
  EXPECT_EQ(error, "Corrupt default audio interface calibration file! " + Input.DefaultCalibrationFileName);
}

TEST_F(BandCorrectionBuild, InputFromTheSettingsRecord) {
  tinidataValues settings;
  settings.MikKorrType = 2;
  settings.MikKorr_0_file[1] = "a.txt";
  settings.MikKorr_90_file[9] = "b.txt";
  settings.SysCalAktiv = true;
  setenv("VEMRA_CONFIG_DIR", Dir.c_str(), 1);
  const TBandCorrectionInput in = TBandCorrectionInput::FromSettings(settings);
  unsetenv("VEMRA_CONFIG_DIR");
  EXPECT_EQ(in.MikKorrType, 2);
  EXPECT_EQ(in.MikKorr_0_file[1], "a.txt");
  EXPECT_EQ(in.MikKorr_90_file[9], "b.txt");
  EXPECT_TRUE(in.SysCalAktiv);
  EXPECT_EQ(fs::path(in.CalibrationFileName), Dir / "Vemra.dlc");
  EXPECT_EQ(fs::path(in.DefaultCalibrationFileName).filename(), "Vemrad.dlc");
}
