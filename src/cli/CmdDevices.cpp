// vemra-cli devices [--json]: every audio interface the program can use, with its channels, the rates
// it offers and its block lengths.
#include "CliCommand.h"

#include "audio/TASIOHost.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace {

struct TDeviceOptions {
  bool Json = false;
};

void RunDevices(const TDeviceOptions& Options) {
  TASIOHost host;
  nlohmann::json list = nlohmann::json::array();
  if (!Options.Json) {
    std::printf("%-3s %-36s %6s %7s  %-34s %s\n", "#", "Interface", "Inputs", "Outputs", "Sample rates (Hz)",
                "Block (preferred, min-max)");
  }
  for (int i = 0; i < static_cast<int>(host.DriverList().size()); ++i) {
    nlohmann::json d;
    d["name"] = host.DriverList()[static_cast<std::size_t>(i)];
    try {
      host.SetDriverIndex(i);
      d["inputs"] = host.InputChannelCount();
      d["outputs"] = host.OutputChannelCount();
      d["sample_rates"] = host.SupportedSampleRates();
      d["buffer_size"] = host.BufferSize();
      d["buffer_min"] = host.BufferMinimum();
      d["buffer_max"] = host.BufferMaximum();
    } catch (const std::exception& e) {
      d["error"] = e.what();
    }
    if (!Options.Json) {
      const std::string name = d["name"];
      if (d.contains("error")) {
        std::printf("%-3d %-36s %s\n", i + 1, name.c_str(), d["error"].get<std::string>().c_str());
      } else {
        std::string rates;
        for (int r : d["sample_rates"]) rates += (rates.empty() ? "" : " ") + std::to_string(r);
        if (rates.empty()) rates = "(none of 44100 ... 192000)";
        std::printf("%-3d %-36s %6d %7d  %-34s %d (%d-%d)\n", i + 1, name.c_str(), d["inputs"].get<int>(),
                    d["outputs"].get<int>(), rates.c_str(), d["buffer_size"].get<int>(), d["buffer_min"].get<int>(),
                    d["buffer_max"].get<int>());
      }
    }
    list.push_back(std::move(d));
  }
  host.SetDriverIndex(-1);
  if (Options.Json) std::cout << nlohmann::json{{"devices", list}}.dump(2) << "\n";
}

const TCliCommand reg([](CLI::App& app) {
  auto options = std::make_shared<TDeviceOptions>();
  auto* cmd = app.add_subcommand("devices", "List the audio interfaces: channels, sample rates, block lengths");
  cmd->add_flag("--json", options->Json, "Print one JSON document");
  cmd->callback([options] { RunDevices(*options); });
});

}  // namespace
