#include "calibration/audio_ASCII_Import.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string Fixtures = VEMRA_FIXTURES_DIR;

const TNumberFormat German(',');
const TNumberFormat English('.');

TDatentyp Curve(std::initializer_list<std::pair<float, float>> Points) {
  TDatentyp c;
  for (auto [x, y] : Points) c.AddPoint(x, y);
  return c;
}

std::string ReadBytes(const fs::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The user's locale for as long as the guard lives.
class ScopedUserLocale {
public:
  explicit ScopedUserLocale(const char* Name) {
    if (const char* old = std::getenv("LC_ALL")) FOld = old, FHadOld = true;
    setenv("LC_ALL", Name, 1);
  }
  ~ScopedUserLocale() {
    if (FHadOld)
      setenv("LC_ALL", FOld.c_str(), 1);
    else
      unsetenv("LC_ALL");
  }

private:
  std::string FOld;
  bool FHadOld = false;
};

class TempFolder {
public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "vemra-calib-XXXXXX").string();
    Path = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
  fs::path Path;
};

}  // namespace

TEST(CurveImport, DetectsTheSeparatorOnTheThirdOrSecondLine) {
  struct TCase {
    const char* Text;
    int Expected;
  };
  const TCase cases[] = {
      {"header\n20 -1.2\n1000 0\n20000 3.5\n", DelimiterBlank},  // four lines: the 3rd is examined
      {"h\n20;1\n30;2\n", DelimiterSemicolon},                   // three lines: the 2nd
      {"h\n20\t1", DelimiterTab},                                // two lines: the 2nd
      {"h\nh: 2\n20 1\n30 2\n", DelimiterBlank},                 // the ":" of line 2 is not looked at
      {"h\n20 1\n30:2 x\n40:2\n", DelimiterColon},               // ":" outranks a blank
      {"h\n20 1\n30;2 x\n40:2\n", DelimiterSemicolon},           // ";" outranks a blank
      {"h\n20 1\n30;2:x\n40:2\n", DelimiterColon},               // ":" outranks ";"
      {"h\n20 1\n30:2\t; x\n4\n", DelimiterTab},                  // a tab outranks everything
      {"h\r\n20\t1\r\n30\t2\r\n40\t3\r\n", DelimiterTab},        // CR LF line ends
      {"h\n20 1\n3000\n40 2\n", DelimiterNone},                  // examined line without separator
      {"20 -1.2\n", DelimiterNone},                              // one line only
      {"20 -1.2", DelimiterNone},
      {"", DelimiterNone},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectDelimiterInText(c.Text), c.Expected) << c.Text;
}

TEST(CurveImport, DetectionSaysWhyWhenItFindsNothing) {
  TCurveImportDetails why;
  EXPECT_EQ(DetectDelimiterInText("h\n20 1\n3000\n40 2\n", &why), DelimiterNone);
  EXPECT_EQ(why.ErrorLine, 3);
  EXPECT_NE(why.Message().find("line 3: no field separator"), std::string::npos) << why.Message();

  why = {};
  EXPECT_EQ(DetectDelimiter(Fixtures + "/no_such_file.txt", &why), DelimiterNone);
  EXPECT_NE(why.Message().find("not found"), std::string::npos);
  why = {};
  EXPECT_EQ(DetectDelimiter(Fixtures + "/mic_one_line.txt", &why), DelimiterNone);
  EXPECT_NE(why.Message().find("only one line"), std::string::npos);

  // A pipe named as a correction file: refused at once instead of waiting for a writer.
  TempFolder dir;
  const std::string pipe = (dir.Path / "curve.fifo").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  why = {};
  EXPECT_EQ(DetectDelimiter(pipe, &why), DelimiterNone);
  EXPECT_NE(why.Message().find("not a regular file"), std::string::npos) << why.Message();
  TDatentyp curve;
  std::string header;
  EXPECT_FALSE(ImportAsciiCurve(pipe, curve, ' ', header));
}

