#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "io/ListViewToCSV.h"

namespace {

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(QuoteCSVField, QuotesOnlyWhatNeedsIt) {
  struct Case {
    const char* In;
    const char* Out;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"  blanks kept  ", "  blanks kept  "},
      {"1,25", "1,25"},  // a decimal comma is not the separator
      {"a;b", "\"a;b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteCSVField(c.In, ";"), c.Out) << c.In;
  EXPECT_EQ(QuoteCSVField("1,25", ","), "\"1,25\"");
}

TEST(ListViewToCSV, CheckedRowsWithBomAndCrLf) {
  TListTable t;
  t.Columns = {"#", "RT60(s)", "Note"};
  t.Rows = {{" Ø ", {"0,80", ""}, true}, {"  1", {"0,79", "left; \"near\" wall"}, true}, {"  2", {"0,81", "x"}, false}};
  EXPECT_EQ(ListViewToCSVText(t, ";"),
            "\xEF\xBB\xBF#;RT60(s);Note\r\n"
            " \xC3\x98 ;0,80;\r\n"
            "  1;0,79;\"left; \"\"near\"\" wall\"\r\n");
  // A list without check boxes exports all its rows.
  t.CheckBoxes = false;
  EXPECT_NE(ListViewToCSVText(t, ";").find("  2;0,81;x\r\n"), std::string::npos);
  t.ReportView = false;
  EXPECT_THROW(ListViewToCSVText(t, ";"), TCSVError);
}

TEST(ListViewToCSV, WritesWholeFileOrNothing) {
  const auto dir = std::filesystem::temp_directory_path() / ("vemra_csv_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  TListTable t;
  t.Columns = {"#"};
  t.Rows = {{"  1", {}, true}};
  ListViewToCSV(t, dir / "a.csv", ";");
  EXPECT_EQ(ReadAll(dir / "a.csv"), "\xEF\xBB\xBF#\r\n  1\r\n");
  // Below a plain file no folder can be made: an error.
  EXPECT_THROW(ListViewToCSV(t, dir / "a.csv" / "b.csv", ";"), TCSVError);
  // A failing export leaves the earlier file as it was.
  t.ReportView = false;
  EXPECT_THROW(ListViewToCSV(t, dir / "a.csv", ";"), TCSVError);
  EXPECT_EQ(ReadAll(dir / "a.csv"), "\xEF\xBB\xBF#\r\n  1\r\n");
  std::filesystem::remove_all(dir);
}
