#include "GdiText.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "ScopedWin.h"

namespace standin {

namespace {

struct DeleteDcCloser {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
using ScopedDc = fw::ScopedHandleT<HDC, nullptr, DeleteDcCloser>;

// Keeps an object selected into a DC for a scope, so it is deselected
// before the DC or the object is deleted.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ~Selection() {
        if (old_) ::SelectObject(dc_, old_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

std::wstring Widen(const std::string& s) {
    if (s.empty() || s.size() > 0x7FFFFFFF) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

// The device font names movies use stand for the system's usual faces.
std::wstring FaceName(const std::string& name) {
    if (name.empty() || name == "_sans") return L"Arial";
    if (name == "_serif") return L"Times New Roman";
    if (name == "_typewriter") return L"Courier New";
    return Widen(name);
}

}  // namespace

void GdiTextRenderer::draw(const raster::Canvas& canvas, const Request& req) {
    if (!canvas.pixels || req.text.empty() || req.color.a == 0 || !(req.heightPx >= 1)) return;
    // The field in canvas pixels (the box around it when turned).
    const raster::Matrix& m = req.matrix;
    const double xs[2] = {double(req.bounds.xmin), double(req.bounds.xmax)};
    const double ys[2] = {double(req.bounds.ymin), double(req.bounds.ymax)};
    double fx0 = 1e300, fy0 = 1e300, fx1 = -1e300, fy1 = -1e300;
    for (double x : xs) {
        for (double y : ys) {
            double px, py;
            m.apply(x, y, px, py);
            fx0 = std::min(fx0, px);
            fy0 = std::min(fy0, py);
            fx1 = std::max(fx1, px);
            fy1 = std::max(fy1, py);
        }
    }
    if (!(fx1 > fx0 && fy1 > fy0) || fx1 - fx0 > 1e7 || fy1 - fy0 > 1e7) return;
    // Only the part of the field that can be seen gets a bitmap.
    const int x0 = std::max({int(std::floor(std::max(fx0, -1e7))), req.clip.x0, 0});
    const int y0 = std::max({int(std::floor(std::max(fy0, -1e7))), req.clip.y0, 0});
    const int x1 = std::min({int(std::ceil(std::min(fx1, 1e7))), req.clip.x1, canvas.width});
    const int y1 = std::min({int(std::ceil(std::min(fy1, 1e7))), req.clip.y1, canvas.height});
    if (x1 <= x0 || y1 <= y0) return;
    const int w = x1 - x0, h = y1 - y0;

    const std::wstring text = Widen(req.text);
    if (text.empty()) return;

    ScopedDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down, as the canvas
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::ScopedGdiObject dib(::CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return;

    LOGFONTW lf = {};
    lf.lfHeight = -std::max(1, int(std::lround(std::min(req.heightPx, 1e5))));  // em height, as the movie's size
    lf.lfWeight = req.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = req.italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;  // grey coverage, the same in every channel
    const std::wstring face = FaceName(req.fontName);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    fw::ScopedGdiObject font(::CreateFontIndirectW(&lf));
    if (!font) return;

    {
        Selection selBitmap(dc.get(), dib.get());
        Selection selFont(dc.get(), font.get());
        // White on black: any channel is then the text's coverage.
        std::fill_n(static_cast<std::uint32_t*>(bits), std::size_t(w) * std::size_t(h), 0u);
        ::SetBkMode(dc.get(), TRANSPARENT);
        ::SetTextColor(dc.get(), RGB(255, 255, 255));
        // The field's two-pixel gutter (40 twips) scaled with it.
        const double sx = std::sqrt(m.a * m.a + m.b * m.b), sy = std::sqrt(m.c * m.c + m.d * m.d);
        const int gx = int(std::lround(40 * sx)), gy = int(std::lround(40 * sy));
        RECT r = {int(std::lround(fx0)) - x0 + gx, int(std::lround(fy0)) - y0 + gy,
                  int(std::lround(fx1)) - x0 - gx, int(std::lround(fy1)) - y0 - gy};
        UINT format = DT_NOPREFIX | DT_EXPANDTABS;
        format |= req.align == 1 ? DT_RIGHT : (req.align == 2 ? DT_CENTER : DT_LEFT);
        ::DrawTextW(dc.get(), text.c_str(), int(text.size()), &r, format);
        ::GdiFlush();
    }

    // Blend the colour by coverage times its alpha; the canvas is opaque or premultiplied.
    const std::uint32_t cr = req.color.r, cg = req.color.g, cb = req.color.b, ca = req.color.a;
    const auto* src = static_cast<const std::uint32_t*>(bits);
    for (int y = 0; y < h; ++y) {
        std::uint32_t* dst = canvas.row(y0 + y) + x0;
        const std::uint32_t* s = src + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t cov = std::max({(s[x] >> 16) & 255u, (s[x] >> 8) & 255u, s[x] & 255u});
            if (!cov) continue;
            const std::uint32_t k = (cov * ca + 127) / 255, inv = 255 - k;
            const std::uint32_t d = dst[x];
            auto mix = [&](std::uint32_t c, int shift) {
                return ((c * k + ((d >> shift) & 255u) * inv + 127) / 255) << shift;
            };
            dst[x] = mix(255, 24) | mix(cr, 16) | mix(cg, 8) | mix(cb, 0);
        }
    }
}

}  // namespace standin
