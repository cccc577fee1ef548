// The two settings, stored per user under HKEY_CURRENT_USER\<OptionsKey>\OPTION
// as the strings "Expansion" ("1" or "0") and "FileName".
#pragma once
#include <string>

#include "OptionsKeyName.h"

struct Options {
    bool Expansion = false;  // fill the screen instead of centring the movie at its own size
    std::string FileName;    // full path of the movie
};

// The key of the running executable.
std::string OptionsKey();

// Opens the key with full access, creating it on first use. Missing values
// read as false and "". An "Expansion" that is not integer text counts as 0.
// Raises fw::Error for a value of a non-string type.
Options ReadOptions();

// Writes both values, creating what is missing. Raises fw::Error when the key
// or a value cannot be written; what was written before stays.
void WriteOptions(bool Expansion, const std::string& FileName);
