#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calibration/TDatentyp.h"
#include "io/NumberFormat.h"

// Text curves: the microphone correction files that makers ship and the interface calibration files
// "Vemra.dlc" / "Vemrad.dlc". A line whose first character is a decimal digit is a data line (frequency
// in Hz, a field separator, level in dB, anything after that is ignored); every other line, the empty
// line included, is a header line. Numbers may be written with a decimal comma or a decimal point.

// Field separator codes as DetectDelimiter reports them.
inline constexpr int DelimiterTab = 9;
inline constexpr int DelimiterBlank = 32;
inline constexpr int DelimiterColon = 58;
inline constexpr int DelimiterSemicolon = 59;
inline constexpr int DelimiterNone = 45;  // no usable separator

// Text files larger than this are not taken as curves (a curve of a million points is about 20 MB).
inline constexpr std::size_t MaxCurveFileBytes = 64u * 1024u * 1024u;

// A field separator as a person reads it: "tab", "blank", or the character in quotes.
std::string SeparatorName(char Separator);

// What an import or a detection saw, for telling the user why a file was refused and for showing it.
struct TCurveImportDetails {
  int ErrorLine = 0;        // line (from 1) that stopped the import; 0 when the file as a whole failed
  std::string ErrorReason;  // empty on success
  std::vector<std::pair<int, std::string>> HeaderLines;  // every header line with its line number
  std::vector<int> PointLines;                            // line number of each point read

  // "line 7: ..." or the reason alone when no line is to blame.
  std::string Message() const;
};

// The whole curve file as UTF-8 text (byte-order marks dropped, Windows-1252 taken for text that is not
// UTF-8). False, with the reason in Details, when it is missing, no regular file, unreadable or larger
// than MaxCurveFileBytes. The functions below that take a file name read it this way.
bool ReadCurveText(const std::string& FileName, std::string& Text, TCurveImportDetails* Details = nullptr);

// The field separator of a curve file: its 3rd line is examined when the file has more than three lines,
// otherwise its 2nd; a blank gives 32, then ";" 59, then ":" 58, then a tab 9, the last match winning.
// DelimiterNone when the file cannot be read or has no such line, or the line holds none of them.
int DetectDelimiter(const std::string& FileName, TCurveImportDetails* Details = nullptr);
int DetectDelimiterInText(std::string_view FileText, TCurveImportDetails* Details = nullptr);

// Fills Curve's x and y from the data lines (the curve's points are replaced) and returns the last
// header line in HeaderText (UTF-8). False when the file cannot be read or a data line is not a
// frequency and a level; the points read before that line stay in the curve. A file without data
// lines imports successfully with no points. Numbers are read in the user's locale, then with a
// decimal comma, then with a decimal point; the frequency is kept to 1 decimal, the level to 4.
bool ImportAsciiCurve(const std::string& FileName, TDatentyp& Curve, char Separator, std::string& HeaderText,
                      TCurveImportDetails* Details = nullptr);
bool ImportAsciiCurveText(std::string_view FileText, TDatentyp& Curve, char Separator, std::string& HeaderText,
                          TCurveImportDetails* Details = nullptr,
                          const TNumberFormat& UserFormat = TNumberFormat::User());

// Field = the characters of Line from Position (counted from 1) up to, not including, the next
// character that is one of Separators or the end of the line; Position moves one past that character.
// A position beyond the end gives an empty field and stays where it is. Nothing is trimmed.
void NextField(std::string_view Line, std::size_t& Position, std::string_view Separators, std::string& Field);

// The number in Text, read in the user's locale, failing that with a decimal comma, failing that with a
// decimal point, re-written in the user's locale as fixed point with Decimals decimals (8 significant
// digits at most); "ERROR" when it is no number in any of the three.
std::string NormalizeNumberText(std::string_view Text, int Decimals,
                                const TNumberFormat& UserFormat = TNumberFormat::User());

// The curve's value at frequency X: linear in frequency between the two points around X, along the
// first segment below the first point, the last value beyond the last point; 0 for a curve of fewer
// than two points and where the two points of the segment share one frequency.
float InterpolateCurve(const TDatentyp& Curve, double X);

// Refers the curve to the point at or below ReferenceHz (the point before the first one above it):
// that point's value plus Offset is subtracted from every y. False, and the curve unchanged, when no
// point after the first lies above the reference.
bool NormalizeAtReference(TDatentyp& Curve, double ReferenceHz, double Offset);

// Writes a calibration file: "Vemra <SampleRate>", then one "frequency<Separator>level" line per point,
// both fixed point with 4 decimals in the user's locale, every line ended by CR LF. The file appears
// complete or not at all (TAtomicFile). False, with the reason in Why, when the file cannot be written
// or the curve holds a value that is no finite number.
bool WriteCalibrationFile(const std::string& FileName, const TDatentyp& Curve, char Separator, int SampleRate,
                          std::string* Why = nullptr, const TNumberFormat& UserFormat = TNumberFormat::User());
