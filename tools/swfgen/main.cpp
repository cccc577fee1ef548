// swfgen: writes the project's own SWF movies.
//
//   swfgen demo [--compress] OUT.swf
//       the demo: five seconds of vector animation at 30 fps on an 800 x 450 stage
//       (moving and rotating shapes, gradients, translucent bubbles, a nested sprite)
//   swfgen blank --width W --height H --fps F --frames N [--compress] [--bg RRGGBB] OUT.swf
//       an empty movie of that frame size (pixels), rate and frame count
//   swfgen heavy [--shapes N] [--compress] OUT.swf
//       one frame of N (default 400) overlapping curved shapes, for timing the renderer
//   swfgen features [--compress] OUT.swf
//       ten frames using bitmaps, text, masks, a morph, blend modes and frame actions
//
// Exit status 0 on success, 2 on bad arguments, 1 when the file cannot be written.
#include "SwfWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: swfgen demo [--compress] OUT.swf\n"
                 "       swfgen blank --width W --height H --fps F --frames N [--compress] [--bg RRGGBB] OUT.swf\n"
                 "       swfgen heavy [--shapes N] [--compress] OUT.swf\n"
                 "       swfgen features [--compress] OUT.swf\n");
    return 2;
}

bool ParseNumber(const char* s, double lo, double hi, double& out) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (!end || *end || end == s || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    std::string cmd = argv[1];
    bool compress = false;
    double width = 550, height = 400, fps = 24, frames = 1, shapes = 400;
    unsigned long bg = 0xFFFFFF;
    std::string out;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](double lo, double hi, double& v) {
            return i + 1 < argc && ParseNumber(argv[++i], lo, hi, v);
        };
        if (a == "--compress") compress = true;
        else if (a == "--width") { if (!value(1, 6553, width)) return Usage(); }
        else if (a == "--height") { if (!value(1, 6553, height)) return Usage(); }
        else if (a == "--fps") { if (!value(0.01, 255, fps)) return Usage(); }
        else if (a == "--frames") { if (!value(0, 65535, frames)) return Usage(); }
        else if (a == "--shapes") { if (!value(1, 65000, shapes)) return Usage(); }
        else if (a == "--bg") {
            if (i + 1 >= argc) return Usage();
            char* end = nullptr;
            bg = std::strtoul(argv[++i], &end, 16);
            if (!end || *end || bg > 0xFFFFFF) return Usage();
        } else if (!a.empty() && a[0] == '-') return Usage();
        else if (out.empty()) out = a;
        else return Usage();
    }
    if (out.empty()) return Usage();
    std::vector<uint8_t> data;
    if (cmd == "demo") {
        data = swfgen::BuildDemo(compress);
    } else if (cmd == "blank") {
        swfgen::Color c{uint8_t(bg >> 16), uint8_t(bg >> 8), uint8_t(bg), 255};
        data = swfgen::BuildBlank(int(width), int(height), fps, int(frames), compress, c);
    } else if (cmd == "features") {
        data = swfgen::BuildFeatures(compress);
    } else if (cmd == "heavy") {
        data = swfgen::BuildHeavy(int(shapes), compress);
    } else {
        return Usage();
    }
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) {
        std::perror(out.c_str());
        return 1;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::perror(out.c_str());
        return 1;
    }
    return 0;
}
