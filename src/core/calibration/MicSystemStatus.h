#pragma once

#include <cstdint>
#include <string>

// The two calibration fields of the main window's status bar.
struct TMicSystemStatus {
  std::string SystemText;  // panel 0: "System On" while the measured interface calibration is in use
  std::string MicText;     // panel 1: "Mic. Off", "Mic. 0°" or "Mic. >0°"

  bool operator==(const TMicSystemStatus&) const = default;
};

// The status for a correction mode (0 off, 1 0°, 2 >0°) and the interface calibration: "System On"
// only when SysCalAktiv is set and the calibration file exists.
TMicSystemStatus MicSystemStatus(int32_t MikKorrType, bool SysCalAktiv, const std::string& CalibrationFileName);
