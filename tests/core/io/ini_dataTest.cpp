#include "io/AtomicFile.h"
#include "io/IniFile.h"
#include "io/ini_data.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& File) {
  std::ifstream in(File, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& File, const std::string& Text) {
  std::ofstream out(File, std::ios::binary);
  out << Text;
}

// Every test gets its own settings folder through VEMRA_CONFIG_DIR and starts from the defaults.
class Settings : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("vemra-ini-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    setenv("VEMRA_CONFIG_DIR", Folder.c_str(), 1);
    IniData = tinidata();
  }
  void TearDown() override {
    fs::permissions(Folder, fs::perms::owner_all);
    fs::remove_all(Folder);
    unsetenv("VEMRA_CONFIG_DIR");
  }
  fs::path Ini() const { return Folder / "Vemra.INI"; }

  tinidataValues ReadText(const std::string& Text) {
    tinidataValues values;
    ReadIniData(TIniFile::FromText(Text), values);
    return values;
  }

  fs::path Folder;
  const TNumberFormat English{'.'};
  const TNumberFormat German{','};
};

TEST_F(Settings, FreshFolderGetsTheCompleteFileWithDefaults) {
  ASSERT_FALSE(fs::exists(IniFileName()));
  ReadIniData();
  EXPECT_EQ(IniData.ASIO_samplerate, "48000");
  tinidataValues expected;
  expected.ASIO_samplerate = "48000";
  EXPECT_TRUE(static_cast<const tinidataValues&>(IniData) == expected);

  WriteIniData(IniFileName(), English);
  EXPECT_EQ(IniFileName(), Ini());
  EXPECT_EQ(ReadAll(Ini()), ReadAll(fs::path(VEMRA_FIXTURES_DIR) / "settings" / "defaults.INI"));

  // Writing again changes nothing.
  WriteIniData(IniFileName(), English);
  EXPECT_EQ(ReadAll(Ini()), ReadAll(fs::path(VEMRA_FIXTURES_DIR) / "settings" / "defaults.INI"));
}

TEST_F(Settings, LoadTimeChecksAndConversions) {
  struct Case {
    const char* Section;
    const char* Key;
    const char* Stored;  // nullptr: the entry is absent
    TIniValue Expected;
  };
  const Case cases[] = {
      {"ASIO", "Skip", "5", 50},
      {"ASIO", "Skip", "10", 10},
      {"ASIO", "Skip", "0x5", 50},
      {"ASIO", "Skip", "0x20", 32},
      {"ASIO", "Skip", "many", 50},
      {"yt", "TBms", "100", 300},
      {"yt", "TBms", "301", 301},
      {"Form", "Left", "-4", 10},
      {"Form", "Top", "-1", 10},
      {"Form", "Left", "2147483648", 10},  // does not fit 32 bits: the default
      {"Form", "Width", "-50", -50},       // sizes are made plausible later, on screen
      {"RTA", "Octave", "-1", 0},
      {"RTA", "Octave", " 3 ", 3},
      {"RTA", "Speed", "-3", 0},
      {"RTA", "ACZ", "-1", 0},
      {"RTA", "Hide", "0xF", 15},
      {"ASIO", "CH", "-2", 0},
      {"RT60", "Room", "-1", 0},
      {"RT60", "Range", "-1", 0},
      {"RT60", "RT60Source", "-1", 0},
      {"RT60", "CH", "-1", 0},
      {"RT60", "Left", "-1", 10},
      {"RT60", "Top", "-5", 10},
      {"RT60", "Level", "-30", -30},
      {"yt", "Left", "-1", 10},
      {"yt", "Top", "-1", 10},
      {"ASIO", "SR", "96000", std::string("48000")},
      {"ASIO", "InputforCh0", "258", 2},  // kept in 8 bits
      {"ASIO", "InputforCh0", "9", 9},
      {"ASIO", "InputforCh3", nullptr, 3},
      {"Noise", "Level", "abc", 7},
      {"Noise", "SineFr", "0x3E8", 1000},
      {"System", "CalActive", "2", true},
      {"System", "CalActive", "yes", false},
      {"Mic", "SPLOffset3", "x", 0.0},
      {"Mic", "SPLOffset3", "-1.5e1", -15.0},
      {"Mic", "K0-4", "/mic/curve 0 deg.txt", std::string("/mic/curve 0 deg.txt")},
      {"Report", "Author", "  Dr. Schmidt ; Akustik  ", std::string("Dr. Schmidt ; Akustik")},
  };
  for (const auto& c : cases) {
    std::string text = "[" + std::string(c.Section) + "]\n";
    if (c.Stored) text += std::string(c.Key) + "=" + c.Stored + "\n";
    const tinidataValues v = ReadText(text);
    const auto key = FindIniDataKey(c.Section, c.Key);
    ASSERT_TRUE(key) << c.Section << "/" << c.Key;
    EXPECT_EQ(GetIniDataValue(v, *key), c.Expected) << c.Section << "/" << c.Key << "=" << (c.Stored ? c.Stored : "(absent)");
  }
}

