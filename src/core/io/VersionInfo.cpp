#include "io/VersionInfo.h"

#include "vemra_version.h"

std::string FormatVersionText(const std::optional<TFileVersion>& Version) {
  if (!Version) return "NoVersionInfo";
  std::string text = std::to_string(Version->Major) + "." + std::to_string(Version->Minor) + "." +
                     std::to_string(Version->Release) + "." + std::to_string(Version->Build);
  if (Version->Flags & kVersionFlagDebug) text += " debug";
  if (Version->Flags & kVersionFlagBeta) text += " beta";
  if (Version->Flags & kVersionFlagPrivate) text += " private";
  if (Version->Flags & kVersionFlagSpecial) text += " special";
  return text;
}

TFileVersion CompiledVersion() {
  TFileVersion v;
  v.Major = VEMRA_VERSION_MAJOR;
  v.Minor = VEMRA_VERSION_MINOR;
  v.Release = VEMRA_VERSION_PATCH;
#ifndef NDEBUG
  v.Flags |= kVersionFlagDebug;
#endif
  return v;
}

std::string GetVersionText() { return FormatVersionText(CompiledVersion()); }

std::string InfoText() { return "Vemra Vers: " + GetVersionText(); }
