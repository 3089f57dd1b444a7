#include "calibration/audio_ASCII_Import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "io/AtomicFile.h"
#include "io/BoundedFileRead.h"
#include "io/FormatFixed.h"
#include "io/TextDecoding.h"

namespace {

// Numbers of curve files are rewritten with at most this many significant digits.
constexpr int SignificantDigits = 8;

void Fail(TCurveImportDetails* Details, int Line, std::string Reason) {
  if (!Details) return;
  Details->ErrorLine = Line;
  Details->ErrorReason = std::move(Reason);
}

// A field as the user should see it in a message: quoted, control characters shown as \xNN, long
// fields shortened.
std::string Shown(std::string_view Field) {
  constexpr std::size_t MaxShown = 40;
  std::size_t shown = std::min(Field.size(), MaxShown);
  while (shown < Field.size() && shown > 0 && (static_cast<unsigned char>(Field[shown]) & 0xC0) == 0x80)
    --shown;  // not in the middle of a UTF-8 character
  std::string out = "\"";
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(Field[i]);
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (shown < Field.size()) out += "...";
  return out + "\"";
}

// A line is a data line when its first character that is not a blank or tab is a digit: makers align
// their columns to the right, and such a line must not be mistaken for a header (the curve would then
// quietly come out empty). Returns the line from that digit on, or an empty view for a header line.
std::string_view DataPart(std::string_view Line) {
  const std::size_t first = Line.find_first_not_of(" \t");
  if (first == std::string_view::npos || Line[first] < '0' || Line[first] > '9') return {};
  return Line.substr(first);
}

bool IsDataLine(std::string_view Line) { return !DataPart(Line).empty(); }

}  // namespace

std::string TCurveImportDetails::Message() const {
  if (ErrorLine > 0) return "line " + std::to_string(ErrorLine) + ": " + ErrorReason;
  return ErrorReason;
}

std::string SeparatorName(char Separator) {
  switch (Separator) {
    case '\t': return "tab";
    case ' ': return "blank";
    default: return std::string("\"") + Separator + "\"";
  }
}

bool ReadCurveText(const std::string& FileName, std::string& Text, TCurveImportDetails* Details) {
  const TBoundedRead read = ReadBoundedFile(FileName, MaxCurveFileBytes);
  switch (read.Status) {
    case TBoundedReadStatus::Ok:
      Text = DecodeTextBytes(read.Bytes);
      return true;
    case TBoundedReadStatus::NotFound: Fail(Details, 0, "file not found"); break;
    case TBoundedReadStatus::Folder: Fail(Details, 0, "not a file but a folder"); break;
    case TBoundedReadStatus::NotRegular: Fail(Details, 0, "not a regular file"); break;
    case TBoundedReadStatus::CannotOpen: Fail(Details, 0, std::string("cannot open: ") + std::strerror(read.Error)); break;
    case TBoundedReadStatus::TooLarge:
      Fail(Details, 0, "file too large for a curve file (more than " +
                           std::to_string(MaxCurveFileBytes / (1024 * 1024)) + " MB)");
      break;
    case TBoundedReadStatus::ReadError: Fail(Details, 0, "read error"); break;
  }
  return false;
}

int DetectDelimiterInText(std::string_view FileText, TCurveImportDetails* Details) {
  const auto lines = SplitLines(FileText);
  const std::size_t count = std::max<std::size_t>(lines.size(), 1);
  const std::size_t examined = count > 3 ? 2 : 1;  // index of the 3rd or the 2nd line
  if (examined >= lines.size()) {
    Fail(Details, 0, lines.size() <= 1 ? "the file has only one line, so no field separator can be found"
                                       : "no field separator found");
    return DelimiterNone;
  }
  std::string_view line = lines[examined];
  // A third header line would decide the separator by the header's text; the first data line from
  // there on shows how the columns are really separated.
  if (!IsDataLine(line)) {
    const auto data = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(examined), lines.end(), IsDataLine);
    if (data != lines.end()) line = DataPart(*data);
  } else {
    line = DataPart(line);
  }
  int code = DelimiterNone;
  if (line.find(' ') != std::string_view::npos) code = DelimiterBlank;
  if (line.find(';') != std::string_view::npos) code = DelimiterSemicolon;
  if (line.find(':') != std::string_view::npos) code = DelimiterColon;
  if (line.find('\t') != std::string_view::npos) code = DelimiterTab;
  if (code == DelimiterNone)
    Fail(Details, static_cast<int>(examined) + 1,
         "no field separator: the line holds no tab, \":\", \";\" or blank, so the columns cannot be told apart");
  return code;
}

int DetectDelimiter(const std::string& FileName, TCurveImportDetails* Details) {
  std::string text;
  if (!ReadCurveText(FileName, text, Details)) return DelimiterNone;
  return DetectDelimiterInText(text, Details);
}

void NextField(std::string_view Line, std::size_t& Position, std::string_view Separators, std::string& Field) {
  const std::size_t start = Position == 0 ? 0 : Position - 1;
  if (start >= Line.size()) {
    Field.clear();
    return;
  }
  std::size_t i = start;
  while (i < Line.size() && Separators.find(Line[i]) == std::string_view::npos) ++i;
  Field.assign(Line.substr(start, i - start));
  Position = i + 2;  // one past the character that stopped the field (positions count from 1)
}

std::string NormalizeNumberText(std::string_view Text, int Decimals, const TNumberFormat& UserFormat) {
  // The user's separator, a decimal comma or a decimal point: whichever the text is written with.
  const std::optional<double> value = TNumberFormat::ParseFloatEitherSeparator(Text);
  if (!value || !std::isfinite(*value)) return "ERROR";
  return FormatFixed(*value, SignificantDigits, Decimals, UserFormat.DecimalSeparator());
}

