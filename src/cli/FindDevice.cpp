#include "FindDevice.h"

#include "CliCommand.h"
#include "audio/TASIOHost.h"

#include <algorithm>
#include <cctype>

int FindDevice(const TASIOHost& Host, const std::string& Name) {
  if (Name.empty()) throw TCliError("no audio interface named (see vemra-cli devices)");
  const auto& list = Host.DriverList();
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == Name) return static_cast<int>(i);
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  int found = -1;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (lower(list[i]).find(lower(Name)) == std::string::npos) continue;
    if (found >= 0) throw TCliError("\"" + Name + "\" matches more than one audio interface (see vemra-cli devices)");
    found = static_cast<int>(i);
  }
  if (found < 0) throw TCliError("no audio interface \"" + Name + "\" (see vemra-cli devices)");
  return found;
}
