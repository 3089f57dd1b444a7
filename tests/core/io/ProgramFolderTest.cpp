#include "io/ProgramFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  // The test programs are built into bin/ of the build tree.
  EXPECT_EQ(std::filesystem::path(folder).parent_path(), std::filesystem::canonical(VEMRA_BIN_DIR));
  // There is no share/vemra beside build/bin, so resources are read from the program folder.
  EXPECT_EQ(ResourceFolder(), folder);
}

TEST(ProgramFolder, InstalledResourcesComeFromShare) {
  const auto root = std::filesystem::temp_directory_path() /
                    ("vemra-prefix-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(root / "bin");
  std::filesystem::create_directories(root / "opt");
  EXPECT_EQ(ResourceFolderFor(root / "bin"), (root / "bin").string() + "/");  // no share/vemra yet
  std::filesystem::create_directories(root / "share" / "vemra");
  EXPECT_EQ(ResourceFolderFor(root / "bin"), (root / "share" / "vemra").string() + "/");
  EXPECT_EQ(ResourceFolderFor((root / "bin").string() + "/"), (root / "share" / "vemra").string() + "/");
  EXPECT_EQ(ResourceFolderFor(root / "opt"), (root / "opt").string() + "/");  // only an executable in bin/
  std::filesystem::remove_all(root);
}
