#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Three arrays of 32-bit floats: element 0 holds the x values (frequency in Hz), element 1 the y
// values (level or correction in dB); element 2 is carried along for the chart exchange and is not
// touched by the curve operations.
using TDatenArray = std::array<std::vector<float>, 3>;

// One curve: microphone correction, interface calibration, sound profile or a chart series taken
// over. Points keep the order of the file or of the bands; x and y always have the same length.
// A curve can be evaluated once it has two points, and its x values are expected to rise.
struct TDatentyp {
  TDatenArray DatenXYZ;
  std::string sttag;                    // title (the chart series title when taken from a chart)
  std::string stEinheit;                // unit text
  std::int32_t iDatatyp = 0;            // kind
  std::vector<std::string> ChartLabel;

  std::size_t Count() const { return DatenXYZ[0].size(); }
  const std::vector<float>& X() const { return DatenXYZ[0]; }
  const std::vector<float>& Y() const { return DatenXYZ[1]; }

  void AddPoint(float X, float Y) {
    DatenXYZ[0].push_back(X);
    DatenXYZ[1].push_back(Y);
  }

  // Forgets the points (x and y); the title and the other fields stay.
  void ClearPoints() {
    DatenXYZ[0].clear();
    DatenXYZ[1].clear();
  }
};
