#include "Password.h"

#include <windows.h>

#include "Application.h"
#include "RunModes.h"
#include "StrUtils.h"
#include "UnitGlobal.h"

namespace app {

namespace {
using PwdChangePasswordProc = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
}

void ChangePassword(const std::string& libraryPath, const std::function<std::int32_t()>& parentWindow) {
    HMODULE lib = ::LoadLibraryA(libraryPath.c_str());
    if (!lib) return;
    // Freed on every road, an error from the parent-window lookup included.
    struct Free {
        HMODULE m;
        ~Free() { ::FreeLibrary(m); }
    } freeLib{lib};
    auto proc = reinterpret_cast<PwdChangePasswordProc>(
        reinterpret_cast<void*>(::GetProcAddress(lib, "PwdChangePasswordA")));
    if (!proc) return;
    std::int32_t parent = parentWindow();
    // The handle is a signed 32-bit number; widen with its sign, as handles are.
    proc("SCRSAVE", reinterpret_cast<HWND>(static_cast<INT_PTR>(parent)), 0, 0);
}

void ChangePasswordAtStartup() {
    char dir[260] = {};
    UINT n = ::GetSystemDirectoryA(dir, sizeof dir);
    std::string systemDir = (n > 0 && n < sizeof dir) ? std::string(dir, n) : std::string();
    ChangePassword(PasswordLibraryPath(systemDir), [] { return fw::StrToIntDef(Param2, 0); });
}

void ChangePasswordAtClose() {
    std::string arg = ParamStr(::GetCommandLineA(), 2, fw::AnsiLeadByte);
    std::int32_t parent = fw::StrToIntDef(arg, 0);
    ChangePassword("MPR.DLL", [parent] { return parent; });
}

}  // namespace app