bool ImportAsciiCurveText(std::string_view FileText, TDatentyp& Curve, char Separator, std::string& HeaderText,
                          TCurveImportDetails* Details, const TNumberFormat& UserFormat) {
  HeaderText.clear();
  Curve.ClearPoints();
  const std::string separatorOnly(1, Separator);
  const std::string separatorOrLineEnd = separatorOnly + "\r\n";
  std::string frequencyField, levelField;

  const auto lines = SplitLines(FileText);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string_view line = DataPart(lines[n]);
    const int lineNumber = static_cast<int>(n) + 1;
    if (line.empty()) {
      HeaderText.assign(lines[n]);
      if (Details) Details->HeaderLines.emplace_back(lineNumber, HeaderText);
      continue;
    }
    std::size_t position = 1;
    NextField(line, position, separatorOnly, frequencyField);
    // Blank- and tab-separated columns are often aligned with several separators in a row.
    if (Separator == ' ' || Separator == '\t') {
      while (position >= 1 && position - 1 < line.size() && line[position - 1] == Separator) ++position;
    }
    NextField(line, position, separatorOrLineEnd, levelField);
    if (levelField.empty()) {
      Fail(Details, lineNumber,
           line.find(Separator) == std::string_view::npos
               ? "no " + SeparatorName(Separator) + " between frequency and level in " + Shown(line)
               : "the level (second field) is empty in " + Shown(line) + "; two separators in a row?");
      return false;
    }
    const std::string x = NormalizeNumberText(frequencyField, 1, UserFormat);
    if (x == "ERROR") {
      Fail(Details, lineNumber, "the frequency " + Shown(frequencyField) + " is not a number");
      return false;
    }
    const std::string y = NormalizeNumberText(levelField, 4, UserFormat);
    if (y == "ERROR") {
      Fail(Details, lineNumber, "the level " + Shown(levelField) + " is not a number");
      return false;
    }
    const std::optional<double> xv = UserFormat.ParseFloat(x);
    const std::optional<double> yv = UserFormat.ParseFloat(y);
    constexpr double FloatMax = std::numeric_limits<float>::max();
    if (!xv || !yv || std::fabs(*xv) > FloatMax || std::fabs(*yv) > FloatMax) {
      Fail(Details, lineNumber, "number out of range in " + Shown(line));
      return false;
    }
    Curve.AddPoint(static_cast<float>(*xv), static_cast<float>(*yv));
    if (Details) Details->PointLines.push_back(lineNumber);
  }
  return true;
}

bool ImportAsciiCurve(const std::string& FileName, TDatentyp& Curve, char Separator, std::string& HeaderText,
                      TCurveImportDetails* Details) {
  HeaderText.clear();
  Curve.ClearPoints();
  std::string text;
  if (!ReadCurveText(FileName, text, Details)) return false;
  return ImportAsciiCurveText(text, Curve, Separator, HeaderText, Details);
}

float InterpolateCurve(const TDatentyp& Curve, double X) {
  const auto& xs = Curve.X();
  const auto& ys = Curve.Y();
  const std::size_t n = std::min(xs.size(), ys.size());
  if (n < 2) return 0.0f;
  std::size_t i = n - 1;
  for (std::size_t k = 1; k < n; ++k) {
    if (static_cast<double>(xs[k]) > X) {
      i = k;
      break;
    }
  }
  const double x1 = xs[i], y1 = ys[i];
  const double x0 = xs[i - 1], y0 = ys[i - 1];
  if (X > x1) return ys[n - 1];  // beyond the last point: its value is held
  if (x1 == x0) return 0.0f;
  // The straight line through both points, taken from the lower one so that a point's own frequency
  // gives exactly its value.
  const double slope = (y1 - y0) / (x1 - x0);
  return static_cast<float>(y0 + slope * (X - x0));
}

bool NormalizeAtReference(TDatentyp& Curve, double ReferenceHz, double Offset) {
  auto& xs = Curve.DatenXYZ[0];
  auto& ys = Curve.DatenXYZ[1];
  const std::size_t n = std::min(xs.size(), ys.size());
  for (std::size_t i = 1; i < n; ++i) {
    if (static_cast<double>(xs[i]) > ReferenceHz) {
      const double shift = static_cast<double>(ys[i - 1]) + Offset;
      for (float& y : ys) y = static_cast<float>(y - shift);
      return true;
    }
  }
  return false;
}

bool WriteCalibrationFile(const std::string& FileName, const TDatentyp& Curve, char Separator, int SampleRate,
                          std::string* Why, const TNumberFormat& UserFormat) {
  const auto& xs = Curve.X();
  const auto& ys = Curve.Y();
  if (xs.size() != ys.size()) {
    if (Why) *Why = "the curve has " + std::to_string(xs.size()) + " frequencies but " + std::to_string(ys.size()) + " levels";
    return false;
  }
  const char sep = UserFormat.DecimalSeparator();
  std::string content = "Vemra " + std::to_string(SampleRate) + "\r\n";
  for (std::size_t i = 0; i < xs.size(); ++i) {
    if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) {
      if (Why) *Why = "point " + std::to_string(i + 1) + " of the curve is not a finite number";
      return false;
    }
    content += FormatFixed(xs[i], SignificantDigits, 4, sep);
    content += Separator;
    content += FormatFixed(ys[i], SignificantDigits, 4, sep);
    content += "\r\n";
  }
  try {
    TAtomicFile::Write(FileName, content);
  } catch (const TAtomicFileError& e) {
    if (Why) *Why = e.what();
    return false;
  }
  return true;
}
