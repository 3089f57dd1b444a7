#include <gtest/gtest.h>

#include <cmath>

#include "io/FormatFixed.h"

TEST(FormatFixed, FourSignificantDigitsTwoDecimals) {
  struct Case {
    double Value;
    const char* Text;
  };
  const Case cases[] = {
      {0.6623, "0.66"}, {0.0, "0.00"}, {1.2, "1.20"}, {-3.456, "-3.46"}, {123.456, "123.50"},
      {9999.4, "9999.00"}, {12345.6, "1.235E+004"}, {-0.001, "0.00"}, {0.0051, "0.01"}, {1.23450005, "1.23"}, {999.96, "1000.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFixed(c.Value, 4, 2), c.Text) << c.Value;
  EXPECT_EQ(FormatFixed(1.5, 4, 2, ','), "1,50");
  EXPECT_EQ(FormatFixed(0.8123, 15, 3), "0.812");
  EXPECT_EQ(FormatFixed(86.6, 15, 0), "87");
  EXPECT_EQ(FormatFixed(NAN, 4, 2), "NAN");
  EXPECT_EQ(FormatFixed(-INFINITY, 4, 2), "-INF");
}
