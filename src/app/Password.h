// The one place that calls the system's screen-saver password routine.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace app {

// Loads `libraryPath`, looks up PwdChangePasswordA and, when found, calls it
// with "SCRSAVE", the parent window from `parentWindow` (asked for only then),
// 0, 0; then frees the library. A missing library or routine does nothing.
void ChangePassword(const std::string& libraryPath, const std::function<std::int32_t()>& parentWindow);

// Start-up variant: the library from the system directory, the parent window
// from the upper-cased second argument (0 when it is not a number).
void ChangePasswordAtStartup();

// Closing variant: the bare library name, the parent window from the second
// argument as given (0 when absent or not a number).
void ChangePasswordAtClose();

}  // namespace app
