// Shared pieces of the stand-in control's Windows-side tests: the player
// window's stored control state, small movie files, a host window.
#pragma once
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "FormDef.h"
#include "driver.h"

namespace standin_test {

// The repository root, from this file's own path.
inline std::string SourceRoot() {
    std::string f = __FILE__;
    for (int i = 0; i < 3; ++i) f = f.substr(0, f.find_last_of("/\\"));
    return f;
}

// The control's stored state exactly as the player window's form definition
// carries it.
inline std::vector<std::uint8_t> StoredBlock() {
    std::string text = drv::ReadFile(drv::WinPath(SourceRoot() + "/resources/Unit1.dfm"));
    fw::ObjectDef form = fw::ParseFormDef(text);
    const fw::ObjectDef* flash = form.FindObject("ShockwaveFlash1");
    if (!flash || !flash->Binary("ControlData")) throw std::runtime_error("no ControlData in Unit1.dfm");
    return *flash->Binary("ControlData");
}

class BitWriter {
public:
    void Put(std::uint32_t v, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            if (n_ % 8 == 0) bytes.push_back(0);
            if (v >> i & 1) bytes.back() |= std::uint8_t(0x80 >> (n_ % 8));
            ++n_;
        }
    }
    std::vector<std::uint8_t> bytes;

private:
    unsigned n_ = 0;
};

// push_back rather than insert: GCC 12 at -O3 warns falsely on small inserts.
inline void Append(std::vector<std::uint8_t>& v, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) v.push_back(b);
}

// A movie of `frames` empty frames; `sig` 'F' plain, 'C' zlib-compressed.
inline std::vector<std::uint8_t> Movie(char sig, int widthPx, int heightPx, std::uint16_t rate256, int frames) {
    std::vector<std::uint8_t> body;
    BitWriter rect;
    std::uint32_t xmax = std::uint32_t(widthPx * 20), ymax = std::uint32_t(heightPx * 20);
    unsigned bits = 1;
    while ((std::uint32_t(1) << (bits - 1)) <= std::max(xmax, ymax)) ++bits;  // signed fields
    rect.Put(bits, 5);
    rect.Put(0, bits);
    rect.Put(xmax, bits);
    rect.Put(0, bits);
    rect.Put(ymax, bits);
    body = rect.bytes;
    body.push_back(std::uint8_t(rate256));
    body.push_back(std::uint8_t(rate256 >> 8));
    body.push_back(std::uint8_t(frames));
    body.push_back(std::uint8_t(frames >> 8));
    Append(body, {0x43, 0x02, 0, 0, 0});  // SetBackgroundColor black
    for (int i = 0; i < frames; ++i) Append(body, {0x40, 0x00});  // ShowFrame
    Append(body, {0x00, 0x00});  // End
    std::uint32_t total = std::uint32_t(body.size() + 8);
    std::vector<std::uint8_t> file;
    Append(file, {std::uint8_t(sig), 'W', 'S', 10, std::uint8_t(total), std::uint8_t(total >> 8),
                  std::uint8_t(total >> 16), std::uint8_t(total >> 24)});
    if (sig == 'C') {
        uLongf n = compressBound(uLong(body.size()));
        std::vector<std::uint8_t> z(n);
        compress2(z.data(), &n, body.data(), uLong(body.size()), 9);
        z.resize(n);
        body = z;
    }
    for (std::uint8_t b : body) file.push_back(b);
    return file;
}

// Writes `data` to the test's work folder; returns the Windows path.
inline std::string WriteWorkFile(const std::string& name, const std::vector<std::uint8_t>& data) {
    std::string path = drv::WorkDir() + "\\" + name;
    drv::WriteFile(path, data);
    return path;
}

inline std::wstring Wide(const std::string& s) { return drv::Utf8ToWide(s); }

// A black borderless window over the whole screen to host the control.
class HostWindow {
public:
    HostWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "StandinTestHost";
        ::RegisterClassA(&wc);  // again on later windows: already there
        hwnd_ = ::CreateWindowExA(WS_EX_TOPMOST, "StandinTestHost", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  wc.hInstance, nullptr);
        drv::Sleep(50);
    }
    ~HostWindow() { ::DestroyWindow(hwnd_); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

inline RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

inline bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Seconds since an arbitrary start, for timing frames.
inline double Seconds() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart);
}

}  // namespace standin_test
