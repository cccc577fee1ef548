// A stand-in for the system's MPR.DLL, placed beside a copy of the saver so
// that the closing road loads it (the bare name is searched in the
// program's folder first). Its password routine records how it was called
// and what it sees of the caller, then keeps its own message loop running for
// a while, as the real routine's dialog does.
#include <windows.h>

#include <cstdio>

namespace {

void Append(const char* text) {
    char path[MAX_PATH];
    if (!::GetEnvironmentVariableA("FAKE_MPR_LOG", path, sizeof path)) return;
    HANDLE f = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD n = 0;
    ::WriteFile(f, text, DWORD(lstrlenA(text)), &n, nullptr);
    ::CloseHandle(f);
}

BOOL CALLBACK FindAppWindow(HWND w, LPARAM out) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(w, &pid);
    char cls[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    if (pid == ::GetCurrentProcessId() && lstrcmpA(cls, "TApplication") == 0) {
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR key, HWND parent, DWORD r1, DWORD r2) {
    // The cursor's display count as the caller left it (0: shown).
    int count = ::ShowCursor(TRUE) - 1;
    ::ShowCursor(FALSE);
    HWND app = nullptr;
    ::EnumWindows(FindAppWindow, reinterpret_cast<LPARAM>(&app));
    char line[256];
    std::snprintf(line, sizeof line, "enter %s %lld %lu %lu cursor=%d appvisible=%d\n", key,
                  static_cast<long long>(reinterpret_cast<INT_PTR>(parent)), r1, r2, count,
                  app ? int(::IsWindowVisible(app) != 0) : -1);
    Append(line);
    // The real routine runs a dialog: messages keep flowing to the caller's
    // windows meanwhile.
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 1500) {
        MSG m;
        while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageA(&m);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    Append("leave\n");
    return 0;
}
