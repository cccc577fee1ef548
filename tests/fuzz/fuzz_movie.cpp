// Parser, display list, timelines and drawing over arbitrary bytes: a small canvas,
// a bounded number of ticks, tight size caps so each input stays quick.
#include "SwfPlayer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Stands in for the system's image decoder: any payload becomes a small bitmap
// whose size comes from the data, so the paths that use decoded images run.
class FakeDecoder : public swfmovie::ImageDecoder {
public:
    bool decode(const uint8_t* data, size_t size, raster::Bitmap& out) override {
        if (size < 4 || data[size - 1] == 0) return false;
        out.width = 1 + data[0] % 16;
        out.height = 1 + data[1] % 16;
        out.pixels.assign(size_t(out.width) * size_t(out.height), 0xFF000000u | data[2]);
        out.opaque = true;
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string err;
    (void)swfmovie::ReadMovieInfo(data, size, &err);
    FakeDecoder decoder;
    swfmovie::LoadOptions opt;
    opt.maxUncompressedBytes = size_t(1) << 22;
    opt.maxBitmapPixels = size_t(1) << 16;
    opt.decoder = &decoder;
    auto movie = swfmovie::LoadMovie(data, size, &err, opt);
    if (!movie) return 0;
    swfmovie::Player player(movie);
    raster::Image img(48, 36);
    const raster::IRect vp{0, 0, 48, 36};
    player.render(img.canvas(), vp);
    uint32_t ticks = std::min<uint32_t>(player.totalFrames(), 24) + 4;
    for (uint32_t i = 0; i < ticks; ++i) {
        player.advance();
        if (player.needsRender(vp)) player.render(img.canvas(), vp);
    }
    player.gotoFrame(player.totalFrames() / 2);
    player.render(img.canvas(), {5, 3, 40, 30});
    player.rewind();
    player.render(img.canvas(), vp);
    return 0;
}
