#include "widgets/DisplayFormat.h"

#include "io/NumberFormat.h"

#include <cmath>
#include <cstdio>

QChar TDisplayFormat::DecimalSeparator()
{
  static const QChar separator = QChar::fromLatin1(TNumberFormat::User().DecimalSeparator());
  return separator;
}

QString TDisplayFormat::Fixed(double value, int precision, int decimals)
{
  if (!std::isfinite(value))
    return value != value ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
  if (precision < 1)
    precision = 1;
  if (decimals < 0)
    decimals = 0;
  char buf[64];
  // Round to the significant digits first.
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, value);
  double rounded = std::strtod(buf, nullptr);
  const double magnitude = std::fabs(rounded);
  const int integerDigits = magnitude >= 1.0 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
  if (integerDigits > precision) {
    std::snprintf(buf, sizeof buf, "%.*E", precision - 1, rounded);
  } else {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
  }
  QString text = QString::fromLatin1(buf);
  // No "-0.0": a value that rounds to zero has no sign.
  if (text.startsWith('-')) {
    bool allZero = true;
    for (QChar c : text)
      if (c.isDigit() && c != '0')
        allZero = false;
    if (allZero)
      text.remove(0, 1);
  }
  text.replace('.', DecimalSeparator());
  return text;
}

QString TDisplayFormat::Frequency(double f, bool withUnit, int decimals)
{
  QString unit;
  QString text;
  if (f >= 1000.0) {
    unit = "kHz";
    if (f > 10000.0)
      decimals /= 2;
    text = Fixed(f / 1000.0, 5, decimals);
  } else {
    unit = "Hz";
    decimals = (f != std::floor(f)) ? 1 : 0;
    text = Fixed(f, 5, decimals);
  }
  return withUnit ? text + unit : text;
}
