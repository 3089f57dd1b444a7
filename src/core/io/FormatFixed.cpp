#include "io/FormatFixed.h"

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

  // Round to the significant digits first; the fixed form then rounds to the decimals.
  const double rounded = std::strtod(Printf("%.*e", Precision - 1, Value).c_str(), nullptr);
  std::string text;
  if (std::fabs(rounded) >= std::pow(10.0, Precision)) {
    // Exponent form: d.ddd with Precision digits, "E", sign and at least three exponent digits.
    std::string m = Printf("%.*e", Precision - 1, Value);
    const auto e = m.find('e');
    const int exponent = std::atoi(m.c_str() + e + 1);
    char expText[16];
    std::snprintf(expText, sizeof expText, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text = m.substr(0, e) + expText;
  } else {
    text = Printf("%.*f", Digits, rounded);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  }
  for (char& c : text)
    if (c == '.') c = DecimalSeparator;
  return text;
}
