// Command-line rules of the main block, as plain functions.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "StrUtils.h"
#include "UnitGlobal.h"

namespace app {

// The run mode for the upper-cased first argument; nullopt: end silently.
std::optional<TRunMode> ClassifyParam(std::string_view param1);

// Argument `index` (1-based) of a command line whose program name comes
// first: blanks (bytes up to the space) separate, double quotes group and are
// removed, a double-byte character is never split. Absent: empty string.
std::string ParamStr(std::string_view commandLine, int index, fw::LeadBytePredicate isLead);

// The password library's full path from the system directory.
std::string PasswordLibraryPath(std::string systemDir);

// The message shown to a second instance (Shift-JIS bytes).
extern const char kSecondInstanceMessage[];
// The name of the mutex every copy of the saver shares.
extern const char kSingleInstanceMutexName[];

}  // namespace app
