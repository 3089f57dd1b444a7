#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

class TAtomicFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Replacing a file so that it is either the old one or the complete new one, never a truncated mix:
// the content goes to a temporary file in the same folder, is flushed to the disk and then renamed over
// the target. Missing folders are created. A file that existed keeps its permissions; a symbolic link
// keeps pointing to the file it names, which is the one replaced.
class TAtomicFile {
public:
  // Throws TAtomicFileError with a message fit to show the user ("Cannot write "…": No space left on
  // device"); the target is untouched then and no temporary file is left behind.
  static void Write(const std::filesystem::path& FileName, std::string_view Content);
  // The same for content that Fill writes itself into the temporary file, given as an open descriptor
  // (a library that writes a file format through a descriptor). Fill returns an empty text when all is
  // written, otherwise the reason, which fails the write like an error of the disk would.
  static void WriteWith(const std::filesystem::path& FileName, const std::function<std::string(int Descriptor)>& Fill);
};
