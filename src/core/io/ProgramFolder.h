#pragma once

#include <filesystem>
#include <string>

// The folder of the running executable, ending in "/" (read from /proc/self/exe; the current folder if
// that link cannot be read). Writable files that live beside the program are placed relative to it.
std::string ProgramFolder();

// The folder of the read-only resources (language file, default calibration, report templates), ending
// in "/": "<prefix>/share/vemra/" for an installed program whose executable sits in "<prefix>/bin" and
// whose share folder exists, otherwise the program folder itself (the build tree copies the resources
// into build/bin beside the programs).
std::string ResourceFolder();

// The same decision for a given program folder.
std::string ResourceFolderFor(const std::filesystem::path& ProgramDir);
