#include "Error.h"

#include <windows.h>

#include <cstdio>

namespace fw {

void RaiseOSError(unsigned long code, const std::string& what) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = what;
    if (n && text) {
        std::string sys(text, n);
        while (!sys.empty() && (sys.back() == '\n' || sys.back() == '\r' || sys.back() == ' ' || sys.back() == '.'))
            sys.pop_back();
        message += ": " + sys;
    } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, ": system error %lu", code);
        message += buf;
    }
    if (text) ::LocalFree(text);
    throw Error(message);
}

void RaiseLastOSError(const std::string& what) { RaiseOSError(::GetLastError(), what); }

void CheckHr(long hr, const char* what) {
    if (hr >= 0) return;
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s failed (HRESULT 0x%08lX)", what, static_cast<unsigned long>(hr));
    throw Error(buf);
}

}  // namespace fw
