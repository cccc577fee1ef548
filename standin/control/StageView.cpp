#include "StageView.h"

#include <algorithm>
#include <utility>

#include "Error.h"
#include "Standin.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace standin {
namespace {

constexpr UINT kMsgPictureReady = WM_APP + 1;
constexpr UINT_PTR kFrameTimer = 1;

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

ATOM g_class = 0;

void EnsureClass(WNDPROC proc) {
    if (g_class) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // No brush: the window paints every pixel itself, so nothing light shows
    // before the first picture.
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kStageWindowClass;
    g_class = ::RegisterClassExW(&wc);
    if (!g_class) fw::RaiseLastOSError("RegisterClassEx(stage window)");
}

}  // namespace

void ReleaseModuleResources() {
    if (g_class && ::UnregisterClassW(kStageWindowClass, ThisModule())) g_class = 0;
}

StageView::StageView(HWND parent, const RECT& pos, StageOwner& owner, StagePicture& picture, const StageLook& look)
    : owner_(owner), picture_(picture), look_(look) {
    EnsureClass(&StageView::WndProc);
    hwnd_ = ::CreateWindowExW(0, kStageWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, ThisModule(), this);
    if (!hwnd_) fw::RaiseLastOSError("CreateWindowEx(stage window)");
    RECT rc = {};
    ::GetClientRect(hwnd_, &rc);
    wantedW_ = rc.right;
    wantedH_ = rc.bottom;
    // The buffers are new, whatever the picture drew for an earlier window.
    picture_.Invalidate();
    wake_ = true;
    try {
        worker_ = std::thread([this] { RenderLoop(); });
    } catch (...) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        throw;
    }
}

StageView::~StageView() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        quit_ = true;
    }
    cv_.notify_all();
    // The host is closing: a slow picture is not waited for.
    picture_.Abort();
    if (worker_.joinable()) worker_.join();
    picture_.Resume();
    picture_.Run(pending_);
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void StageView::Move(const RECT& pos) {
    ::SetWindowPos(hwnd_, nullptr, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void StageView::Post(const StageScript& script, bool pictureChanged) {
    if (script.Empty() && !pictureChanged) return;
    std::lock_guard<std::mutex> lock(mu_);
    pending_.Append(script);
    if (pictureChanged) WakeLocked();
}

void StageView::SetLook(const StageLook& look) {
    std::lock_guard<std::mutex> lock(mu_);
    if (look_ == look) return;
    look_ = look;
    WakeLocked();
}

void StageView::ScheduleTimer(long long ms) {
    if (ms < 0) {
        ::KillTimer(hwnd_, kFrameTimer);
        return;
    }
    ::SetTimer(hwnd_, kFrameTimer, UINT(std::clamp<long long>(ms, USER_TIMER_MINIMUM, 0x7FFFFFFF)), nullptr);
}

// Caller holds mu_.
void StageView::WakeLocked() {
    wake_ = true;
    cv_.notify_one();
}

void StageView::RenderLoop() {
    std::vector<std::uint32_t> back;
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || wake_; });
        if (quit_) return;
        wake_ = false;
        // Everything that piled up while the last picture was drawn is run at
        // once and only its end is drawn: late pictures are dropped.
        StageScript script = std::exchange(pending_, StageScript{});
        const StageLook look = look_;
        const int w = wantedW_, h = wantedH_;
        lock.unlock();
        picture_.Run(script);
        bool drawn = false;
        if (w > 0 && h > 0) {
            back.resize(std::size_t(w) * std::size_t(h));
            drawn = picture_.Draw(raster::Canvas{back.data(), w, h, w}, look);
        }
        lock.lock();
        if (drawn) {
            std::swap(front_, back);
            frontW_ = w;
            frontH_ = h;
            // The window outlives this thread: the destructor joins first.
            ::PostMessageW(hwnd_, kMsgPictureReady, 0, 0);
        }
    }
}

void StageView::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd_, &ps);
    RECT rc;
    ::GetClientRect(hwnd_, &rc);
    std::lock_guard<std::mutex> lock(mu_);
    if (frontW_ > 0 && frontH_ > 0) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = frontW_;
        bi.bmiHeader.biHeight = -frontH_;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        if (frontW_ == rc.right && frontH_ == rc.bottom) {
            ::SetDIBitsToDevice(dc, 0, 0, DWORD(frontW_), DWORD(frontH_), 0, 0, 0, UINT(frontH_), front_.data(), &bi,
                                DIB_RGB_COLORS);
        } else {
            // A picture of the old size is stretched until the new one is ready.
            ::StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, frontW_, frontH_, front_.data(), &bi,
                            DIB_RGB_COLORS, SRCCOPY);
        }
    } else {
        // Nothing drawn yet: the background colour, black until one is set.
        std::uint32_t c = look_.background.value_or(0);
        HBRUSH b = ::CreateSolidBrush(RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF));
        ::FillRect(dc, &rc, b);
        ::DeleteObject(b);
    }
    ::EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK StageView::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<StageView*>(cs->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<StageView*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT StageView::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_SIZE: {
        std::lock_guard<std::mutex> lock(mu_);
        wantedW_ = LOWORD(lp);
        wantedH_ = HIWORD(lp);
        WakeLocked();
        return 0;
    }
    case kMsgPictureReady:
        ::InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (wp == kFrameTimer) {
            ::KillTimer(hwnd_, kFrameTimer);  // one-shot: the owner re-arms it
            owner_.OnStageTimer();
            return 0;
        }
        break;
    }
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace standin