// Settings that choose from a list index tables with their value; one beyond the list, as a hand edit may
// leave it, takes the default instead (a negative one the start of the list). The same checks apply to a
// value set by name.
TEST_F(Settings, ValuesBeyondTheirListOrRangeTakeTheDefault) {
  struct Case {
    const char* Section;
    const char* Key;
    int32_t Last;     // the last value of the list or range (kept)
    int32_t Beyond;   // what Last + 1 becomes
    int32_t First;    // the first value (kept)
    int32_t Below;    // what First - 1 becomes
  };
  const Case cases[] = {
      // boxes and modes
      {"RTA", "Octave", 4, 2, 0, 0},
      {"RTA", "Speed", 4, 0, 0, 0},
      {"RTA", "ACZ", 2, 0, 0, 0},
      {"RTA", "Unit", 2, 0, 0, 0},
      {"RTA", "BarType", 2, 0, 0, 0},
      {"RTA", "LeqMode", 2, 0, 0, 0},
      {"Mic", "Mode", 2, 0, 0, 0},
      {"ASIO", "CH", 3, 0, 0, 0},
      {"RT60", "Room", 6, 0, 0, 0},
      {"RT60", "Range", 3, 0, 0, 0},
      {"RT60", "RT60Source", 1, 0, 0, 0},
      {"Noise", "Last", 2, 1, 0, 1},
      // inputs
      {"RT60", "CH", 9, 0, 0, 0},
      {"ASIO", "InputforCh2", 9, 2, 0, 2},  // -1 is 255 in 8 bits
      // sizes and levels
      {"RTA", "Leqw", 36000, 300, 1, 300},
      {"Noise", "SweepDauer", 40, 12, 10, 12},
      {"Noise", "Level", 60, 7, -60, 7},
      {"RT60", "Level", 0, -6, -30, -6},
  };
  for (const auto& c : cases) {
    const auto key = FindIniDataKey(c.Section, c.Key);
    ASSERT_TRUE(key) << c.Section << "/" << c.Key;
    const auto read = [&](int32_t Stored) {
      const tinidataValues v = ReadText("[" + std::string(c.Section) + "]\n" + c.Key + "=" + std::to_string(Stored) + "\n");
      return std::get<int32_t>(GetIniDataValue(v, *key));
    };
    const std::string name = std::string(c.Section) + "/" + c.Key;
    EXPECT_EQ(read(c.Last), c.Last) << name;
    EXPECT_EQ(read(c.Last + 1), c.Beyond) << name;
    EXPECT_EQ(read(INT32_MAX), c.Beyond) << name;
    EXPECT_EQ(read(c.First), c.First) << name;
    EXPECT_EQ(read(c.First - 1), c.Below) << name;
    if (name.find("InputforCh") == std::string::npos) {  // in 8 bits the smallest integer is input 0
      EXPECT_EQ(read(INT32_MIN), c.Below) << name;
    }

    tinidataValues set;
    ASSERT_TRUE(SetIniDataValue(set, *key, std::to_string(c.Last + 1))) << name;
    EXPECT_EQ(std::get<int32_t>(GetIniDataValue(set, *key)), c.Beyond) << name;
  }
}

