#include "calibration/MicSystemStatus.h"

#include <filesystem>
#include <system_error>

TMicSystemStatus MicSystemStatus(int32_t MikKorrType, bool SysCalAktiv, const std::string& CalibrationFileName) {
  TMicSystemStatus status;
  std::error_code ec;
  const bool systemOn = SysCalAktiv && !CalibrationFileName.empty() &&
                        std::filesystem::is_regular_file(CalibrationFileName, ec);
  status.SystemText = systemOn ? "System On" : "System Off";
  status.MicText = MikKorrType == 1 ? "Mic. 0°" : MikKorrType == 2 ? "Mic. >0°" : "Mic. Off";
  return status;
}
