#pragma once

#include <string>

// A number as lists, labels and the calibration file show it: rounded (half away from zero, on the exact
// decimal value) to at most Precision significant digits and to Digits decimals, then written with
// exactly Digits decimals and the given decimal separator ("0.66", "123.50", "-3.4570"). A value that
// needs more than Precision digits before the separator is written in exponent form with Precision
// digits ("1.235E+004"); not-a-number and infinities as "NAN", "INF", "-INF". A value that rounds to zero
// is written without a sign.
std::string FormatFixed(double Value, int Precision, int Digits, char DecimalSeparator = '.');
