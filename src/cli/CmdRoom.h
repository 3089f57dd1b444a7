#pragma once

#include "CliCommand.h"

// The subcommands of "vemra-cli room" register themselves from their own files the same way top-level
// commands do; CmdRoom.cpp creates "room" and hands it to each of them.
using TRoomSubcommand = TCliRegistry<struct TRoomSubcommands>;
