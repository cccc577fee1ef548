// Helpers shared by the host tests of the movie model and its rendering.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SwfPlayer.h"
#include "check.h"

namespace movietest {

// Twips per pixel.
constexpr int32_t kTw = 20;

// The movie from its bytes; a movie that does not load stops the case.
inline std::shared_ptr<const swfmovie::Movie> Load(const std::vector<uint8_t>& bytes) {
    std::string err;
    auto m = swfmovie::LoadMovie(bytes.data(), bytes.size(), &err);
    REQUIRE(m);
    return m;
}

// A rendered picture.
struct Frame {
    raster::Image img;
    uint32_t at(int x, int y) const { return img.at(x, y); }
};

// Whether a pixel is within `tol` of (r, g, b) in every channel.
inline bool Near(uint32_t px, int r, int g, int b, int tol = 3) {
    return std::abs(raster::PixelR(px) - r) <= tol && std::abs(raster::PixelG(px) - g) <= tol &&
           std::abs(raster::PixelB(px) - b) <= tol;
}

// A pixel as "(r,g,b)" for failure messages.
inline std::string Show(uint32_t px) {
    return "(" + std::to_string(raster::PixelR(px)) + "," + std::to_string(raster::PixelG(px)) + "," +
           std::to_string(raster::PixelB(px)) + ")";
}

}  // namespace movietest
