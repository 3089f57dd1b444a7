#include "io/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

TEST(NumberFormat, FormatsShortestExactWithAtMost15Digits) {
  const TNumberFormat en('.');
  const TNumberFormat de(',');
  struct Case {
    double Value;
    const char* English;
    const char* German;
  };
  const Case cases[] = {
      {-32.5, "-32.5", "-32,5"},
      {0.0, "0", "0"},
      {-0.0, "0", "0"},
      {94.0, "94", "94"},
      {100000.0, "100000", "100000"},
      {0.1, "0.1", "0,1"},
      {0.1 + 0.2, "0.3", "0,3"},  // 0.30000000000000004 needs 17 digits
      {1.0 / 3.0, "0.333333333333333", "0,333333333333333"},
      {-2.0 / 3.0, "-0.666666666666667", "-0,666666666666667"},
      {0.00001, "0.00001", "0,00001"},
      {1.5e-7, "1.5E-7", "1,5E-7"},
      {1e15, "1E15", "1E15"},
      {123456789012345.0, "123456789012345", "123456789012345"},
      {123456789012345678.0, "1.23456789012346E17", "1,23456789012346E17"},
      {0.9999999999999999, "1", "1"},  // rounding to 15 digits carries into a new leading digit
      {std::numeric_limits<double>::quiet_NaN(), "NAN", "NAN"},
      {-std::numeric_limits<double>::infinity(), "-INF", "-INF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(en.FormatFloat(c.Value), c.English) << c.Value;
    EXPECT_EQ(de.FormatFloat(c.Value), c.German) << c.Value;
  }
}

TEST(NumberFormat, WrittenFloatsReadBackExactly) {
  for (char sep : {'.', ','}) {
    const TNumberFormat f(sep);
    for (double v : {-32.5, 0.1, 1.25e-9, 3.14159265358979, 98765.4321, -1e20, 7.0}) {
      const auto back = f.ParseFloat(f.FormatFloat(v));
      ASSERT_TRUE(back.has_value()) << f.FormatFloat(v);
      EXPECT_EQ(*back, v) << f.FormatFloat(v);
    }
  }
}

TEST(NumberFormat, ParsesFloatsStrictly) {
  const TNumberFormat en('.');
  const TNumberFormat de(',');
  EXPECT_EQ(de.ParseFloat("-32,5"), -32.5);
  EXPECT_EQ(en.ParseFloat("-32.5"), -32.5);
  EXPECT_FALSE(de.ParseFloat("-32.5"));  // one locale, one separator
  EXPECT_FALSE(en.ParseFloat("-32,5"));
  EXPECT_EQ(TNumberFormat::ParseFloatEitherSeparator("-32,5"), -32.5);
  EXPECT_EQ(TNumberFormat::ParseFloatEitherSeparator("-32.5"), -32.5);
  EXPECT_EQ(en.ParseFloat(" +2.5\t"), 2.5);
  EXPECT_EQ(en.ParseFloat(".5"), 0.5);
  EXPECT_EQ(en.ParseFloat("5."), 5.0);
  EXPECT_EQ(en.ParseFloat("1.5E-7"), 1.5e-7);
  EXPECT_EQ(de.ParseFloat("1,5e+3"), 1500.0);
  for (const char* bad : {"", " ", "-", ".", "abc", "1e", "1e+", "inf", "nan", "NAN", "1.5x", "1,234.5", "1.2.3",
                          "0x10", "1e999", "--1", "1 2"}) {
    EXPECT_FALSE(TNumberFormat::ParseFloatEitherSeparator(bad)) << '"' << bad << '"';
  }
}

TEST(NumberFormat, ParsesDecimalAndHexIntegers) {
  struct Case {
    const char* Text;
    std::optional<int32_t> Value;
  };
  const Case cases[] = {
      {"12", 12},
      {" -4 ", -4},
      {"+7", 7},
      {"0x1F", 31},
      {"0XfF", 255},
      {"-0x10", -16},
      {"0xFFFFFFFF", -1},
      {"0x7fffffff", 2147483647},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"0x100000000", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"12abc", std::nullopt},
      {"1.5", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"0xG1", std::nullopt},
      {"$10", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(TNumberFormat::ParseInt(c.Text), c.Value) << '"' << c.Text << '"';
}

TEST(NumberFormat, DecimalSeparatorFollowsTheLocale) {
  EXPECT_EQ(TNumberFormat::ForLocaleName("de_DE.UTF-8").DecimalSeparator(), ',');
  EXPECT_EQ(TNumberFormat::ForLocaleName("de_AT@euro").DecimalSeparator(), ',');
  EXPECT_EQ(TNumberFormat::ForLocaleName("fr_FR").DecimalSeparator(), ',');
  EXPECT_EQ(TNumberFormat::ForLocaleName("de_CH.UTF-8").DecimalSeparator(), '.');
  EXPECT_EQ(TNumberFormat::ForLocaleName("en_US.UTF-8").DecimalSeparator(), '.');
  EXPECT_EQ(TNumberFormat::ForLocaleName("en_GB").DecimalSeparator(), '.');
  EXPECT_EQ(TNumberFormat::ForLocaleName("C.UTF-8").DecimalSeparator(), '.');
  EXPECT_EQ(TNumberFormat::ForLocaleName("").DecimalSeparator(), '.');

  // LC_ALL before LC_NUMERIC before LANG.
  unsetenv("LC_ALL");
  setenv("LC_NUMERIC", "en_US.UTF-8", 1);
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(TNumberFormat::User().DecimalSeparator(), '.');
  unsetenv("LC_NUMERIC");
  EXPECT_EQ(TNumberFormat::User().DecimalSeparator(), ',');
  setenv("LC_ALL", "en_US.UTF-8", 1);
  EXPECT_EQ(TNumberFormat::User().DecimalSeparator(), '.');
  unsetenv("LC_ALL");
  unsetenv("LANG");
  EXPECT_EQ(TNumberFormat::User().DecimalSeparator(), '.');
}
