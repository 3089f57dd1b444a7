#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers as text the way the user writes and reads them: the decimal separator of a locale ('.' or ','),
// floats in their shortest exact form with at most 15 significant digits, integers in decimal or with a
// "0x" prefix in hexadecimal. Everything here is strict: a text converts only when the whole text (apart
// from blanks and tabs around it) is the number.
class TNumberFormat {
public:
  explicit TNumberFormat(char DecimalSeparator = '.');

  // The user's numeric locale: LC_ALL, else LC_NUMERIC, else LANG ("C" or nothing set: a point).
  static TNumberFormat User();
  // The separator of a locale name such as "de_DE.UTF-8", "fr_CH" or "en_GB.utf8".
  static TNumberFormat ForLocaleName(std::string_view LocaleName);

  char DecimalSeparator() const { return FDecimalSeparator; }

  // Shortest text that reads back as exactly Value; when that needs more than 15 significant digits,
  // the value rounded to 15. Plain digits for magnitudes from 1e-5 up to below 1e15, otherwise with an
  // exponent ("1.5E-7"). Not-a-number and infinities become "NAN", "INF", "-INF".
  std::string FormatFloat(double Value) const;

  // A float written with this format's decimal separator (optional sign, digits, optional fraction,
  // optional exponent). No thousands separators, no "inf" or "nan".
  std::optional<double> ParseFloat(std::string_view Text) const;
  // The same, accepting either '.' or ',' as the decimal separator.
  static std::optional<double> ParseFloatEitherSeparator(std::string_view Text);

  // A 32-bit integer in decimal ("-12") or hexadecimal with a "0x" prefix ("0x1F"; up to 8 hex digits,
  // taken as the 32-bit pattern, so "0xFFFFFFFF" is -1). Out of range or anything else: nothing.
  static std::optional<int32_t> ParseInt(std::string_view Text);

private:
  static std::optional<double> ParseWith(std::string_view Text, char Separator, bool EitherSeparator);
  char FDecimalSeparator;
};
