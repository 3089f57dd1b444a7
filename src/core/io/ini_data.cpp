#include "io/ini_data.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

tinidata IniData;

namespace {

std::string EnvText(const char* Name) {
  const char* value = std::getenv(Name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

std::filesystem::path ConfigFolder(const std::filesystem::path& ExeFolder) {
  const std::string overridden = EnvText("VEMRA_CONFIG_DIR");
  if (!overridden.empty()) return overridden;
  if (!ExeFolder.empty() && ::access(ExeFolder.c_str(), W_OK | X_OK) == 0) return ExeFolder;
  // Relative XDG paths are not valid and are ignored.
  const std::string xdg = EnvText("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == '/') return std::filesystem::path(xdg) / "vemra";
  std::string home = EnvText("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return std::filesystem::path(home) / ".config" / "vemra";
}

std::filesystem::path IniFileName() { return ConfigFolder() / "Vemra.INI"; }
