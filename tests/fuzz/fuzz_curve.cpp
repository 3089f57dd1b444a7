// libFuzzer target: any bytes as a text curve file, through separator detection, import under a
// decimal-comma and a decimal-point locale, evaluation and normalisation.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "calibration/audio_ASCII_Import.h"
#include "io/TextDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);
  const std::string text = DecodeTextBytes(bytes);

  TCurveImportDetails details;
  const int separator = DetectDelimiterInText(text, &details);
  Check(separator == DelimiterNone || separator == DelimiterTab || separator == DelimiterBlank ||
        separator == DelimiterColon || separator == DelimiterSemicolon);
  Check((separator == DelimiterNone) == !details.ErrorReason.empty());

  static const TNumberFormat Formats[] = {TNumberFormat(','), TNumberFormat('.')};
  for (const TNumberFormat& format : Formats) {
    TDatentyp curve;
    std::string header;
    TCurveImportDetails importDetails;
    const char sep = separator == DelimiterNone ? ' ' : static_cast<char>(separator);
    const bool ok = ImportAsciiCurveText(text, curve, sep, header, &importDetails, format);
    Check(ok == importDetails.ErrorReason.empty());
    Check(ok || importDetails.ErrorLine > 0);
    Check(curve.X().size() == curve.Y().size());
    Check(importDetails.PointLines.size() == curve.Count());
    for (std::size_t i = 0; i < curve.Count(); ++i) Check(std::isfinite(curve.X()[i]) && std::isfinite(curve.Y()[i]));

    for (const double f : {-1.0, 0.0, 16.0, 1000.0, 20159.0, 1e9}) (void)InterpolateCurve(curve, f);
    TDatentyp normalized = curve;
    NormalizeAtReference(normalized, 1000.0, 0.0);
    Check(normalized.Count() == curve.Count());
  }

  // The number rule on the first line: either "ERROR" or a number that reads back in its own locale.
  const std::string_view first = std::string_view(text).substr(0, text.find('\n'));
  for (const TNumberFormat& format : Formats) {
    for (const int decimals : {1, 4}) {
      const std::string n = NormalizeNumberText(first, decimals, format);
      Check(n == "ERROR" || format.ParseFloat(n).has_value());
    }
  }
  return 0;
}
