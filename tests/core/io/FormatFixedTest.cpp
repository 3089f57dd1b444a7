#include <gtest/gtest.h>

#include <cmath>

#include "io/FormatFixed.h"

TEST(FormatFixed, RoundsOnceToSignificantDigitsOrDecimals) {
  struct Case {
    double Value;
    int Precision;
    int Digits;
    const char* Text;
  };
  const Case cases[] = {
      // lists and labels: 4 significant digits, 2 decimals
      {0.6623, 4, 2, "0.66"}, {0.0, 4, 2, "0.00"}, {1.2, 4, 2, "1.20"}, {-3.456, 4, 2, "-3.46"},
      {123.456, 4, 2, "123.50"}, {9999.4, 4, 2, "9999.00"}, {12345.6, 4, 2, "1.235E+004"},
      {-0.001, 4, 2, "0.00"}, {0.0051, 4, 2, "0.01"}, {1.23450005, 4, 2, "1.23"}, {999.96, 4, 2, "1000.00"},
      {9999.6, 4, 2, "1.000E+004"}, {0.8123, 15, 3, "0.812"}, {86.6, 15, 0, "87"},
      // ties are rounded away from zero, also where the binary value is exactly the tie
      {0.125, 4, 2, "0.13"}, {-2.5, 4, 0, "-3"}, {3.25, 8, 1, "3.3"},
      // curve files: 8 significant digits
      {12345.678, 8, 4, "12345.6780"}, {19.686f, 8, 4, "19.6860"}, {-0.61234f, 8, 4, "-0.6123"},
      {99999.99, 8, 1, "100000.0"}, {123456789, 8, 1, "1.2345679E+008"}, {0.00005, 8, 4, "0.0001"},
      {-0.00004, 8, 4, "0.0000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatFixed(c.Value, c.Precision, c.Digits), c.Text) << c.Value << " " << c.Precision << " " << c.Digits;
  EXPECT_EQ(FormatFixed(1.5, 4, 2, ','), "1,50");
  EXPECT_EQ(FormatFixed(NAN, 4, 2), "NAN");
  EXPECT_EQ(FormatFixed(-INFINITY, 4, 2), "-INF");
}
