#include "CliRun.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

namespace {

const std::string Fixtures = VEMRA_FIXTURES_DIR;

TCliRun Cli(const std::string& Arguments, const std::string& Locale = "en_US.UTF-8") {
  return RunCli(Arguments, "LC_ALL=" + Locale);
}

std::string Fixture(const char* Name) { return "'" + Fixtures + "/" + Name + "'"; }

}  // namespace

// The three-point example: 20 Hz -1.2 dB, 1 kHz 0 dB, 20 kHz 3.5 dB, read at the octave band centres.
TEST(CurveCommand, ExampleFileGivesTheInterpolatedAndExtrapolatedCorrections) {
  for (const char* file : {"mic_example_blank.txt", "mic_example_comma.txt"}) {
    for (const char* locale : {"de_DE.UTF-8", "en_US.UTF-8"}) {
      const TCliRun run = Cli("curve " + Fixture(file) + " --octave 1 --json", locale);
      ASSERT_EQ(run.ExitCode, 0) << file << " " << locale << ": " << run.Err;
      const auto doc = nlohmann::json::parse(run.Out);
      EXPECT_EQ(doc["separator"], 32);
      EXPECT_EQ(doc["points"], nlohmann::json::parse("[[20.0,-1.2],[1000.0,0.0],[20000.0,3.5]]"));
      const auto& bands = doc["bands"];
      ASSERT_EQ(bands.size(), 11u);
      struct TBand {
        double Centre, Correction;
      };
      const TBand expected[] = {
          {16, -1.2 + (16.0 - 20.0) * 1.2 / 980.0},  // below the first point: along the first segment
          {500, -1.2 + (500.0 - 20.0) * 1.2 / 980.0},
          {1000, 0.0},
          {8000, 3.5 * 7000.0 / 19000.0},
          {16000, 3.5 * 15000.0 / 19000.0},
      };
      for (const auto& e : expected) {
        bool found = false;
        for (const auto& b : bands) {
          if (b["centre"].get<double>() != e.Centre) continue;
          found = true;
          EXPECT_NEAR(b["correction_db"].get<double>(), e.Correction, 1e-5) << e.Centre << " Hz in " << file;
        }
        EXPECT_TRUE(found) << e.Centre;
      }
    }
  }
  const auto doc = nlohmann::json::parse(Cli("curve " + Fixture("mic_example_blank.txt") + " --json").Out);
  EXPECT_EQ(doc["header"], "\"Sens Factor =-1.2dB, SERNO: 1234567\"");
  ASSERT_EQ(doc["bands"].size(), 31u);  // third octaves unless told otherwise
  EXPECT_EQ(doc["bands"][0]["centre"], 20.0);
  EXPECT_NEAR(doc["bands"][0]["correction_db"].get<double>(), -1.2, 1e-6);
  EXPECT_EQ(doc["bands"][30]["centre"], 20159.0);
  EXPECT_EQ(doc["bands"][30]["correction_db"], 3.5);  // beyond the last point: its value held
}

TEST(CurveCommand, MakerFilesShowSeparatorHeaderAndPoints) {
  struct TCase {
    const char* File;
    int Separator;
    std::size_t Points;
    const char* Header;
  };
  const TCase cases[] = {
      {"mic_sens_tab_crlf.txt", 9, 17, "\"Sens Factor =-0.87dB, AGain =18dB, SERNO: 7412058\""},
      {"mic_semicolon_comma_bom.txt", 59, 12, "Frequenz [Hz];Korrektur [dB]"},
      {"mic_colon_cp1252.txt", 58, 5, "Korrekturkurve 0\u00b0 (Freifeld)"},
  };
  for (const auto& c : cases) {
    const TCliRun run = Cli("curve " + Fixture(c.File) + " --octave 12 --json");
    ASSERT_EQ(run.ExitCode, 0) << c.File << ": " << run.Err;
    const auto doc = nlohmann::json::parse(run.Out);
    EXPECT_EQ(doc["separator"], c.Separator) << c.File;
    EXPECT_EQ(doc["points"].size(), c.Points) << c.File;
    EXPECT_EQ(doc["header"], c.Header) << c.File;
    EXPECT_EQ(doc["bands"].size(), 121u) << c.File;
  }
  // The tab file: 1 kHz lies between 501.7 Hz (0.0348 dB) and 1000.9 Hz (0 dB).
  const auto doc = nlohmann::json::parse(Cli("curve " + Fixture("mic_sens_tab_crlf.txt") + " --octave 3 --json").Out);
  EXPECT_EQ(doc["points"][0], nlohmann::json::parse("[10.1,-4.6174]"));  // the frequency keeps one decimal
  EXPECT_NEAR(doc["bands"][17]["correction_db"].get<double>(), 0.0348 * 0.9 / (1000.9 - 501.7), 1e-5);

  const TCliRun text = Cli("curve " + Fixture("mic_semicolon_comma_bom.txt"));
  ASSERT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("Separator:  \";\" (59)"), std::string::npos) << text.Out;
  EXPECT_NE(text.Out.find("line 1: Messmikrofon MK-250 Seriennummer: 88213"), std::string::npos) << text.Out;
}

TEST(CurveCommand, FailuresSayWhichLineAndWhy) {
  struct TCase {
    std::string Arguments;
    int Exit;
    const char* Message;
  };
  const TCase cases[] = {
      {"curve " + Fixture("mic_bad_empty_level.txt"), 1, "line 4: the level (second field) is empty"},
      {"curve " + Fixture("mic_bad_number.txt"), 1, "line 4: the level \"0.8dB\" is not a number"},
      {"curve " + Fixture("mic_one_line.txt"), 1, "only one line"},
      {"curve " + Fixture("no_such_file.txt"), 1, "file not found"},
      {"curve " + Fixture("mic_example_blank.txt") + " --octave 2", 2, "--octave"},
  };
  for (const auto& c : cases) {
    const TCliRun run = Cli(c.Arguments);
    EXPECT_EQ(run.ExitCode, c.Exit) << c.Arguments;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << "one line: " << run.Err;
  }
}
