#include "io/AtomicFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AtomicFile : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("vemra-atomic-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  fs::path Dir;
};

}  // namespace

TEST_F(AtomicFile, ReplacesTheContentAndLeavesNoTemporaryFile) {
  const fs::path file = Dir / "a.txt";
  TAtomicFile::Write(file, "first");
  TAtomicFile::Write(file, "second");
  EXPECT_EQ(ReadAll(file), "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator{}), 1);
}

TEST_F(AtomicFile, WritesThroughASymbolicLink) {
  const fs::path real = Dir / "real.txt";
  const fs::path link = Dir / "link.txt";
  TAtomicFile::Write(real, "old");
  fs::create_symlink(real, link);
  TAtomicFile::Write(link, "new");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadAll(real), "new");
}

// A pipe, a device or a folder named as the target is refused and stays what it was.
TEST_F(AtomicFile, RefusesTargetsThatAreNotRegularFiles) {
  const fs::path fifo = Dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(TAtomicFile::Write(fifo, "x"), TAtomicFileError);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_THROW(TAtomicFile::Write(Dir, "x"), TAtomicFileError);
  EXPECT_TRUE(fs::is_directory(Dir));
  try {
    TAtomicFile::Write(fifo, "x");
  } catch (const TAtomicFileError& e) {
    EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator{}), 1);  // no temporary left
}
