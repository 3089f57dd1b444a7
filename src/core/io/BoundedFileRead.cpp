#include "io/BoundedFileRead.h"

#include <cerrno>
#include <fstream>
#include <system_error>

TBoundedRead ReadBoundedFile(const std::filesystem::path& Path, std::uintmax_t MaxBytes) {
  TBoundedRead result;
  auto fail = [&](TBoundedReadStatus Status, int Error = 0) {
    result.Status = Status;
    result.Error = Error;
    result.Bytes.clear();
    return result;
  };
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(Path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return fail(TBoundedReadStatus::NotFound);
  if (ec) return fail(TBoundedReadStatus::CannotOpen, ec.value());  // e.g. a folder on the way not readable
  if (std::filesystem::is_directory(status)) return fail(TBoundedReadStatus::Folder);
  if (!std::filesystem::is_regular_file(status)) return fail(TBoundedReadStatus::NotRegular);

  std::ifstream in(Path, std::ios::binary);
  if (!in) return fail(TBoundedReadStatus::CannotOpen, errno);
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    result.Bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (result.Bytes.size() > MaxBytes) return fail(TBoundedReadStatus::TooLarge);
  }
  if (in.bad()) return fail(TBoundedReadStatus::ReadError, errno);
  return result;
}