TEST(CurveImport, NextFieldStopsAtAnySeparatorAndDoesNotTrim) {
  std::string field;
  std::size_t pos = 1;
  const std::string_view line = "20;;-1,2 \r";
  NextField(line, pos, ";", field);
  EXPECT_EQ(field, "20");
  EXPECT_EQ(pos, 4u);
  NextField(line, pos, ";", field);
  EXPECT_EQ(field, "");  // two separators in a row
  EXPECT_EQ(pos, 5u);
  NextField(line, pos, ";\r\n", field);
  EXPECT_EQ(field, "-1,2 ");
  EXPECT_EQ(pos, 11u);
  NextField(line, pos, ";", field);  // beyond the end: empty, position kept
  EXPECT_EQ(field, "");
  EXPECT_EQ(pos, 11u);

  pos = 1;
  NextField("1000", pos, " ", field);  // no separator: the rest of the line
  EXPECT_EQ(field, "1000");
  std::string nul("5\0x", 3);
  pos = 1;
  NextField(nul, pos, std::string_view("\0", 1), field);
  EXPECT_EQ(field, "5");
}

TEST(CurveImport, NumbersAreReadWithEitherSeparatorAndWrittenInTheUsersLocale) {
  struct TCase {
    const char* Text;
    int Decimals;
    const char* German;
    const char* English;
  };
  const TCase cases[] = {
      {"1,5", 4, "1,5000", "1.5000"},
      {"1.5", 4, "1,5000", "1.5000"},
      {"-1.2", 4, "-1,2000", "-1.2000"},
      {"+3,25", 1, "3,3", "3.3"},  // exactly half: away from zero
      {"20", 1, "20,0", "20.0"},
      {"20.25", 1, "20,3", "20.3"},
      {"-20.25", 1, "-20,3", "-20.3"},
      {"12.34567", 4, "12,3457", "12.3457"},
      {"12345.678", 4, "12345,6780", "12345.6780"},  // eight significant digits, then zeros
      {"99999.99", 1, "100000,0", "100000.0"},
      {"123456789", 1, "1,2345679E+008", "1.2345679E+008"},  // beyond eight integer digits
      {"-0.00004", 4, "0,0000", "0.0000"},
      {"0.00005", 4, "0,0001", "0.0001"},
      {"1e3", 1, "1000,0", "1000.0"},
      {"2.5E-1", 4, "0,2500", "0.2500"},
      {" 7 ", 4, "7,0000", "7.0000"},
      {"1,234.5", 1, "ERROR", "ERROR"},  // no thousands separators
      {"1.2.3", 1, "ERROR", "ERROR"},
      {"0.8dB", 4, "ERROR", "ERROR"},
      {"", 4, "ERROR", "ERROR"},
      {"-", 4, "ERROR", "ERROR"},
      {"nan", 4, "ERROR", "ERROR"},
      {"1e400", 4, "ERROR", "ERROR"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizeNumberText(c.Text, c.Decimals, German), c.German) << c.Text;
    EXPECT_EQ(NormalizeNumberText(c.Text, c.Decimals, English), c.English) << c.Text;
  }
}

TEST(CurveImport, TheThreePointExampleInterpolatesAndExtrapolates) {
  TDatentyp curve;
  std::string header;
  TCurveImportDetails details;
  const std::string file = Fixtures + "/mic_example_blank.txt";
  ASSERT_EQ(DetectDelimiter(file), DelimiterBlank);
  ASSERT_TRUE(ImportAsciiCurve(file, curve, ' ', header, &details)) << details.Message();
  EXPECT_EQ(header, "\"Sens Factor =-1.2dB, SERNO: 1234567\"");
  ASSERT_EQ(curve.Count(), 3u);
  EXPECT_EQ(curve.X(), (std::vector<float>{20.0f, 1000.0f, 20000.0f}));
  EXPECT_EQ(curve.Y(), (std::vector<float>{-1.2f, 0.0f, 3.5f}));
  EXPECT_EQ(details.PointLines, (std::vector<int>{2, 3, 4}));

  EXPECT_NEAR(InterpolateCurve(curve, 10.0), -1.2 + (10.0 - 20.0) * (1.2 / 980.0), 1e-6);  // below the first point
  EXPECT_FLOAT_EQ(InterpolateCurve(curve, 25000.0), 3.5f);                                 // beyond the last: held
  EXPECT_FLOAT_EQ(InterpolateCurve(curve, 20.0), -1.2f);
  EXPECT_FLOAT_EQ(InterpolateCurve(curve, 1000.0), 0.0f);
  EXPECT_FLOAT_EQ(InterpolateCurve(curve, 20000.0), 3.5f);
  EXPECT_NEAR(InterpolateCurve(curve, 510.0), -0.6, 1e-6);  // linear in frequency, not in log frequency
  EXPECT_NEAR(InterpolateCurve(curve, 10500.0), 3.5 * 9500.0 / 19000.0, 1e-5);
}

