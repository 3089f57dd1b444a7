#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Reading a whole small file that a person named: a settings file, a language file, a curve file.
// Anything else may stand at that name, so a folder, a pipe or a device is refused before it is
// opened (a pipe would keep the reading waiting, a device might never end), and at most MaxBytes + 1
// bytes are read, so an oversized file is noticed without being held in memory.

enum class TBoundedReadStatus { Ok, NotFound, Folder, NotRegular, CannotOpen, TooLarge, ReadError };

struct TBoundedRead {
  TBoundedReadStatus Status = TBoundedReadStatus::Ok;
  std::string Bytes;  // the whole file when Status is Ok
  int Error = 0;      // the system's error number for CannotOpen and ReadError
};

TBoundedRead ReadBoundedFile(const std::filesystem::path& Path, std::uintmax_t MaxBytes);
