// Where the movie sits inside the control's window, by the stored scale mode.
// Pure code.
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

}  // namespace standin
