#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Reading and writing sound files (WAV and whatever else libsndfile knows) as 32-bit float samples,
// full scale = 1.0. Failures throw TSoundFileError with a message fit to show the user.
class TSoundFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TSoundFile {
public:
  int SampleRate = 0;
  std::vector<std::vector<float>> Channels;  // one array per channel, all of the same length

  std::size_t Frames() const { return Channels.empty() ? 0 : Channels.front().size(); }

  // Reads the whole file. Throws when the file is missing, unreadable or not a sound file.
  static TSoundFile Read(const std::filesystem::path& Path);

  // Writes one channel as a 32-bit float WAV. The file appears complete or not at all: the samples go
  // to a temporary file beside it that is renamed over the target only when everything is written.
  static void WriteMonoFloatWav(const std::filesystem::path& Path, std::span<const float> Samples, int SampleRate);
};
