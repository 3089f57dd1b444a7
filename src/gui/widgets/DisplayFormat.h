#pragma once
// Numbers and frequencies as the windows show them, with the decimal separator of the user's locale.
#include <QString>

class TDisplayFormat
{
public:
  // Value rounded to at most Precision significant digits and Decimals decimals, written with Decimals
  // decimals ("-23.4" for -23.4449 at 4/1); see FormatFixed.
  static QString Fixed(double value, int precision, int decimals);

  // A frequency for labels and readouts: at or above 1000 Hz in kHz with Decimals decimals (halved above
  // 10 kHz), below in Hz with one decimal when it has a fraction and none otherwise; WithUnit appends
  // "kHz" or "Hz". 1000/2 → "1.00kHz", 12500/2 → "12.5kHz", 31.5 → "31.5Hz", 500 → "500Hz".
  static QString Frequency(double f, bool withUnit, int decimals);

  // The decimal separator of the user's numeric locale.
  static QChar DecimalSeparator();
};
