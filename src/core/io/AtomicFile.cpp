#include "io/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::filesystem::path& FileName, const std::string& Reason) {
  throw TAtomicFileError("Cannot write \"" + FileName.string() + "\": " + Reason);
}

// The process's file creation mask, read without changing it (umask() would race with other threads).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
  }
  return 022;
}

bool WriteAll(int Fd, std::string_view Content) {
  const char* p = Content.data();
  std::size_t left = Content.size();
  while (left > 0) {
    const ssize_t n = ::write(Fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void TAtomicFile::Write(const std::filesystem::path& FileName, std::string_view Content) {
  WriteWith(FileName, [Content](int Descriptor) {
    return WriteAll(Descriptor, Content) ? std::string() : std::string(std::strerror(errno));
  });
}

void TAtomicFile::WriteWith(const std::filesystem::path& FileName, const std::function<std::string(int)>& Fill) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Through a symbolic link, the file it names is replaced, not the link.
  fs::path target = FileName;
  if (fs::is_symlink(FileName, ec)) {
    const fs::path resolved = fs::weakly_canonical(FileName, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  fs::create_directories(folder, ec);
  if (ec) Fail(FileName, ec.message());

  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  // Renaming over a device, pipe or socket would replace it by a plain file (as root even /dev/null).
  if (existed && S_ISDIR(old.st_mode)) Fail(FileName, "it is a folder");
  if (existed && !S_ISREG(old.st_mode)) Fail(FileName, "it is not a regular file (a device, pipe or socket)");

  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail(FileName, std::strerror(errno));

  std::string reason;
  try {
    reason = Fill(fd);
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (!reason.empty()) {
    ::close(fd);
    ::unlink(temp.c_str());
    Fail(FileName, reason);
  }
  int err = 0;
  const mode_t mode = existed ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
  if (::fchmod(fd, mode) != 0) err = errno;
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    Fail(FileName, std::strerror(err));
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}
