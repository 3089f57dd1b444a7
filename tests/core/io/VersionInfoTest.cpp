#include "io/VersionInfo.h"

#include "vemra_version.h"

#include <gtest/gtest.h>

TEST(VersionInfo, TextOfNumbersAndFlags) {
  struct Case {
    std::optional<TFileVersion> version;
    const char* text;
  };
  const Case cases[] = {
      {std::nullopt, "NoVersionInfo"},
      {TFileVersion{3, 1, 3, 0, 0}, "3.1.3.0"},
      {TFileVersion{10, 0, 12, 345, 0}, "10.0.12.345"},
      {TFileVersion{3, 1, 3, 0, kVersionFlagBeta}, "3.1.3.0 beta"},
      {TFileVersion{1, 2, 3, 4, 0x3F}, "1.2.3.4 debug beta private special"},  // bits 2 and 4 show nothing
      {TFileVersion{1, 2, 3, 4, kVersionFlagSpecial | kVersionFlagDebug}, "1.2.3.4 debug special"},
      {TFileVersion{0, 0, 0, 0, 1u << 2 | 1u << 4 | 1u << 6}, "0.0.0.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatVersionText(c.version), c.text);
}

TEST(VersionInfo, RunningProgramShowsTheBuiltVersion) {
  std::string expected = std::string(VEMRA_VERSION_STRING) + ".0";
#ifndef NDEBUG
  expected += " debug";
#endif
  EXPECT_EQ(GetVersionText(), expected);
  EXPECT_EQ(InfoText(), "Vemra Vers: " + expected);
}
