#include "io/ini_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(ConfigFolder, OverrideThenExecutableFolderThenXdg) {
  const fs::path temp = fs::temp_directory_path() / ("vemra-cfg-" + std::to_string(::getpid()));
  fs::create_directories(temp);

  setenv("VEMRA_CONFIG_DIR", "/some/where", 1);
  EXPECT_EQ(ConfigFolder(temp), fs::path("/some/where"));
  EXPECT_EQ(IniFileName(), fs::path("/some/where/Vemra.INI"));

  unsetenv("VEMRA_CONFIG_DIR");
  EXPECT_EQ(ConfigFolder(temp), temp);  // a writable program folder keeps its files
  EXPECT_EQ(ConfigFolder(temp.string() + "/"), temp);

  const fs::path missing = temp / "not-there";
  setenv("XDG_CONFIG_HOME", "/xdg/cfg", 1);
  EXPECT_EQ(ConfigFolder(missing), fs::path("/xdg/cfg/vemra"));
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not a valid XDG folder
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(ConfigFolder(missing), fs::path("/home/someone/.config/vemra"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(missing), fs::path("/home/someone/.config/vemra"));
  fs::remove_all(temp);
}

TEST(ConfigFolder, BesideTheProgramInTheBuildTree) {
  unsetenv("VEMRA_CONFIG_DIR");
  EXPECT_TRUE(fs::equivalent(ConfigFolder(), VEMRA_BIN_DIR));
}

TEST(ConfigFolder, RecordCopiesLeaveTheSignalStateAlone) {
  tinidata live;
  live.Pnoise_Testsignal = 3;
  live.RTA_Octave = 4;
  tinidata copy(live);
  EXPECT_EQ(copy.RTA_Octave, 4);
  EXPECT_EQ(copy.Pnoise_Testsignal.load(), 0);
  EXPECT_TRUE(copy == live);  // the stored settings agree

  tinidata fresh;
  live = fresh;  // restoring settings must not stop a running signal
  EXPECT_EQ(live.RTA_Octave, 2);
  EXPECT_EQ(live.Pnoise_Testsignal.load(), 3);
}
