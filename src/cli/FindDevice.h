#pragma once

#include <string>

class TASIOHost;

// Index in Host's DriverList of the interface named Name: the one with exactly that name, else the only
// one whose name contains Name (letter case ignored). Throws TCliError when none or several match, or
// when Name is empty.
int FindDevice(const TASIOHost& Host, const std::string& Name);

// Opens the interface named Name (as FindDevice finds it) at Rate, with BlockSize samples per block when
// BlockSize is above 0, and makes sure it has input Input (counted from 1). Returns how many of its
// inputs the block handler can use. Throws TCliError with the reason when any of it fails.
int OpenDevice(TASIOHost& Host, const std::string& Name, int Rate, int Input, int BlockSize = 0);
