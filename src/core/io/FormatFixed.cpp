#include "io/FormatFixed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string FormatFixed(double Value, int Precision, int Digits, char DecimalSeparator) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  Precision = std::clamp(Precision, 1, 17);
  Digits = std::clamp(Digits, 0, 18);

  // |Value| = 0.D x 10^exponent, D its decimal digits: enough of them for the rounding to be exact.
  constexpr int ExactDigits = 41;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.*e", ExactDigits - 1, std::fabs(Value));
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  int exponent = std::atoi(p + 1) + 1;

  // One rounding, at whichever comes first: the last significant digit or the last decimal.
  const int keep = std::min(Precision, exponent + Digits);
  if (keep < 0 || digits[0] == '0') {
    digits = "0";
    exponent = 1;
  } else if (keep == 0) {
    if (digits[0] >= '5') {
      digits = "1";
      exponent += 1;
    } else {
      digits = "0";
      exponent = 1;
    }
  } else {
    const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
      int i = keep - 1;
      while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') digits[static_cast<std::size_t>(i--)] = '0';
      if (i < 0) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        exponent += 1;
      } else {
        ++digits[static_cast<std::size_t>(i)];
      }
    }
  }
  const bool zero = digits.find_first_not_of('0') == std::string::npos;
  std::string out = (Value < 0 && !zero) ? "-" : "";

  if (exponent > Precision) {  // too many digits before the separator: d.ddd with Precision digits
    digits.resize(static_cast<std::size_t>(Precision), '0');
    out += digits[0];
    if (Precision > 1) out += DecimalSeparator + digits.substr(1);
    char expText[16];
    std::snprintf(expText, sizeof expText, "E+%03d", exponent - 1);
    return out + expText;
  }
  auto digitAt = [&](int Index) {
    return Index >= 0 && Index < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(Index)] : '0';
  };
  if (exponent <= 0 || zero) {
    out += '0';
  } else {
    for (int i = 0; i < exponent; ++i) out += digitAt(i);
  }
  if (Digits > 0) {
    out += DecimalSeparator;
    for (int k = 0; k < Digits; ++k) out += zero ? '0' : digitAt(exponent + k);
  }
  return out;
}