TEST_F(Settings, OffsetsWrittenUnderAGermanLocaleSurviveAnEnglishOne) {
  IniData.MikKorr_SPLOffset[3] = -32.5;
  IniData.MikKorr_SPLOffset[9] = 1.0 / 3.0;
  WriteIniData(Ini(), German);
  const std::string written = ReadAll(Ini());
  EXPECT_NE(written.find("SPLOffset3=-32,5\n"), std::string::npos);
  EXPECT_NE(written.find("SPLOffset9=0,333333333333333\n"), std::string::npos);

  setenv("LC_ALL", "en_US.UTF-8", 1);
  IniData = tinidata();
  ReadIniData(Ini());
  unsetenv("LC_ALL");
  EXPECT_EQ(IniData.MikKorr_SPLOffset[3], -32.5);
  EXPECT_EQ(IniData.MikKorr_SPLOffset[9], 0.333333333333333);  // rounded to 15 digits when written

  WriteIniData(Ini(), English);
  EXPECT_NE(ReadAll(Ini()).find("SPLOffset3=-32.5\n"), std::string::npos);
}

TEST_F(Settings, UnknownEntriesKeepTheirPlacesAndKnownOnesAreReplacedInPlace) {
  // A hand-edited Windows file: CR LF, a comment, an unknown section, an unknown key, a key in other
  // case, a section with keys missing, a duplicated key and a line that is not an entry.
  WriteText(Ini(),
            "; Vemra settings\r\n"
            "[Extra]\r\n"
            "Colour=blue\r\n"
            "\r\n"
            "[RTA]\r\n"
            "octave = 4\r\n"
            "MyNote=keep me\r\n"
            "Octave=1\r\n"
            "garbage line\r\n"
            "\r\n"
            "[Form]\r\n"
            "Left=33\r\n");
  ReadIniData(Ini());
  EXPECT_EQ(IniData.RTA_Octave, 4);  // the first of two
  EXPECT_EQ(IniData.screen_left, 33);
  IniData.RTA_Octave = 3;
  WriteIniData(Ini(), English);

  const std::string text = ReadAll(Ini());
  const std::string expectedStart =
      "; Vemra settings\r\n"
      "[Extra]\r\n"
      "Colour=blue\r\n"
      "\r\n"
      "[RTA]\r\n"
      "octave=3\r\n"
      "MyNote=keep me\r\n"
      "Octave=1\r\n"
      "Speed=0\r\n"
      "BarType=0\r\n"
      "Hide=0\r\n"
      "ACZ=0\r\n"
      "Unit=0\r\n"
      "Leqw=300\r\n"
      "LeqMode=0\r\n"
      "garbage line\r\n"
      "\r\n"
      "[Form]\r\n"
      "Left=33\r\n"
      "Top=10\r\n"
      "Width=700\r\n"
      "Height=450\r\n"
      "Style=0\r\n"
      "\r\n"
      "[System]\r\n"
      "CalActive=0\r\n"
      "\r\n"
      "[ASIO]\r\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(text.find("\n\n"), std::string::npos);  // every line ends in CR LF
  ReadIniData(Ini());
  EXPECT_EQ(IniData.RTA_Octave, 3);
}

