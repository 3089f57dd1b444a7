#include "io/UILanguage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kFixtures = std::string(VEMRA_FIXTURES_DIR) + "/language/";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every test starts and ends in English, whatever the test before it loaded.
class Language : public ::testing::Test {
protected:
  void SetUp() override { ResetLanguageTexts(); }
  void TearDown() override {
    ResetLanguageTexts();
    std::error_code ec;
    std::filesystem::remove_all(FTemp, ec);
  }
  std::string WriteTemp(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(FTemp);
    const std::string path = (FTemp / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::filesystem::path FTemp = std::filesystem::temp_directory_path() /
                                ("vemra-language-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

TEST_F(Language, Utf8FileEntriesByLine) {
  const TUILanguage texts = TUILanguage::Parse(ReadAll(kFixtures + "texts_utf8.txt"));
  const std::map<int, std::string> expected{
      {114, "Systemkalibrierung abgeschlossen."},
      {122, "Diagramm gespeichert: "},           // trailing blank kept, CR dropped
      {801, "Breite_(m)"},                       // everything after the first "_"
      {135, "Hilfe"},                            // the later of two lines wins
      {409, "Größe °C – „Zitat“"},
      {129, "129"},
      {102, "Öffnen"},                           // last line without a line end
  };
  for (const auto& [id, text] : expected) {
    ASSERT_NE(texts.Find(id), nullptr) << id;
    EXPECT_EQ(*texts.Find(id), text) << id;
  }
  // "0102_", "+103_", "_...", "104 ..." and an id beyond int are not entries.
  EXPECT_EQ(texts.Find(103), nullptr);
  EXPECT_EQ(texts.Find(104), nullptr);
  EXPECT_EQ(texts.Count(), expected.size());
}

TEST_F(Language, Windows1252FileIsConvertedToUtf8) {
  const TUILanguage texts = TUILanguage::Parse(ReadAll(kFixtures + "texts_cp1252.txt"));
  const std::map<int, std::string> expected{
      {409, "Speicher A"},
      {565, "Raumgröße"},
      {591, "Raumakustik-Prüfung für Säle"},
      {123, "„Diagramm“ als PDF gespeichert … 5 €: "},  // 0x85 is an ellipsis here, not a line end
      {303, "Datei 0° ändern"},
  };
  for (const auto& [id, text] : expected) {
    ASSERT_NE(texts.Find(id), nullptr) << id;
    EXPECT_EQ(*texts.Find(id), text) << id;
  }
  EXPECT_EQ(texts.Count(), expected.size());
}

TEST_F(Language, LineEndsAndByteOrderMarks) {
  // LF, CR and CR LF alike; a UTF-8 mark in front of the first id does not hide it.
  const TUILanguage mixed = TUILanguage::Parse("\xEF\xBB\xBF" "101_Datei\n102_Öffnen\r103_Speichern\r\n\n\r104_Oktave");
  EXPECT_EQ(mixed.GetText(101), "Datei");
  EXPECT_EQ(mixed.GetText(102), "Öffnen");
  EXPECT_EQ(mixed.GetText(103), "Speichern");
  EXPECT_EQ(mixed.GetText(104), "Oktave");

  // Notepad's "Unicode": UTF-16 little endian with a mark.
  const std::u16string wide = u"565_Raumgröße\r\n566_Temp / Feuchte";
  std::string bytes = "\xFF\xFE";
  for (const char16_t u : wide) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  const TUILanguage utf16 = TUILanguage::Parse(bytes);
  EXPECT_EQ(utf16.GetText(565), "Raumgröße");
  EXPECT_EQ(utf16.GetText(566), "Temp / Feuchte");
}

TEST_F(Language, GetTextRules) {
  const TUILanguage texts = TUILanguage::Parse("150_xy Standard\n100_nie\n");
  EXPECT_EQ(texts.GetText(150), "xy Standard");
  EXPECT_EQ(texts.GetText(151), "151");               // no entry: the number
  EXPECT_EQ(texts.GetText(100), "Fehler Text Id");    // not a text id, even with an entry
  EXPECT_EQ(texts.GetText(-1), "Fehler Text Id");
}

TEST_F(Language, EnglishUntilTheFileIsLoaded) {
  EXPECT_FALSE(LanguageTextsLoaded());
  EXPECT_EQ(GetText(114), std::nullopt);
  EXPECT_EQ(Translate("System calibration finished.", 114), "System calibration finished.");
  const std::vector<TTaggedCaption> window{{101, "File"}, {0, "Ch1"}};
  EXPECT_EQ(ApplyLanguage(window), (std::vector<std::string>{"File", "Ch1"}));

  ASSERT_TRUE(LoadLanguageFile(kFixtures + "texts_utf8.txt", true));
  EXPECT_TRUE(LanguageTextsLoaded());
  EXPECT_EQ(GetText(114), "Systemkalibrierung abgeschlossen.");
}

TEST_F(Language, TranslateFallsBackToEnglish) {
  ASSERT_TRUE(LoadLanguageFile(kFixtures + "texts_utf8.txt", true));
  struct Case {
    const char* english;
    int id;
    const char* shown;
  };
  const Case cases[] = {
      {"System calibration finished.", 114, "Systemkalibrierung abgeschlossen."},
      {"Chart saved: ", 122, "Diagramm gespeichert: "},
      {"Chart copied to clipboard.", 126, "Chart copied to clipboard."},  // no entry
      {"Last interface <", 129, "Last interface <"},                      // entry is just the number
      {"Misused id", 50, "Fehler Text Id"},                               // not a text id
  };
  for (const Case& c : cases) EXPECT_EQ(Translate(c.english, c.id), c.shown) << c.id;
}

TEST_F(Language, ApplyLanguageSetsCaptionsByTag) {
  ASSERT_TRUE(LoadLanguageFile(kFixtures + "texts_utf8.txt", true));
  const std::vector<TTaggedCaption> window{
      {102, "Open"}, {135, "Help"}, {126, "Clipboard"}, {100, "A"}, {-1, "All"}, {0, "1"}, {801, "Width(m)"}};
  EXPECT_EQ(ApplyLanguage(window),
            (std::vector<std::string>{"Öffnen", "Hilfe", "126", "A", "All", "1", "Breite_(m)"}));
}

TEST_F(Language, MissingFileKeepsEnglishAndSaysWhere) {
  const std::string path = kFixtures + "no_such_language_file.txt";
  std::string message = "stale";
  EXPECT_FALSE(LoadLanguageFile(path, true, &message));
  EXPECT_EQ(message, "DE Sprachdatei nicht gefunden: " + path);
  EXPECT_FALSE(LanguageTextsLoaded());
  EXPECT_EQ(Translate("Clear data?", 157), "Clear data?");

  EXPECT_FALSE(LoadLanguageFile("", true, &message));
  EXPECT_EQ(message, "");
}

TEST_F(Language, RelativeNameIsTakenFromTheResourceFolder) {
  // The test program lives in build/bin, where the build copies the resources; a name that cannot be
  // there is reported with the resource folder in front.
  std::string message;
  EXPECT_FALSE(LoadLanguageFile("no_such_language_file.txt", false, &message));
  EXPECT_EQ(message, "DE Sprachdatei nicht gefunden: " + std::filesystem::canonical(VEMRA_BIN_DIR).string() +
                         "/no_such_language_file.txt");
}

TEST_F(Language, UnusableFilesAreRefusedQuietly) {
  std::string message;
  const std::string empty = WriteTemp("empty.txt", "");
  const std::string noEntries = WriteTemp("noentries.txt", "Sprache Deutsch\nkeine Einträge\n");
  std::string garbage(70000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::string binary = WriteTemp("binary.txt", garbage);
  const std::string huge = WriteTemp("huge.txt", "101_" + std::string(5u << 20, 'x') + "\n");
  for (const std::string& path : {empty, noEntries, binary, huge, FTemp.string()}) {
    EXPECT_FALSE(LoadLanguageFile(path, true, &message)) << path;
    EXPECT_EQ(message, "") << path;
  }
  EXPECT_FALSE(LanguageTextsLoaded());
}

TEST_F(Language, FailedLoadKeepsTheTextsInForce) {
  ASSERT_TRUE(LoadLanguageFile(kFixtures + "texts_utf8.txt", true));
  EXPECT_FALSE(LoadLanguageFile(kFixtures + "no_such_language_file.txt", true));
  EXPECT_EQ(Translate("Open", 102), "Öffnen");
}

TEST_F(Language, OverlongLineAndGarbageDoNotDisturbOtherEntries) {
  const std::string bytes = "101_Datei\n" + std::string(300000, '7') + "_x\n" + "999" + std::string(100000, '_') +
                            "\n\x01\xFF\xFE\x80_\n102_Oktave \xE4\n";
  const TUILanguage texts = TUILanguage::Parse(bytes);
  EXPECT_EQ(texts.GetText(101), "Datei");
  EXPECT_EQ(texts.GetText(102), "Oktave ä");  // the garbage makes the file Windows-1252
  EXPECT_EQ(texts.GetText(999), std::string(99999, '_'));
}

TEST(LanguageChoice, EnglishSwitchAndLocale) {
  struct Case {
    std::vector<std::string> args;
    bool german;
    bool expected;
  };
  const Case cases[] = {
      {{}, true, true},
      {{"/EN"}, true, false},
      {{"/en"}, true, true},           // letter case counts
      {{"/EN "}, true, true},
      {{"x.vmR6", "/EN"}, true, true},  // only the first argument is looked at
      {{}, false, false},
      {{"/DE"}, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UseGermanTexts(c.args, c.german), c.expected) << (c.args.empty() ? "" : c.args[0]) << c.german;
  }
}

TEST(LanguageChoice, GermanLocaleFromEnvironment) {
  struct Case {
    std::map<std::string, std::string> env;
    bool german;
  };
  const Case cases[] = {
      {{{"LANG", "de_DE.UTF-8"}}, true},
      {{{"LANG", "de_AT@euro"}}, true},
      {{{"LANG", "DE-ch"}}, true},
      {{{"LANG", "de"}}, true},
      {{{"LANG", "en_US.UTF-8"}}, false},
      {{{"LANG", "C"}}, false},
      {{{"LANG", "dev"}}, false},
      {{}, false},
      {{{"LANG", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_DE.UTF-8"}}, true},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, false},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", ""}}, true},  // empty means not set
      {{{"LANG", "en_US"}, {"LC_MESSAGES", "en_US"}, {"LC_ALL", "de_DE"}}, true},
      {{{"LANG", "de_DE"}, {"LC_ALL", "C.UTF-8"}}, false},
  };
  for (const Case& c : cases) {
    const auto reader = [&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    std::string shown;
    for (const auto& [k, v] : c.env) shown += k + "=" + v + " ";
    EXPECT_EQ(IsGermanUser(reader), c.german) << shown;
  }
}

TEST(LanguageChoice, ManualFollowsTheLocaleOnly) {
  EXPECT_STREQ(ManualAddress(true), kManualAddressDE);
  EXPECT_STREQ(ManualAddress(false), kManualAddressEN);
  EXPECT_TRUE(std::string(kManualAddressDE).ends_with("/Vemra_manual_DE.pdf"));
  EXPECT_TRUE(std::string(kManualAddressEN).ends_with("/Vemra_manual_EN.pdf"));
}
