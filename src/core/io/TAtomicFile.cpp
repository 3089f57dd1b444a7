#include "io/TAtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string Reason(int Err) { return std::strerror(Err); }

}  // namespace

void TAtomicFile::Write(const std::filesystem::path& Path, std::string_view Bytes) {
  std::filesystem::path temp = Path;
  temp += ".part";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw TAtomicFileError("Cannot write " + Path.string() + ": " + Reason(errno));

  auto fail = [&](int Err) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw TAtomicFileError("Cannot write " + Path.string() + ": " + Reason(Err));
  };
  std::size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = ::write(fd, Bytes.data() + done, Bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw TAtomicFileError("Cannot write " + Path.string() + ": " + Reason(err));
  }
  if (::rename(temp.c_str(), Path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw TAtomicFileError("Cannot write " + Path.string() + ": " + Reason(err));
  }
}
