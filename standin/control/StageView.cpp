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

StageView::StageView(HWND parent, const RECT& pos, StageOwner& owner, const PlaceholderFrame& first)
    : owner_(owner), wanted_(first) {
    EnsureClass(&StageView::WndProc);
    hwnd_ = ::CreateWindowExW(0, kStageWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                              pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, ThisModule(), this);
    if (!hwnd_) fw::RaiseLastOSError("CreateWindowEx(stage window)");
    worker_ = std::thread([this] { RenderLoop(); });
    std::lock_guard<std::mutex> lock(mu_);
    RequestLocked();
}

StageView::~StageView() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        quit_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void StageView::Move(const RECT& pos) {
    ::SetWindowPos(hwnd_, nullptr, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void StageView::Present(const PlaceholderFrame& f) {
    std::lock_guard<std::mutex> lock(mu_);
    wanted_ = f;
    RequestLocked();
}

void StageView::ScheduleTimer(long long ms) {
    if (ms < 0) {
        ::KillTimer(hwnd_, kFrameTimer);
        return;
    }
    ::SetTimer(hwnd_, kFrameTimer, UINT(std::clamp<long long>(ms, USER_TIMER_MINIMUM, 0x7FFFFFFF)), nullptr);
}

// Caller holds mu_.
void StageView::RequestLocked() {
    RECT rc = {};
    ::GetClientRect(hwnd_, &rc);
    wantedW_ = rc.right;
    wantedH_ = rc.bottom;
    pending_ = true;
    cv_.notify_one();
}

void StageView::RenderLoop() {
    std::vector<std::uint32_t> back;
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
        cv_.wait(lock, [this] { return quit_ || pending_; });
        if (quit_) return;
        pending_ = false;
        PlaceholderFrame f = wanted_;
        int w = wantedW_, h = wantedH_;
        lock.unlock();
        if (w > 0 && h > 0) {
            back.assign(std::size_t(w) * std::size_t(h), 0);
            Canvas c{back.data(), w, h, w};
            PaintPlaceholder(c, f);
        }
        lock.lock();
        if (w > 0 && h > 0) {
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
        // A picture of the old size is stretched until the new one is ready.
        ::StretchDIBits(dc, 0, 0, rc.right, rc.bottom, 0, 0, frontW_, frontH_, front_.data(), &bi, DIB_RGB_COLORS,
                        SRCCOPY);
    } else {
        std::uint32_t c = wanted_.background;
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
        RequestLocked();
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
