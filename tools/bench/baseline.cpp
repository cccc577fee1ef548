// bench_baseline: the least a full-screen Windows program does, timed beside
// the saver so that its figures read as multiples of what Wine and the display
// cost anyway.
//   bench_baseline          opens a black full-screen window, paints it and
//                           exits, the window going with the process (start-up
//                           is timed to the end of the process)
//   bench_baseline /wait    the same window, left open until a key or a mouse
//                           move away from the first position seen; then it
//                           closes the window as a program does and exits
#include <windows.h>

#include <cstring>

namespace {

bool g_wait = false;
bool g_havePoint = false;
POINT g_first{};

LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOUSEMOVE: {
        POINT p{short(LOWORD(lp)), short(HIWORD(lp))};
        // The system sends one move of its own when the window appears.
        if (!g_havePoint) {
            g_havePoint = true;
            g_first = p;
        } else if (p.x != g_first.x || p.y != g_first.y) {
            ::DestroyWindow(w);
        }
        return 0;
    }
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
        ::DestroyWindow(w);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdLine, int) {
    g_wait = cmdLine && std::strstr(cmdLine, "/wait") != nullptr;
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.hCursor = nullptr;
    wc.lpszClassName = "BenchBaseline";
    if (!::RegisterClassA(&wc)) return 1;
    HWND w = ::CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP, 0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                               ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, inst, nullptr);
    if (!w) return 1;
    ::ShowWindow(w, SW_SHOW);
    ::UpdateWindow(w);
    ::SetForegroundWindow(w);
    ::SetFocus(w);
    if (!g_wait) {
        // Let the window reach the screen before leaving.
        ::GdiFlush();
        MSG m;
        while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&m);
        return 0;
    }
    MSG m;
    while (::GetMessageA(&m, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&m);
        ::DispatchMessageA(&m);
    }
    return 0;
}
