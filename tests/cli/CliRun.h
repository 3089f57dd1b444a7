#pragma once

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// The whole file as it is on disk (empty when it cannot be read).
inline std::string ReadFileText(const std::filesystem::path& File) {
  std::ifstream in(File, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs vemra-cli as a user would, through the shell: RunCli("settings show --json", "VEMRA_CONFIG_DIR=/tmp/x").
// Arguments and environment are shell text (quote what needs it).
struct TCliRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
  nlohmann::json Json() const { return nlohmann::json::parse(Out); }
};

inline TCliRun RunCli(const std::string& Args, const std::string& Environment = "") {
  namespace fs = std::filesystem;
  static int counter = 0;
  const fs::path base = fs::temp_directory_path() / ("vemra-cli-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  const std::string command = (Environment.empty() ? "" : "env " + Environment + " ") + "'" + VEMRA_BIN_DIR +
                              "/vemra-cli' " + Args + " >'" + base.string() + ".out' 2>'" + base.string() + ".err'";
  const int status = std::system(command.c_str());
  TCliRun run;
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Out = ReadFileText(base.string() + ".out");
  run.Err = ReadFileText(base.string() + ".err");
  fs::remove(base.string() + ".out");
  fs::remove(base.string() + ".err");
  return run;
}
