// Process-wide state of the run: the mode the command line selected.
#pragma once
#include <cstdint>
#include <string>

enum TRunMode : std::uint8_t { rmPassword = 0, rmPreview = 1, rmConfig = 2, rmSaver = 3 };

// Set once by the main block before any form exists.
extern TRunMode RunMode;
// The first two command-line arguments, upper-cased byte by byte (ASCII rules).
extern std::string Param1;
extern std::string Param2;
