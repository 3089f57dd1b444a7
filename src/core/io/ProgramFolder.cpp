#include "io/ProgramFolder.h"

#include <system_error>

namespace {

std::string WithSlash(const std::filesystem::path& p) {
  std::string s = p.string();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

}  // namespace

std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.has_parent_path()) return WithSlash(exe.parent_path());
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string("./") : WithSlash(cwd);
}

std::string ResourceFolder() { return ResourceFolderFor(ProgramFolder()); }

std::string ResourceFolderFor(const std::filesystem::path& ProgramDir) {
  std::filesystem::path dir = ProgramDir;
  if (!dir.has_filename()) dir = dir.parent_path();  // "/usr/bin/" -> "/usr/bin"
  if (dir.filename() == "bin") {
    const std::filesystem::path shared = dir.parent_path() / "share" / "vemra";
    std::error_code ec;
    if (std::filesystem::is_directory(shared, ec)) return WithSlash(shared);
  }
  return WithSlash(ProgramDir);
}
