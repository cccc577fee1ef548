// Where the movie sits inside the control's window, and the picture drawn
// there while no renderer draws the movie's shapes: the background colour,
// the movie's frame rectangle and a bar showing how far it has played.
// Pure code into a 32-bit top-down buffer (0x00RRGGBB per pixel, the layout
// of a 32-bit DIB), so a renderer can take over the same buffer.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

namespace standin {

enum class ScaleMode { ShowAll, NoBorder, ExactFit, NoScale };

// The scale-mode text of the stored state; unknown texts mean ShowAll.
inline ScaleMode ScaleModeFromText(const std::u16string& t) {
    auto is = [&](const char* name) {
        std::size_t i = 0;
        for (; name[i]; ++i) {
            if (i >= t.size()) return false;
            char16_t c = t[i];
            if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
            char n = name[i];
            if (n >= 'A' && n <= 'Z') n = char(n - 'A' + 'a');
            if (c != char16_t(n)) return false;
        }
        return i == t.size();
    };
    if (is("NoBorder")) return ScaleMode::NoBorder;
    if (is("ExactFit")) return ScaleMode::ExactFit;
    if (is("NoScale")) return ScaleMode::NoScale;
    return ScaleMode::ShowAll;
}

struct StageRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// The movie's rectangle in a stage of stageW x stageH pixels, centred.
inline StageRect FitMovie(ScaleMode mode, int stageW, int stageH, int movieW, int movieH) {
    if (stageW <= 0 || stageH <= 0 || movieW <= 0 || movieH <= 0) return {};
    long long w = movieW, h = movieH;
    switch (mode) {
    case ScaleMode::ExactFit: return {0, 0, stageW, stageH};
    case ScaleMode::NoScale: break;
    case ScaleMode::ShowAll:
    case ScaleMode::NoBorder: {
        // Compare stageW/movieW with stageH/movieH without rounding.
        bool widthBound = (long long)stageW * movieH <= (long long)stageH * movieW;
        if ((mode == ScaleMode::ShowAll) == widthBound) {
            w = stageW;
            h = ((long long)movieH * stageW + movieW / 2) / movieW;
        } else {
            h = stageH;
            w = ((long long)movieW * stageH + movieH / 2) / movieH;
        }
        break;
    }
    }
    StageRect r;
    r.w = int(w);
    r.h = int(h);
    r.x = int((stageW - w) / 2);
    r.y = int((stageH - h) / 2);
    return r;
}

struct Canvas {
    std::uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    int stride = 0;  // pixels per row
};

struct PlaceholderFrame {
    std::uint32_t background = 0;  // 0xRRGGBB
    bool hasMovie = false;
    int movieW = 0, movieH = 0;
    ScaleMode scale = ScaleMode::ShowAll;
    int frame = 0;
    int totalFrames = 0;
};

// Colours drawn over the background; the outline is chosen to stand out
// from it.
constexpr std::uint32_t kProgressColor = 0x3399FF;
inline std::uint32_t OutlineColorFor(std::uint32_t bg) {
    unsigned r = bg >> 16 & 0xFF, g = bg >> 8 & 0xFF, b = bg & 0xFF;
    return (r * 299 + g * 587 + b * 114) / 1000 < 128 ? 0xC0C0C0 : 0x404040;
}
inline int OutlineWidth(const StageRect& r) { return std::clamp(std::min(r.w, r.h) / 100, 1, 4); }
inline int ProgressHeight(const StageRect& r) { return std::clamp(r.h / 40, 3, 16); }
// The bar's filled width after `frame` (0-based) of `total`.
inline int ProgressWidth(const StageRect& r, int frame, int total) {
    if (total <= 0) return 0;
    long long f = std::clamp(frame + 1, 0, total);
    return int((long long)r.w * f / total);
}

inline void FillRect(Canvas& c, int x, int y, int w, int h, std::uint32_t color) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = int(std::min<long long>((long long)x + w, c.width));
    int y1 = int(std::min<long long>((long long)y + h, c.height));
    if (x1 <= x0) return;
    for (int yy = y0; yy < y1; ++yy) std::fill(c.pixels + (long long)yy * c.stride + x0, c.pixels + (long long)yy * c.stride + x1, color);
}

inline void PaintPlaceholder(Canvas& c, const PlaceholderFrame& f) {
    FillRect(c, 0, 0, c.width, c.height, f.background & 0xFFFFFF);
    if (!f.hasMovie) return;
    StageRect r = FitMovie(f.scale, c.width, c.height, f.movieW, f.movieH);
    if (r.w <= 0 || r.h <= 0) return;
    std::uint32_t line = OutlineColorFor(f.background);
    int t = OutlineWidth(r);
    FillRect(c, r.x, r.y, r.w, t, line);
    FillRect(c, r.x, r.y + r.h - t, r.w, t, line);
    FillRect(c, r.x, r.y, t, r.h, line);
    FillRect(c, r.x + r.w - t, r.y, t, r.h, line);
    // The bar runs inside the outline, along the bottom.
    StageRect inner{r.x + t, r.y + t, r.w - 2 * t, r.h - 2 * t};
    if (inner.w <= 0 || inner.h <= 0) return;
    int bh = std::min(ProgressHeight(r), inner.h);
    FillRect(c, inner.x, inner.y + inner.h - bh, ProgressWidth(inner, f.frame, f.totalFrames), bh, kProgressColor);
}

}  // namespace standin
