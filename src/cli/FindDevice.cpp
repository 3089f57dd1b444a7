#include "FindDevice.h"

#include "CliCommand.h"
#include "audio/TASIOHost.h"
#include "audio/TAudioDispatcher.h"

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

int OpenDevice(TASIOHost& Host, const std::string& Name, int Rate, int Input, int BlockSize) {
  try {
    Host.SetDriverIndex(FindDevice(Host, Name));
    if (Host.CanSampleRate(Rate) != 0)
      throw TCliError("the audio interface \"" + Host.DriverName() + "\" does not support " + std::to_string(Rate) + " Hz");
    Host.SetSampleRate(Rate);
    if (BlockSize > 0) Host.SetBufferSize(BlockSize);
    Host.OpenDriver();
  } catch (const TASIOHostError& e) {
    throw TCliError(e.what());
  }
  const int inputs = std::min(Host.InputChannelCount(), TAudioDispatcher::MaxInputs);
  if (Input < 1 || Input > inputs)
    throw TCliError("the audio interface \"" + Host.DriverName() + "\" has " + std::to_string(inputs) +
                    " usable inputs; there is no input " + std::to_string(Input));
  return inputs;
}
