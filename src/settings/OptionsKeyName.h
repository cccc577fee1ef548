// Where the settings live: a registry key named after the executable, so that
// copies of the saver under different names keep separate settings.
#pragma once
#include <string>
#include <string_view>

#include "StrUtils.h"

// "Software\qrnsoftware\" plus the executable's base name: the file-name part
// of `exePath` without its last extension. `isLead` tells the double-byte
// characters of the code page, whose second byte never separates.
std::string OptionsKey(std::string_view exePath, fw::LeadBytePredicate isLead);
