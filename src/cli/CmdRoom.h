#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

// The subcommands of "vemra-cli room" register themselves from their own files the same way top-level
// commands do; CmdRoom.cpp creates "room" and hands it to each of them.
class TRoomSubcommand {
public:
  using TSetup = std::function<void(CLI::App& Room)>;
  explicit TRoomSubcommand(TSetup Setup) { All().push_back(std::move(Setup)); }
  static std::vector<TSetup>& All() {
    static std::vector<TSetup> setups;
    return setups;
  }
};
