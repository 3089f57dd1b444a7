#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
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

// The set-up functions of one level of commands, each added by a static object in its own file; TTag
// keeps the levels apart (the top level here, the subcommands of "room" in CmdRoom.h).
template <class TTag>
class TCliRegistry {
public:
  using TSetup = std::function<void(CLI::App&)>;
  explicit TCliRegistry(TSetup Setup) { All().push_back(std::move(Setup)); }
  static std::vector<TSetup>& All() {
    static std::vector<TSetup> setups;
    return setups;
  }
};

using TCliCommand = TCliRegistry<struct TTopLevelCommands>;

// Validators for numeric options that say what is wrong in the user's words ("--seconds: nan is not a
// number", "--block: 0 is outside 16 ... 16384"). NaN and infinities are refused, which CLI::Range lets
// through.
inline std::string CliNumberText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// A finite number from Min to Max.
inline CLI::Validator NumberIn(double Min, double Max) {
  return CLI::Validator(
      [Min, Max](std::string& Text) -> std::string {
        double v = 0;
        if (!CLI::detail::lexical_cast(Text, v) || !std::isfinite(v)) return Text + " is not a number";
        if (v < Min || v > Max) return Text + " is outside " + CliNumberText(Min) + " ... " + CliNumberText(Max);
        return {};
      },
      "NUMBER in " + CliNumberText(Min) + " ... " + CliNumberText(Max));
}

// A whole number from Min to Max.
inline CLI::Validator WholeNumberIn(long long Min, long long Max) {
  return CLI::Validator(
      [Min, Max](std::string& Text) -> std::string {
        long long v = 0;
        if (!CLI::detail::lexical_cast(Text, v)) return Text + " is not a whole number";
        if (v < Min || v > Max) return Text + " is outside " + std::to_string(Min) + " ... " + std::to_string(Max);
        return {};
      },
      "WHOLE NUMBER in " + std::to_string(Min) + " ... " + std::to_string(Max));
}
