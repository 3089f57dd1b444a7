#include "io/SoundFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const fs::path& p, const std::string& b) { std::ofstream(p, std::ios::binary) << b; }

// Offset of the size field of the sample chunk in a WAV file's bytes.
std::size_t DataSizeField(const std::string& b) { return b.find("data") + 4; }

}  // namespace

// A WAV file that lost its end (its header announces more samples than it holds) is refused rather than
// read as a shorter sound; a writer's placeholder size ("up to the end") is read as far as the file goes.
TEST(SoundFile, AFileCutShortIsRefused) {
  const fs::path dir = fs::temp_directory_path() / ("vemra_soundfile_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<float> samples(1000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i) / 1000.0f;
  TSoundFile::WriteMonoFloatWav(dir / "whole.wav", samples, 48000);
  const TSoundFile whole = TSoundFile::Read(dir / "whole.wav");
  EXPECT_EQ(whole.Channels.at(0), samples);

  const std::string bytes = Bytes(dir / "whole.wav");
  Put(dir / "cut.wav", bytes.substr(0, bytes.size() - 400));
  try {
    TSoundFile::Read(dir / "cut.wav");
    ADD_FAILURE() << "a file cut short was read";
  } catch (const TSoundFileError& e) {
    EXPECT_NE(std::string(e.what()).find("cut short (3600 of 4000 bytes of samples)"), std::string::npos) << e.what();
  }

  std::string open = bytes.substr(0, bytes.size() - 400);
  const std::size_t field = DataSizeField(open);
  for (int k = 0; k < 4; ++k) open[field + static_cast<std::size_t>(k)] = '\xFF';
  Put(dir / "open.wav", open);
  const TSoundFile partial = TSoundFile::Read(dir / "open.wav");
  EXPECT_EQ(partial.Frames(), 900u);
  fs::remove_all(dir);
}
