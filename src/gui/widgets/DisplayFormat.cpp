#include "widgets/DisplayFormat.h"

#include "io/FormatFixed.h"
#include "io/NumberFormat.h"

#include <cmath>

QChar TDisplayFormat::DecimalSeparator()
{
  static const QChar separator = QChar::fromLatin1(TNumberFormat::User().DecimalSeparator());
  return separator;
}

QString TDisplayFormat::Fixed(double value, int precision, int decimals)
{
  return QString::fromStdString(FormatFixed(value, precision, decimals, DecimalSeparator().toLatin1()));
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
