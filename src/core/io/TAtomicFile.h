#pragma once

#include <filesystem>
#include <stdexcept>
#include <string_view>

class TAtomicFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Writes a whole file so that it appears complete or not at all: the bytes go to a temporary file beside
// the target, are flushed to the disk and only then renamed over it. A failure leaves an existing file
// untouched, removes the temporary file and throws TAtomicFileError naming the file and the reason.
class TAtomicFile {
public:
  static void Write(const std::filesystem::path& Path, std::string_view Bytes);
};
