#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The version of a program file: four numbers and flag bits.
struct TFileVersion {
  unsigned Major = 0;
  unsigned Minor = 0;
  unsigned Release = 0;
  unsigned Build = 0;
  std::uint32_t Flags = 0;
};

inline constexpr std::uint32_t kVersionFlagDebug = 1u << 0;
inline constexpr std::uint32_t kVersionFlagBeta = 1u << 1;
inline constexpr std::uint32_t kVersionFlagPrivate = 1u << 3;
inline constexpr std::uint32_t kVersionFlagSpecial = 1u << 5;

// "NoVersionInfo" without a version; otherwise "major.minor.release.build" followed by " debug", " beta",
// " private" and " special" for the flags set, in that order (for example "3.1.3.0 beta").
std::string FormatVersionText(const std::optional<TFileVersion>& Version);

// The version compiled into this program (the build number is 0); a build without NDEBUG carries the
// debug flag.
TFileVersion CompiledVersion();

// The version text of the running program, and the line the "Info" box shows: "Vemra Vers: " + text.
std::string GetVersionText();
std::string InfoText();