TEST_F(Settings, CorrectionFileNameIsWrittenOnlyWhenEmptyOrExisting) {
  const fs::path present = Folder / "mic 0 deg.txt";
  WriteText(present, "20 0\n");
  WriteText(Ini(), "[Mic]\nK0-1=/gone/before.txt\nK90-1=/old/curve.txt\nK0-2=/cleared.txt\nK0-3=/old.txt\n");
  ReadIniData(Ini());
  IniData.MikKorr_0_file[1] = (Folder / "deleted.txt").string();  // its file has gone
  IniData.MikKorr_90_file[1] = (Folder / "also-deleted.txt").string();
  IniData.MikKorr_0_file[2] = "";  // cleared by the user
  IniData.MikKorr_0_file[3] = present.string();
  WriteIniData(Ini(), English);

  const TIniFile file = TIniFile::Load(Ini());
  EXPECT_EQ(file.ReadString("Mic", "K0-1"), "/gone/before.txt");
  EXPECT_EQ(file.ReadString("Mic", "K90-1"), "/old/curve.txt");
  EXPECT_EQ(file.ReadString("Mic", "K0-2"), "");
  EXPECT_EQ(file.ReadString("Mic", "K0-3"), present.string());
  EXPECT_EQ(file.ReadString("Mic", "K0-0"), "");
}

TEST_F(Settings, AFullDiskIsReportedAndLeavesFileAndRecordIntact) {
  WriteText(Ini(), "[Form]\nLeft=77\n");
  ReadIniData(Ini());
  IniData.screen_top = 123;
  const tinidata before = IniData;

  // The file size limit stands in for a full disk: writes beyond it fail with EFBIG.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    WriteIniData(Ini(), English);
  } catch (const std::runtime_error& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);

  EXPECT_NE(message.find(Ini().string()), std::string::npos) << message;
  EXPECT_EQ(ReadAll(Ini()), "[Form]\nLeft=77\n");
  EXPECT_TRUE(IniData == before);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder)) ++files;
  EXPECT_EQ(files, 1u) << "a temporary file was left behind";
}

