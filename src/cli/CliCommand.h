#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
#include <vector>

// A command of vemra-cli registers itself from its own file:
//   static const TCliCommand reg([](CLI::App& app) { auto* cmd = app.add_subcommand(...); ... });
// Its callback throws TCliError for a failure (exit 1, one line on stderr) and TCliUsageError for
// arguments that do not fit together (exit 2).
class TCliError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TCliUsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TCliCommand {
public:
  using TSetup = std::function<void(CLI::App&)>;
  explicit TCliCommand(TSetup Setup) { All().push_back(std::move(Setup)); }
  static std::vector<TSetup>& All() {
    static std::vector<TSetup> setups;
    return setups;
  }
};
