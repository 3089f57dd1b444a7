#include "io/FormatFixed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Printf(const char* Format, int Width, double Value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, Format, Width, Value);
  return buf;
}

}  // namespace

std::string FormatFixed(double Value, int Precision, int Digits, char DecimalSeparator) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  if (Precision < 1) Precision = 1;
  if (Precision > 17) Precision = 17;
  if (Digits < 0) Digits = 0;
  if (Digits > 18) Digits = 18;

  // One rounding only, at whichever comes first: the last significant digit or the last decimal.
  const double mag = std::fabs(Value);
  int decimals = Digits;
  if (mag >= 1.0) {
    const int intDigits = static_cast<int>(std::floor(std::log10(mag))) + 1;
    decimals = std::clamp(Precision - intDigits, 0, Digits);
  }
  std::string text = Printf("%.*f", decimals, Value);
  const auto point = text.find('.');
  const std::size_t intDigits = (point == std::string::npos ? text.size() : point) - (text[0] == '-' ? 1 : 0);
  if (intDigits > static_cast<std::size_t>(Precision)) {
    // Exponent form: d.ddd with Precision digits, "E", sign and at least three exponent digits.
    const std::string m = Printf("%.*e", Precision - 1, Value);
    const auto e = m.find('e');
    const int exponent = std::atoi(m.c_str() + e + 1);
    char expText[16];
    std::snprintf(expText, sizeof expText, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text = m.substr(0, e) + expText;
  } else {
    if (decimals < Digits) {
      if (decimals == 0) text += '.';
      text.append(static_cast<std::size_t>(Digits - decimals), '0');
    }
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  }
  for (char& c : text)
    if (c == '.') c = DecimalSeparator;
  return text;
}
