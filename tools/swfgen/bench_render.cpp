// bench_render: milliseconds per frame of the stand-in renderer at a given size
// (default 1920 x 1080), for the demo movie and for the heavy scene.
//   bench_render [WIDTH HEIGHT]
// Build it in an optimised build (the host preset is a sanitizer build):
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release && cmake --build build/bench --target bench_render
#include "SwfPlayer.h"
#include "SwfWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    int w = 1920, h = 1080;
    if (argc == 3) {
        w = std::atoi(argv[1]);
        h = std::atoi(argv[2]);
        if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return 2;
    }
    raster::Image img(w, h);
    raster::Canvas canvas = img.canvas();
    raster::IRect vp{0, 0, w, h};
    std::string err;

    // Demo: every frame once, twice over, timing only the drawing.
    auto demoBytes = swfgen::BuildDemo(true);
    auto demo = swfmovie::LoadMovie(demoBytes.data(), demoBytes.size(), &err);
    if (!demo) {
        std::fprintf(stderr, "demo: %s\n", err.c_str());
        return 1;
    }
    swfmovie::Player player(demo);
    double total = 0, worst = 0;
    int frames = 0;
    for (int pass = 0; pass < 2; ++pass) {
        player.rewind();
        player.play();
        for (uint32_t f = 0; f < player.totalFrames(); ++f) {
            auto t0 = std::chrono::steady_clock::now();
            player.render(canvas, vp);
            double ms = MsSince(t0);
            if (pass == 1) {
                total += ms;
                worst = ms > worst ? ms : worst;
                ++frames;
            }
            player.advance();
        }
    }
    std::printf("demo  %dx%d: %.2f ms/frame (mean of %d frames, worst %.2f ms)\n", w, h, total / frames, frames, worst);

    const int shapes = 400;
    auto heavyBytes = swfgen::BuildHeavy(shapes, false);
    auto heavy = swfmovie::LoadMovie(heavyBytes.data(), heavyBytes.size(), &err);
    if (!heavy) {
        std::fprintf(stderr, "heavy: %s\n", err.c_str());
        return 1;
    }
    swfmovie::Player hp(heavy);
    hp.render(canvas, vp);  // warm up
    const int reps = 20;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reps; ++i) hp.render(canvas, vp);
    std::printf("heavy %dx%d: %.2f ms/frame (%d curved shapes, %d renders)\n", w, h, MsSince(t0) / reps, shapes, reps);
    return 0;
}