TEST_F(Settings, AReadOnlyFolderIsReported) {
  WriteText(Ini(), "[Form]\nLeft=77\n");
  ReadIniData(Ini());
  IniData.screen_left = 5;
  fs::permissions(Folder, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(Folder.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user (root)";
  EXPECT_THROW(WriteIniData(Ini(), English), TAtomicFileError);
  EXPECT_EQ(ReadAll(Ini()), "[Form]\nLeft=77\n");
  EXPECT_EQ(IniData.screen_left, 5);
}

TEST_F(Settings, AFolderThatCannotBeMadeIsReported) {
  WriteText(Folder / "plain-file", "x");
  setenv("VEMRA_CONFIG_DIR", (Folder / "plain-file" / "vemra").c_str(), 1);
  try {
    WriteIniData();
    FAIL() << "writing below a plain file succeeded";
  } catch (const TAtomicFileError& e) {
    EXPECT_NE(std::string(e.what()).find("plain-file/vemra/Vemra.INI"), std::string::npos) << e.what();
  }
}

TEST_F(Settings, AFileThatCannotBeReadIsNeverOverwritten) {
  fs::create_directories(Ini());  // a folder where the file should be
  IniData.RTA_Octave = 4;
  ReadIniData(Ini());
  EXPECT_EQ(IniData.RTA_Octave, 2);
  EXPECT_THROW(WriteIniData(Ini(), English), TIniFileError);
  EXPECT_TRUE(fs::is_directory(Ini()));

  // A pipe: refused at once, not waited on.
  fs::remove(Ini());
  ASSERT_EQ(::mkfifo(Ini().c_str(), 0600), 0);
  IniData.RTA_Octave = 4;
  ReadIniData(Ini());
  EXPECT_EQ(IniData.RTA_Octave, 2);
  EXPECT_THROW(WriteIniData(Ini(), English), TIniFileError);
  EXPECT_TRUE(fs::is_fifo(Ini()));
}

TEST_F(Settings, AFileFarTooLargeIsNeitherLoadedNorOverwritten) {
  const std::string huge = "[RTA]\nOctave=4\n" + std::string((1u << 20), '\n');
  WriteText(Ini(), huge);
  ReadIniData(Ini());
  EXPECT_EQ(IniData.RTA_Octave, 2);
  try {
    WriteIniData(Ini(), English);
    FAIL() << "a file of more than 1 MiB was replaced";
  } catch (const TIniFileError& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs::file_size(Ini()), huge.size());
}

TEST_F(Settings, WritingThroughASymbolicLinkReplacesItsTarget) {
  const fs::path real = Folder / "real.ini";
  WriteText(real, "[Extra]\nA=1\n");
  fs::create_symlink(real, Ini());
  WriteIniData(Ini(), English);
  EXPECT_TRUE(fs::is_symlink(Ini()));
  EXPECT_NE(ReadAll(real).find("[Extra]\nA=1\n\n[Form]\nLeft=10\n"), std::string::npos);
}

TEST_F(Settings, GeometryIsMadePlausibleForTheScreen) {
  tinidataValues d;
  d.screen_left = 5000;
  d.screen_top = 1000;
  d.screen_width = 399;
  d.screen_height = 299;
  d.yt_left = 1901;
  d.yt_top = 1061;
  d.yt_width = 199;
  d.yt_height = 199;
  d.RT60_left = 1901;
  d.RT60_top = 1061;
  d.RT60_width = 100;
  d.RT60_height = 100;
  MakeGeometryPlausible(d, 1920, 1080);
  EXPECT_EQ(d.screen_left, 10);
  EXPECT_EQ(d.screen_top, 10);
  EXPECT_EQ(d.screen_width, 500);
  EXPECT_EQ(d.screen_height, 300);
  EXPECT_EQ(d.yt_left, 10);
  EXPECT_EQ(d.yt_top, 30);
  EXPECT_EQ(d.yt_width, 250);
  EXPECT_EQ(d.yt_height, 250);
  EXPECT_EQ(d.RT60_left, 30);
  EXPECT_EQ(d.RT60_top, 10);
  EXPECT_EQ(d.RT60_width, 250);
  EXPECT_EQ(d.RT60_height, 250);

  tinidataValues inside;
  inside.screen_left = 1820;  // exactly at the limit stays
  inside.yt_left = 1900;
  inside.RT60_top = 1060;
  inside.screen_width = 400;
  const tinidataValues kept = inside;
  MakeGeometryPlausible(inside, 1920, 1080);
  EXPECT_TRUE(inside == kept);
}

TEST(IniFile, KeepsEverythingItDoesNotChange) {
  const std::string text = "\xEF\xBB\xBF# comment\r[A]\rk=1\r[a]\r  K2 = two words \r\t[ C ]\r\tk3\t=3\r";
  TIniFile f = TIniFile::FromText(text);
  EXPECT_EQ(f.Text(), text);
  EXPECT_EQ(f.ReadString("a", "K"), "1");
  EXPECT_EQ(f.ReadString("A", "k2"), "two words");  // found in the repeated section
  EXPECT_EQ(f.ReadString("c", "K3"), "3");
  EXPECT_FALSE(f.ReadString("B", "k"));
  EXPECT_FALSE(f.ReadString("", "k"));
  f.WriteString("A", "K2", "line\nbreak");
  f.WriteString("C", "k3", " three ");
  f.WriteString("B", "x", "");
  f.WriteString("a", "n", "4");  // new keys go to the first section of the name
  EXPECT_EQ(f.Text(), "\xEF\xBB\xBF# comment\r[A]\rk=1\rn=4\r[a]\rK2=line break\r\t[ C ]\rk3=three\r\r[B]\rx=\r");
}

TEST(IniFile, InsertedEntriesAreFoundAndReplacedWhereTheyAre) {
  TIniFile f = TIniFile::FromText("[S]\na=1\n[T]\nb=2\n");
  ASSERT_EQ(f.ReadString("T", "b"), "2");
  f.WriteString("S", "c", "3");  // goes between a and [T]
  f.WriteString("U", "d", "4");
  f.WriteString("S", "e", "5");
  f.WriteString("T", "b", "two");
  f.WriteString("S", "c", "three");
  EXPECT_EQ(f.ReadString("S", "a"), "1");
  EXPECT_EQ(f.ReadString("s", "C"), "three");
  EXPECT_EQ(f.ReadString("U", "d"), "4");
  EXPECT_EQ(f.Text(), "[S]\na=1\nc=three\ne=5\n[T]\nb=two\n\n[U]\nd=4\n");
}
}  // namespace
