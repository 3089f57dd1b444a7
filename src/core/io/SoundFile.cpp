#include "io/SoundFile.h"

#include "io/AtomicFile.h"

#include <sndfile.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <system_error>

namespace {

std::string Quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::uint32_t LittleEndian32(const char* b) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[3])) << 24;
}

// A RIFF WAVE file whose sample chunk announces more bytes than the file holds lost its end (a copy or
// a recording cut short). The sound library reads such a file up to where it ends without a word, so
// the check is made here. Returns the announced and the present byte counts of the sample chunk when
// it is cut short; sizes of 0 and 0xFFFFFFFF are the placeholders of a writer that never finished its
// header and count as "up to the end".
bool SampleChunkCutShort(const std::filesystem::path& Path, std::uint64_t& Announced, std::uint64_t& Present) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(Path, ec);
  std::ifstream in(Path, std::ios::binary);
  std::array<char, 12> head{};
  if (ec || !in.read(head.data(), head.size()) || std::string_view(head.data(), 4) != "RIFF" ||
      std::string_view(head.data() + 8, 4) != "WAVE")
    return false;
  std::uint64_t pos = 12;
  std::array<char, 8> chunk{};
  while (pos + 8 <= size && in.seekg(static_cast<std::streamoff>(pos)) && in.read(chunk.data(), chunk.size())) {
    const std::uint32_t length = LittleEndian32(chunk.data() + 4);
    if (std::string_view(chunk.data(), 4) == "data") {
      Announced = length;
      Present = size - (pos + 8);
      return length != 0 && length != 0xFFFFFFFFu && Announced > Present;
    }
    pos += 8 + static_cast<std::uint64_t>(length) + (length & 1u);
  }
  return false;
}

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
  std::uint64_t announced = 0, present = 0;
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && SampleChunkCutShort(Path, announced, present)) {
    sf_close(f);
    throw TSoundFileError("cannot read " + Quoted(Path) + ": the file is cut short (" + std::to_string(present) +
                          " of " + std::to_string(announced) + " bytes of samples)");
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
  // A sound file goes into a folder that is there: a mistyped folder name is not created.
  const std::filesystem::path folder = Path.parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    throw TSoundFileError("cannot write " + Quoted(Path) + ": there is no folder " + Quoted(folder));
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
  try {
    TAtomicFile::WriteWith(Path, [&](int Descriptor) -> std::string {
      SF_INFO info{};
      info.samplerate = SampleRate;
      info.channels = 1;
      info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
      SNDFILE* f = sf_open_fd(Descriptor, SFM_WRITE, &info, SF_FALSE);
      if (f == nullptr) return sf_strerror(nullptr);
      const auto frames = static_cast<sf_count_t>(Samples.size());
      const sf_count_t written = sf_writef_float(f, Samples.data(), frames);
      const int closeResult = sf_close(f);
      return written == frames && closeResult == 0 ? std::string() : std::string("disk full or write error");
    });
  } catch (const TAtomicFileError& e) {
    throw TSoundFileError(e.what());
  }
}