TEST(CurveImport, DecimalCommaFileImportsTheSameUnderGermanAndEnglishLocales) {
  TDatentyp point, commaGerman, commaEnglish;
  std::string header;
  ASSERT_EQ(DetectDelimiter(Fixtures + "/mic_example_comma.txt"), DelimiterBlank);
  ASSERT_TRUE(ImportAsciiCurve(Fixtures + "/mic_example_blank.txt", point, ' ', header));
  std::ifstream in(Fixtures + "/mic_example_comma.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(ImportAsciiCurveText(text, commaGerman, ' ', header, nullptr, German));
  EXPECT_EQ(header, "");  // the empty last line is the last header line
  ASSERT_TRUE(ImportAsciiCurveText(text, commaEnglish, ' ', header, nullptr, English));
  EXPECT_EQ(commaGerman.DatenXYZ, point.DatenXYZ);
  EXPECT_EQ(commaEnglish.DatenXYZ, point.DatenXYZ);
}

TEST(CurveImport, MakerStyleFilesImport) {
  struct TCase {
    const char* File;
    int Separator;
    std::size_t Points;
    float FirstX, FirstY, LastX, LastY;
    const char* Header;
  };
  const TCase cases[] = {
      {"mic_sens_tab_crlf.txt", DelimiterTab, 17, 10.1f, -4.6174f, 19962.0f, 5.2208f,
       "\"Sens Factor =-0.87dB, AGain =18dB, SERNO: 7412058\""},
      {"mic_semicolon_comma_bom.txt", DelimiterSemicolon, 12, 20.0f, -0.85f, 20000.0f, 3.81f,
       "Frequenz [Hz];Korrektur [dB]"},
      {"mic_colon_cp1252.txt", DelimiterColon, 5, 25.0f, -0.6f, 20000.0f, 4.2f, "Korrekturkurve 0\u00b0 (Freifeld)"},
      // Right-aligned columns of several blanks, and a third header line with a ":" in it.
      {"mic_aligned_columns.txt", DelimiterBlank, 5, 20.0f, -1.2f, 20000.0f, 3.5f, "Frequency: Hz       Level: dB"},
  };
  for (const auto& c : cases) {
    const std::string file = Fixtures + "/" + c.File;
    const int separator = DetectDelimiter(file);
    EXPECT_EQ(separator, c.Separator) << c.File;
    TDatentyp curve;
    std::string header;
    TCurveImportDetails details;
    for (const char* locale : {"de_DE.UTF-8", "en_US.UTF-8"}) {
      ScopedUserLocale user(locale);
      ASSERT_TRUE(ImportAsciiCurve(file, curve, static_cast<char>(separator), header, &details))
          << c.File << " under " << locale << ": " << details.Message();
      ASSERT_EQ(curve.Count(), c.Points) << c.File;
      EXPECT_FLOAT_EQ(curve.X().front(), c.FirstX) << c.File;
      EXPECT_FLOAT_EQ(curve.Y().front(), c.FirstY) << c.File;
      EXPECT_FLOAT_EQ(curve.X().back(), c.LastX) << c.File;
      EXPECT_FLOAT_EQ(curve.Y().back(), c.LastY) << c.File;
      EXPECT_EQ(header, c.Header);
    }
  }
}

TEST(CurveImport, FailuresNameTheLineAndKeepThePointsBefore) {
  struct TCase {
    const char* File;
    int Line;
    const char* Reason;
  };
  const TCase cases[] = {
      {"mic_bad_empty_level.txt", 4, "level (second field) is empty"},
      {"mic_bad_number.txt", 4, "the level \"0.8dB\" is not a number"},
  };
  for (const auto& c : cases) {
    TDatentyp curve;
    std::string header;
    TCurveImportDetails details;
    EXPECT_FALSE(ImportAsciiCurve(Fixtures + "/" + c.File, curve, static_cast<char>(DetectDelimiter(Fixtures + "/" + c.File)),
                                  header, &details))
        << c.File;
    EXPECT_EQ(details.ErrorLine, c.Line) << c.File;
    EXPECT_NE(details.Message().find(c.Reason), std::string::npos) << details.Message();
    EXPECT_EQ(curve.Count(), 2u) << c.File;  // 20 Hz and 1000 Hz were read before
  }

  TDatentyp curve = Curve({{1, 2}});
  std::string header = "old";
  TCurveImportDetails details;
  EXPECT_FALSE(ImportAsciiCurve(Fixtures + "/no_such_file.txt", curve, ' ', header, &details));
  EXPECT_EQ(curve.Count(), 0u);
  EXPECT_EQ(header, "");
  EXPECT_NE(details.Message().find("not found"), std::string::npos);

  // The wrong separator: the whole line becomes the frequency field and the level is missing.
  EXPECT_FALSE(ImportAsciiCurveText("h\n20 -1.2\n", curve, '\t', header, &details, English));
  EXPECT_EQ(details.ErrorLine, 2);
  EXPECT_NE(details.Message().find("no tab between frequency and level"), std::string::npos) << details.Message();
  // A value a 32-bit float cannot hold.
  EXPECT_FALSE(ImportAsciiCurveText("h\n20 1e39\n", curve, ' ', header, &details, English));
  EXPECT_NE(details.Message().find("out of range"), std::string::npos) << details.Message();
}

TEST(CurveImport, HeaderOnlyAndEmptyFilesGiveNoPoints) {
  TDatentyp curve = Curve({{1, 2}, {3, 4}});
  std::string header;
  EXPECT_TRUE(ImportAsciiCurveText("only\na header\n", curve, ' ', header, nullptr, English));
  EXPECT_EQ(curve.Count(), 0u);
  EXPECT_EQ(header, "a header");
  EXPECT_TRUE(ImportAsciiCurveText("", curve, ' ', header, nullptr, English));
  EXPECT_EQ(header, "");
  EXPECT_FLOAT_EQ(InterpolateCurve(curve, 1000.0), 0.0f);
  // A line beginning with a sign is a header line; blanks before a digit are column alignment.
  EXPECT_TRUE(ImportAsciiCurveText("h\n 20 1\n-5 2\n30 3\n", curve, ' ', header, nullptr, English));
  EXPECT_EQ(curve.Count(), 2u);
  EXPECT_EQ(header, "-5 2");
}

TEST(CurveImport, InterpolationEdgeCases) {
  EXPECT_FLOAT_EQ(InterpolateCurve(TDatentyp{}, 100.0), 0.0f);
  EXPECT_FLOAT_EQ(InterpolateCurve(Curve({{100, 5}}), 100.0), 0.0f);  // one point is no curve

  // Two points at one frequency at the start: everything below them reads 0.
  const TDatentyp twinStart = Curve({{100, 1}, {100, 5}, {1000, 2}});
  EXPECT_FLOAT_EQ(InterpolateCurve(twinStart, 50.0), 0.0f);
  EXPECT_FLOAT_EQ(InterpolateCurve(twinStart, 100.0), 5.0f);
  EXPECT_FLOAT_EQ(InterpolateCurve(twinStart, 550.0), 3.5f);
  // Two points at one frequency at the end: that frequency reads 0, above it the last value holds.
  const TDatentyp twinEnd = Curve({{100, 1}, {1000, 2}, {1000, 4}});
  EXPECT_FLOAT_EQ(InterpolateCurve(twinEnd, 1000.0), 0.0f);
  EXPECT_FLOAT_EQ(InterpolateCurve(twinEnd, 2000.0), 4.0f);
  EXPECT_NEAR(InterpolateCurve(twinEnd, 550.0), 1.5, 1e-6);
}

TEST(CurveImport, NormalizeAtReferenceSubtractsThePointAtOrBelowIt) {
  TDatentyp c = Curve({{500, 2}, {1000, 3}, {2000, 5}});
  EXPECT_TRUE(NormalizeAtReference(c, 1000, 0));
  EXPECT_EQ(c.Y(), (std::vector<float>{-1, 0, 2}));

  c = Curve({{500, 2}, {900, 3}, {1100, 4}});
  EXPECT_TRUE(NormalizeAtReference(c, 1000, 1));
  EXPECT_EQ(c.Y(), (std::vector<float>{-2, -1, 0}));

  c = Curve({{100, 1}, {500, 2}, {1000, 3}});  // nothing above the reference
  EXPECT_FALSE(NormalizeAtReference(c, 1000, 0));
  EXPECT_EQ(c.Y(), (std::vector<float>{1, 2, 3}));

  c = Curve({{1500, 1}, {3000, 4}});  // nothing at or below: referred to the first point
  EXPECT_TRUE(NormalizeAtReference(c, 1000, 0));
  EXPECT_EQ(c.Y(), (std::vector<float>{0, 3}));

  c = Curve({{1500, 1}});
  EXPECT_FALSE(NormalizeAtReference(c, 1000, 0));
  EXPECT_EQ(c.Y(), (std::vector<float>{1}));
}

TEST(CurveImport, CalibrationFileIsWrittenInTheUsersLocaleAndReadsBack) {
  TempFolder dir;
  const std::string file = (dir.Path / "Vemra.dlc").string();
  TDatentyp c = Curve({{19.686f, -0.61234f}, {1000, 0}, {20159, 1.5f}});
  ASSERT_TRUE(WriteCalibrationFile(file, c, '\t', 48000, nullptr, German));
  EXPECT_EQ(ReadBytes(file), "Vemra 48000\r\n19,6860\t-0,6123\r\n1000,0000\t0,0000\r\n20159,0000\t1,5000\r\n");
  ASSERT_TRUE(WriteCalibrationFile(file, c, '\t', 44100, nullptr, English));
  EXPECT_EQ(ReadBytes(file), "Vemra 44100\r\n19.6860\t-0.6123\r\n1000.0000\t0.0000\r\n20159.0000\t1.5000\r\n");

  TDatentyp back;
  std::string header;
  ASSERT_TRUE(ImportAsciiCurve(file, back, '\t', header));
  EXPECT_EQ(header, "Vemra 44100");
  EXPECT_EQ(back.X(), (std::vector<float>{19.7f, 1000, 20159}));  // the import keeps one decimal of a frequency
  EXPECT_EQ(back.Y(), (std::vector<float>{-0.6123f, 0, 1.5f}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator{}), 1);  // no leftovers
}

TEST(CurveImport, CalibrationFileWriteFailuresLeaveTheOldFile) {
  TempFolder dir;
  const std::string file = (dir.Path / "Vemra.dlc").string();
  ASSERT_TRUE(WriteCalibrationFile(file, Curve({{20, 1}, {20000, 2}}), '\t', 48000, nullptr, English));
  const std::string before = ReadBytes(file);

  std::string why;
  TDatentyp bad = Curve({{20, 1}, {1000, std::numeric_limits<float>::quiet_NaN()}});
  EXPECT_FALSE(WriteCalibrationFile(file, bad, '\t', 48000, &why, English));
  EXPECT_NE(why.find("point 2"), std::string::npos) << why;
  EXPECT_EQ(ReadBytes(file), before);

  why.clear();
  EXPECT_FALSE(WriteCalibrationFile((dir.Path / "Vemra.dlc" / "Vemra.dlc").string(), Curve({{20, 1}}), '\t', 48000, &why,
                                    English));  // below a file, no folder can be made
  EXPECT_NE(why.find("Cannot write"), std::string::npos) << why;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator{}), 1);
}
