#include "io/SoundFile.h"

#include <sndfile.h>

#include <system_error>

namespace {

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

TSoundFile TSoundFile::Read(const std::filesystem::path& Path) {
  std::error_code ec;
  if (!std::filesystem::exists(Path, ec)) {
    throw TSoundFileError("file not found: " + Quoted(Path));
  }
  if (std::filesystem::is_directory(Path, ec)) {
    throw TSoundFileError("not a sound file (a folder): " + Quoted(Path));
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(Path.c_str(), SFM_READ, &info);
  if (f == nullptr) {
    const int err = sf_error(nullptr);
    if (err == SF_ERR_UNRECOGNISED_FORMAT || err == SF_ERR_MALFORMED_FILE || err == SF_ERR_UNSUPPORTED_ENCODING) {
      throw TSoundFileError("not a sound file: " + Quoted(Path) + " (" + sf_error_number(err) + ")");
    }
    throw TSoundFileError("cannot read " + Quoted(Path) + ": " + sf_strerror(nullptr));
  }
  TSoundFile result;
  result.SampleRate = info.samplerate;
  const auto channels = static_cast<std::size_t>(info.channels);
  std::vector<float> interleaved;
  interleaved.reserve(info.frames > 0 ? static_cast<std::size_t>(info.frames) * channels : 0);
  std::vector<float> chunk(65536 * channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(f, chunk.data(), 65536);
    if (got <= 0) break;
    interleaved.insert(interleaved.end(), chunk.begin(), chunk.begin() + got * static_cast<sf_count_t>(channels));
  }
  const int readError = sf_error(f);
  sf_close(f);
  if (readError != SF_ERR_NO_ERROR) {
    throw TSoundFileError("cannot read " + Quoted(Path) + ": " + sf_error_number(readError));
  }
  const std::size_t frames = interleaved.size() / channels;
  result.Channels.assign(channels, std::vector<float>(frames));
  for (std::size_t i = 0; i < frames; ++i) {
    for (std::size_t c = 0; c < channels; ++c) {
      result.Channels[c][i] = interleaved[i * channels + c];
    }
  }
  return result;
}

void TSoundFile::CheckWriteTarget(const std::filesystem::path& Path) {
  // Renaming the finished file over a device or a folder would replace the device or fail late.
  std::error_code ec;
  const auto status = std::filesystem::status(Path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw TSoundFileError("cannot write " + Quoted(Path) + ": not a regular file");
  }
}

void TSoundFile::WriteMonoFloatWav(const std::filesystem::path& Path, std::span<const float> Samples, int SampleRate) {
  if (SampleRate <= 0) {
    throw TSoundFileError("cannot write " + Quoted(Path) + ": invalid sample rate");
  }
  if (Samples.size() > MaxWavSamples) {
    throw TSoundFileError("cannot write " + Quoted(Path) + ": more samples than a WAV file can hold");
  }
  CheckWriteTarget(Path);
  std::error_code ec;
  std::filesystem::path target = Path;
  if (std::filesystem::is_symlink(Path, ec)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(Path, ec);
    if (!ec) target = resolved;
  }
  std::filesystem::path temp = target;
  temp += ".part";
  SF_INFO info{};
  info.samplerate = SampleRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(temp.c_str(), SFM_WRITE, &info);
  if (f == nullptr) {
    throw TSoundFileError("cannot write " + Quoted(Path) + ": " + sf_strerror(nullptr));
  }
  const auto frames = static_cast<sf_count_t>(Samples.size());
  const sf_count_t written = sf_writef_float(f, Samples.data(), frames);
  const int closeResult = sf_close(f);
  if (written != frames || closeResult != 0) {
    std::filesystem::remove(temp, ec);
    throw TSoundFileError("cannot write " + Quoted(Path) + ": disk full or write error");
  }
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    throw TSoundFileError("cannot write " + Quoted(Path) + ": " + ec.message());
  }
}
