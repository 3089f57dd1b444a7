#include "io/NumberFormat.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <locale.h>

namespace {

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t')) Text.remove_suffix(1);
  return Text;
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// Languages that write a decimal comma, for locales the C library does not have installed.
bool LanguageUsesComma(std::string_view Language, std::string_view Territory) {
  static constexpr std::string_view CommaLanguages[] = {
      "af", "az", "be", "bg", "bs", "ca", "cs", "da", "de", "el", "es", "et", "eu", "fi", "fo", "fr", "gl",
      "hr", "hu", "hy", "id", "is", "it", "ka", "kk", "ky", "lt", "lv", "mk", "mn", "nb", "nl", "nn", "no",
      "pl", "pt", "ro", "ru", "sk", "sl", "sq", "sr", "sv", "tr", "uk", "uz", "vi"};
  // Territories where these languages use a decimal point.
  static constexpr std::string_view PointTerritories[] = {
      "de_CH", "de_LI", "it_CH", "es_MX", "es_US", "es_DO", "es_GT", "es_HN", "es_NI", "es_PA", "es_PR", "es_SV"};
  const std::string both = std::string(Language) + "_" + std::string(Territory);
  for (auto t : PointTerritories)
    if (both == t) return false;
  for (auto l : CommaLanguages)
    if (Language == l) return true;
  return false;
}

}  // namespace

TNumberFormat::TNumberFormat(char DecimalSeparator) : FDecimalSeparator(DecimalSeparator == ',' ? ',' : '.') {}

TNumberFormat TNumberFormat::User() {
  for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return ForLocaleName(value);
  }
  return TNumberFormat('.');
}

TNumberFormat TNumberFormat::ForLocaleName(std::string_view LocaleName) {
  const std::string name(LocaleName);
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return TNumberFormat('.');
  // An installed locale knows its separator best.
  if (locale_t loc = newlocale(LC_NUMERIC_MASK, name.c_str(), locale_t(nullptr))) {
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    const char sep = (radix && std::strcmp(radix, ",") == 0) ? ',' : '.';
    freelocale(loc);
    return TNumberFormat(sep);
  }
  // Otherwise by language and territory: "de_AT.UTF-8@euro" -> "de", "AT".
  const std::size_t langEnd = name.find_first_of("_.@");
  const std::string language = name.substr(0, langEnd);
  std::string territory;
  if (langEnd != std::string::npos && name[langEnd] == '_') {
    const std::size_t terrEnd = name.find_first_of(".@", langEnd + 1);
    territory = name.substr(langEnd + 1, terrEnd == std::string::npos ? std::string::npos : terrEnd - langEnd - 1);
  }
  return TNumberFormat(LanguageUsesComma(language, territory) ? ',' : '.');
}

std::string TNumberFormat::FormatFloat(double Value) const {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  if (Value == 0.0) return "0";

  // Significant digits and decimal exponent of the shortest exact form: Value = d.ddd x 10^exponent.
  auto decompose = [](const char* First, const char* Last, bool& Negative, std::string& Digits, int& Exponent) {
    const char* p = First;
    Negative = (*p == '-');
    if (Negative) ++p;
    Digits.clear();
    for (; p < Last && *p != 'e'; ++p)
      if (IsDigit(*p)) Digits += *p;
    Exponent = 0;
    if (p < Last) {
      ++p;  // 'e'
      if (p < Last && *p == '+') ++p;
      std::from_chars(p, Last, Exponent);
    }
    while (Digits.size() > 1 && Digits.back() == '0') Digits.pop_back();
  };
  char buf[64];
  bool negative = false;
  std::string digits;
  int exponent = 0;
  auto res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific);
  decompose(buf, res.ptr, negative, digits, exponent);
  if (digits.size() > 15) {
    res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
    decompose(buf, res.ptr, negative, digits, exponent);
  }

  std::string out = negative ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent >= 0) {
      const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= intDigits) {
        out += digits + std::string(intDigits - digits.size(), '0');
      } else {
        out += digits.substr(0, intDigits) + FDecimalSeparator + digits.substr(intDigits);
      }
    } else {
      out += std::string("0") + FDecimalSeparator + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
  } else {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += FDecimalSeparator + digits.substr(1);
    out += "E" + std::to_string(exponent);
  }
  return out;
}

std::optional<double> TNumberFormat::ParseFloat(std::string_view Text) const {
  return ParseWith(Text, FDecimalSeparator, false);
}

std::optional<double> TNumberFormat::ParseFloatEitherSeparator(std::string_view Text) {
  return ParseWith(Text, '.', true);
}

std::optional<double> TNumberFormat::ParseWith(std::string_view Text, char Separator, bool EitherSeparator) {
  Text = TrimBlanks(Text);
  std::string normal;
  normal.reserve(Text.size());
  std::size_t i = 0;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
    if (Text[i] == '-') normal += '-';
    ++i;
  }
  std::size_t mantissaDigits = 0;
  while (i < Text.size() && IsDigit(Text[i])) normal += Text[i++], ++mantissaDigits;
  if (i < Text.size() && (EitherSeparator ? (Text[i] == '.' || Text[i] == ',') : Text[i] == Separator)) {
    normal += '.';
    ++i;
    while (i < Text.size() && IsDigit(Text[i])) normal += Text[i++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
    normal += 'e';
    ++i;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) normal += Text[i++];
    std::size_t expDigits = 0;
    while (i < Text.size() && IsDigit(Text[i])) normal += Text[i++], ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != Text.size()) return std::nullopt;

  double value = 0.0;
  const auto res = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (res.ec != std::errc() || res.ptr != normal.data() + normal.size()) return std::nullopt;
  return value;
}

std::optional<int32_t> TNumberFormat::ParseInt(std::string_view Text) {
  Text = TrimBlanks(Text);
  bool negative = false;
  if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
    negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  if (Text.empty()) return std::nullopt;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    uint64_t bits = 0;
    for (char c : Text.substr(2)) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      bits = bits * 16 + static_cast<uint64_t>(d);
      if (bits > 0xFFFFFFFFu) return std::nullopt;
    }
    uint32_t pattern = static_cast<uint32_t>(bits);
    if (negative) pattern = 0u - pattern;
    return static_cast<int32_t>(pattern);
  }
  int64_t value = 0;
  for (char c : Text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}
