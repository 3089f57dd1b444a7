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

  // Reads the whole file. Throws when the file is missing, unreadable, not a sound file, or a WAV file
  // whose samples end before the length its header announces.
  static TSoundFile Read(const std::filesystem::path& Path);

  // Writes one channel as a 32-bit float WAV. The file appears complete or not at all: the samples go
  // to a temporary file beside it that is renamed over the target only when everything is written.
  // A symbolic link is written through (the file it points to is replaced, the link stays); a target
  // that exists and is no regular file (a device, a folder, a pipe) is refused, as are a folder that
  // is not there and more samples than a WAV file can hold.
  static void WriteMonoFloatWav(const std::filesystem::path& Path, std::span<const float> Samples, int SampleRate);
  // The target check of WriteMonoFloatWav alone, for callers that want to fail before computing the samples.
  static void CheckWriteTarget(const std::filesystem::path& Path);

  // The most 32-bit samples a WAV file holds (its sizes are 32-bit byte counts; room left for the header).
  static constexpr std::size_t MaxWavSamples = (0xFFFFFFFFull - 4096) / 4;
};
