// Registry helpers: keys are owned by ScopedKey, failures to read or write a
// value raise fw::Error, and failures to open a key are left to the caller
// (an empty ScopedKey), since callers often treat a missing key as defaults.
#pragma once
#include <windows.h>

#include <string>

#include "ScopedWin.h"

namespace fw {

// Opens `path` below `parent` with `access`; with `create`, makes the missing
// keys of the path first. Empty on failure, with the system's code in *status
// when given.
ScopedKey OpenKey(HKEY parent, const std::string& path, REGSAM access, bool create, LONG* status = nullptr);

// Makes the subkey `name` of `parent` when it is absent (an existing one is
// left as it is). Raises Error when it can be neither created nor opened with
// full access.
void CreateKey(HKEY parent, const std::string& name);

bool ValueExists(HKEY key, const std::string& name);

// Reads a string value: REG_SZ, or REG_EXPAND_SZ taken literally, up to its
// first NUL. Data of size 0 reads as "" whatever its type. Raises Error naming
// the value for any other non-empty type or when the data cannot be read.
std::string ReadStringValue(HKEY key, const std::string& name);

// Writes a REG_SZ value, its terminating NUL counted in the stored size.
void WriteStringValue(HKEY key, const std::string& name, const std::string& value);

// The section/identifier view of a key (a subkey per section, a string value
// per identifier), as the settings store uses it.
//
// The section's string, or `fallback` when the section cannot be opened with
// full access or does not hold the value. Type errors raise as above.
std::string ReadSectionString(HKEY key, const std::string& section, const std::string& ident,
                              const std::string& fallback);
// Creates the section when absent (raising on failure), then writes the value
// (raising on failure). A section that exists but then cannot be opened with
// full access is skipped silently.
void WriteSectionString(HKEY key, const std::string& section, const std::string& ident, const std::string& value);

}  // namespace fw
