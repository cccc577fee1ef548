// bench_render: milliseconds per frame of the stand-in renderer at a given size
// (default 1920 x 1080), for the demo movie, the heavy scene and a full-stage bitmap.
//   bench_render [WIDTH HEIGHT [demo|heavy|bitmap]]
// Build it in an optimised build (the host preset is a sanitizer build):
//   cmake -S . -B build/bench-run/host -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench-run/host --target bench_render   (scripts/bench.sh does this)
#include "SwfPlayer.h"
#include "SwfWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

std::shared_ptr<const swfmovie::Movie> Load(const std::vector<uint8_t>& bytes, const char* what) {
    std::string err;
    auto m = swfmovie::LoadMovie(bytes.data(), bytes.size(), &err);
    if (!m) std::fprintf(stderr, "%s: %s\n", what, err.c_str());
    return m;
}

// Each frame is drawn in three passes; the fastest of the three counts, which keeps
// the other core's load on a shared machine out of the figure.
bool Demo(const raster::Canvas& canvas, const raster::IRect& vp) {
    auto movie = Load(swfgen::BuildDemo(true), "demo");
    if (!movie) return false;
    swfmovie::Player player(movie);
    const uint32_t frames = player.totalFrames();
    std::vector<double> best(frames, 1e9);
    for (int pass = 0; pass < 3; ++pass) {
        player.rewind();
        player.play();
        for (uint32_t f = 0; f < frames; ++f) {
            auto t0 = std::chrono::steady_clock::now();
            player.render(canvas, vp);
            best[f] = std::min(best[f], MsSince(t0));
            player.advance();
        }
    }
    double total = 0, worst = 0;
    for (double ms : best) {
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("demo  %dx%d: %.2f ms/frame (mean over %u frames, slowest frame %.2f ms)\n", canvas.width,
                canvas.height, total / frames, frames, worst);
    return true;
}

bool Heavy(const raster::Canvas& canvas, const raster::IRect& vp) {
    const int shapes = 400;
    auto movie = Load(swfgen::BuildHeavy(shapes, false), "heavy");
    if (!movie) return false;
    swfmovie::Player player(movie);
    player.render(canvas, vp);  // warm up
    const int reps = 20;
    double fastest = 1e9, sum = 0;
    for (int i = 0; i < reps; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        player.render(canvas, vp);
        double ms = MsSince(t0);
        fastest = std::min(fastest, ms);
        sum += ms;
    }
    std::printf("heavy %dx%d: %.2f ms/frame (fastest of %d renders, mean %.2f ms; %d curved shapes)\n", canvas.width,
                canvas.height, fastest, reps, sum / reps, shapes);
    return true;
}

// A smoothed bitmap stretched over the whole stage, as photo backgrounds are.
bool Bitmap(const raster::Canvas& canvas, const raster::IRect& vp) {
    const int bw = 400, bh = 225;
    std::vector<uint32_t> argb(size_t(bw) * bh);
    for (size_t i = 0; i < argb.size(); ++i) argb[i] = 0xFF000000u | uint32_t((i * 2654435761u) >> 8);
    swfgen::MovieWriter m(800, 450, 30);
    m.defineBitsLossless2(1, bw, bh, argb);
    swfgen::ShapeBuilder s;
    swfgen::FillSpec f;
    f.kind = swfgen::FillSpec::Bitmap;
    f.bitmapId = 1;
    f.bitmapMatrix = swfgen::Matrix{40, 0, 0, 40, 0, 0};
    f.repeat = false;
    s.rect(0, 0, 800 * 20, 450 * 20, s.addFill(f));
    m.defineShape(2, s, 3);
    swfgen::Place p;
    p.id = 2;
    p.depth = 1;
    m.place(p);
    m.showFrame();
    auto movie = Load(m.finish(false), "bitmap");
    if (!movie) return false;
    swfmovie::Player player(movie);
    double fastest = 1e9;
    for (int i = 0; i < 10; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        player.render(canvas, vp);
        fastest = std::min(fastest, MsSince(t0));
    }
    std::printf("bitmap %dx%d: %.2f ms/frame (fastest of 10 renders; a smoothed bitmap over the whole stage)\n",
                canvas.width, canvas.height, fastest);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int w = 1920, h = 1080;
    std::string only;
    if (argc >= 3) {
        w = std::atoi(argv[1]);
        h = std::atoi(argv[2]);
        if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return 2;
        if (argc >= 4) only = argv[3];
    }
    raster::Image img(w, h);
    raster::IRect vp{0, 0, w, h};
    if ((only.empty() || only == "demo") && !Demo(img.canvas(), vp)) return 1;
    if ((only.empty() || only == "heavy") && !Heavy(img.canvas(), vp)) return 1;
    if ((only.empty() || only == "bitmap") && !Bitmap(img.canvas(), vp)) return 1;
    return 0;
}
