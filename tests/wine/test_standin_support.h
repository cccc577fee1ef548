// Shared pieces of the stand-in control's Windows-side tests: the player
// window's stored control state, small movie files, a host window.
#pragma once
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "FormDef.h"
#include "SwfWriter.h"
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

// A movie of `frames` empty frames on black; `sig` 'F' plain, 'C' zlib-compressed.
inline std::vector<std::uint8_t> Movie(char sig, int widthPx, int heightPx, double fps, int frames) {
    return swfgen::BuildBlank(widthPx, heightPx, fps, frames, sig == 'C', swfgen::Color{0, 0, 0, 255});
}

// A 400 x 100 stage on blue with a red 50 x 50 square whose left edge is at
// x = 20 + 30 * frame, top at y 25 (stage pixels); `stopAt` >= 0 puts a
// stop() on that frame.
constexpr int kSquareStageW = 400, kSquareStageH = 100;
inline int SquareLeft(int frame) { return 20 + 30 * frame; }
inline std::vector<std::uint8_t> SquareMovie(int frames, double fps, int stopAt = -1) {
    swfgen::MovieWriter m(kSquareStageW, kSquareStageH, fps, 8);
    m.background(swfgen::Color{0, 0, 255, 255});
    swfgen::ShapeBuilder square;
    square.rect(0, 0, 50 * 20, 50 * 20, square.addSolid(swfgen::Color{255, 0, 0, 255}));
    m.defineShape(1, square, 3);
    for (int i = 0; i < frames; ++i) {
        swfgen::Place p;
        p.depth = 1;
        if (i == 0) p.id = 1;
        p.move = i > 0;
        p.matrix = swfgen::Matrix::Translate(SquareLeft(i) * 20, 25 * 20);
        m.place(p);
        if (i == stopAt) m.doAction(swfgen::act::Stop());
        m.showFrame();
    }
    return m.finish(true);
}

// A 1024 x 768 stage under `shapes` large, half-transparent ellipses, slow
// to draw, with a small square moving across them on every frame so that
// every frame needs a new picture.
inline std::vector<std::uint8_t> HeavyMovie(int shapes, int frames, double fps) {
    swfgen::MovieWriter m(1024, 768, fps, 8);
    m.background(swfgen::Color{255, 255, 255, 255});
    for (int i = 0; i < shapes; ++i) {
        swfgen::ShapeBuilder s;
        const swfgen::Color c{std::uint8_t(i * 37), std::uint8_t(i * 91), std::uint8_t(i * 53), 128};
        s.ellipse((100 + i * 131 % 824) * 20, (80 + i * 71 % 608) * 20, (200 + i * 17 % 150) * 20,
                  (150 + i * 29 % 150) * 20, s.addSolid(c));
        m.defineShape(std::uint16_t(i + 1), s, 3);
        swfgen::Place p;
        p.depth = std::uint16_t(i + 1);
        p.id = std::uint16_t(i + 1);
        m.place(p);
    }
    swfgen::ShapeBuilder square;
    square.rect(0, 0, 40 * 20, 40 * 20, square.addSolid(swfgen::Color{255, 0, 0, 255}));
    const std::uint16_t squareId = std::uint16_t(shapes + 1), squareDepth = std::uint16_t(shapes + 1);
    m.defineShape(squareId, square, 3);
    for (int f = 0; f < frames; ++f) {
        swfgen::Place p;
        p.depth = squareDepth;
        if (f == 0) p.id = squareId;
        p.move = f > 0;
        p.matrix = swfgen::Matrix::Translate((f * 10 % 1000) * 20, 360 * 20);
        m.place(p);
        m.showFrame();
    }
    return m.finish(true);
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
