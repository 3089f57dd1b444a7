#pragma once

#include <string>

// A number as the lists and labels show it: rounded to at most Precision significant digits and to Digits
// decimals, then written with exactly Digits decimals and the given decimal separator ("0.66", "123.50").
// A value that needs more than Precision digits before the separator is written in exponent form
// ("1.235E+004"); not-a-number and infinities as "NAN", "INF", "-INF". A value that rounds to zero is
// written without a sign.
std::string FormatFixed(double Value, int Precision, int Digits, char DecimalSeparator = '.');
