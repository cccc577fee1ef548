// The framework's error type. An Error thrown inside any handler reaches the
// application object, which shows it in the standard error box and goes on.
#pragma once
#include <stdexcept>
#include <string>

namespace fw {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#ifdef _WIN32
// Throws Error("<what>: <system text for code>") for a Win32 error code.
[[noreturn]] void RaiseOSError(unsigned long code, const std::string& what);
// Throws for GetLastError() after a failed call.
[[noreturn]] void RaiseLastOSError(const std::string& what);
// Throws Error("<what> failed (HRESULT 0x........)") when hr is a failure code.
void CheckHr(long hr, const char* what);
#endif

}  // namespace fw
