#pragma once

#include <string>

class TASIOHost;

// Index in Host's DriverList of the interface named Name: the one with exactly that name, else the only
// one whose name contains Name (letter case ignored). Throws TCliError when none or several match, or
// when Name is empty.
int FindDevice(const TASIOHost& Host, const std::string& Name);
