#include "CliRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class SettingsCli : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("vemra-cli-settings-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Folder);
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }

  TCliRun Run(const std::string& Args, const std::string& Locale = "en_US.UTF-8") {
    return RunCli(Args, "LC_ALL=" + Locale + " VEMRA_CONFIG_DIR='" + Folder.string() + "'");
  }
  nlohmann::json ShowJson() {
    const TCliRun r = Run("settings show --json");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return nlohmann::json::parse(r.Out);
  }
  std::string IniText() const { return ReadFileText(Folder / "Vemra.INI"); }

  fs::path Folder;
};

TEST_F(SettingsCli, ShowGivesPathAndTypedDefaultsWithoutWriting) {
  const nlohmann::json doc = ShowJson();
  EXPECT_EQ(doc["path"], (Folder / "Vemra.INI").string());
  const auto& v = doc["values"];
  EXPECT_EQ(v.size(), 75u);
  EXPECT_EQ(v["Form/Left"], 10);
  EXPECT_EQ(v["RT60/Level"], -6);
  EXPECT_EQ(v["ASIO/Skip"], 50);
  EXPECT_EQ(v["ASIO/SR"], "48000");
  EXPECT_EQ(v["ASIO/InputforCh3"], 3);
  EXPECT_TRUE(v["System/CalActive"].is_boolean());
  EXPECT_EQ(v["System/CalActive"], false);
  EXPECT_TRUE(v["Mic/SPLOffset9"].is_number_float());
  EXPECT_EQ(v["Mic/K90-9"], "");
  EXPECT_EQ(v["Report/Img"], "");
  EXPECT_FALSE(fs::exists(Folder / "Vemra.INI"));

  const TCliRun text = Run("settings show");
  EXPECT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("Settings file: " + (Folder / "Vemra.INI").string()), std::string::npos);
  EXPECT_NE(text.Out.find("\nRTA/Octave=2\n"), std::string::npos);
}

TEST_F(SettingsCli, SetGoesThroughTheLoadTimeChecks) {
  const TCliRun r = Run("settings set ASIO/Skip=5 rta/octave=0x3 Mic/SPLOffset3=-32,5 yt/TBms=100 "
                        "System/CalActive=true 'Report/Author=Dr. Weiß'");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("ASIO/Skip=50 (5 is not accepted; the program uses 50)"), std::string::npos) << r.Out;

  const auto v = ShowJson()["values"];
  EXPECT_EQ(v["ASIO/Skip"], 50);
  EXPECT_EQ(v["RTA/Octave"], 3);
  EXPECT_EQ(v["Mic/SPLOffset3"], -32.5);
  EXPECT_EQ(v["yt/TBms"], 300);
  EXPECT_EQ(v["System/CalActive"], true);
  EXPECT_EQ(v["Report/Author"], "Dr. Weiß");
  EXPECT_NE(IniText().find("\nSkip=50\n"), std::string::npos);

  // A German user gets a decimal comma in the file and in the listing.
  ASSERT_EQ(Run("settings set Mic/SPLOffset0=1.25", "de_DE.UTF-8").ExitCode, 0);
  EXPECT_NE(IniText().find("\nSPLOffset0=1,25\n"), std::string::npos);
  EXPECT_NE(Run("settings show", "de_DE.UTF-8").Out.find("\nMic/SPLOffset3=-32,5\n"), std::string::npos);
  EXPECT_EQ(ShowJson()["values"]["Mic/SPLOffset0"], 1.25);
}

TEST_F(SettingsCli, BadInputIsRefusedAndNothingIsWritten) {
  ASSERT_EQ(Run("settings set RTA/Octave=4").ExitCode, 0);
  const std::string before = IniText();
  struct Case {
    const char* Args;
    int ExitCode;
    const char* Message;
  };
  const Case cases[] = {
      {"settings set RTA/Octave=1 RTA/Foo=1", 1, "unknown setting \"RTA/Foo\""},
      {"settings set RTA/Octave=1 RTA/Speed=fast", 1, "RTA/Speed: \"fast\" is not a whole number"},
      {"settings set Mic/SPLOffset1=1,2.3", 1, "Mic/SPLOffset1: \"1,2.3\" is not a number"},
      {"settings set System/CalActive=maybe", 1, "System/CalActive"},
      {"settings set Mic/K0-0=/no/such/curve.txt", 1, "there is no file \"/no/such/curve.txt\""},
      {"settings set RTA/Octave", 2, "expected SECTION/KEY=VALUE"},
      {"settings set", 2, ""},
      {"settings", 2, ""},
  };
  for (const auto& c : cases) {
    const TCliRun r = Run(c.Args);
    EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Args;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.Args << ": " << r.Err;
    EXPECT_EQ(IniText(), before) << c.Args;
  }
}

TEST_F(SettingsCli, CorrectionFileIsStoredByFullPath) {
  std::ofstream(Folder / "mic.txt") << "1000 0\n";
  // A name relative to the folder the command runs in (the test's), not to the settings folder.
  const std::string rel = fs::relative(Folder / "mic.txt", fs::current_path()).string();
  const TCliRun ok = RunCli("settings set 'Mic/K0-2=" + rel + "'", "VEMRA_CONFIG_DIR='" + Folder.string() + "'");
  ASSERT_EQ(ok.ExitCode, 0) << ok.Err;
  EXPECT_EQ(ShowJson()["values"]["Mic/K0-2"], (Folder / "mic.txt").string());
}

TEST_F(SettingsCli, AWriteFailureIsReported) {
  std::ofstream(Folder / "plain") << "x";
  const TCliRun r = RunCli("settings set RTA/Octave=1", "VEMRA_CONFIG_DIR='" + (Folder / "plain" / "sub").string() + "'");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Cannot write"), std::string::npos) << r.Err;
}

}  // namespace
