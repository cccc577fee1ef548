// The facts the control needs from a movie's header: frame size, frame rate
// and frame count. Pure code over the bytes that follow the 8-byte file
// header (signature, version, length), already inflated for a CWS file.
#pragma once
#include <cstddef>
#include <cstdint>

namespace standin {

struct MovieFacts {
    int width = 0;   // pixels
    int height = 0;
    std::uint32_t rate256 = 0;  // frames per 256 seconds (8.8 fixed point)
    int frameCount = 0;
};

// Bytes after the file header that always hold the frame rectangle, rate and
// count: a rectangle takes at most 17 bytes.
constexpr std::size_t kMovieHeaderBytes = 21;

// Reads the frame rectangle (a bit-packed signed RECT in twips), the rate and
// the count. False when `n` bytes are too few for what the rectangle declares.
inline bool ParseMovieHeader(const std::uint8_t* p, std::size_t n, MovieFacts& out) {
    if (n < 1) return false;
    unsigned bits = p[0] >> 3;
    std::size_t rectBytes = (5 + 4 * bits + 7) / 8;
    if (n < rectBytes + 4) return false;
    std::size_t pos = 5;
    auto field = [&]() {
        std::int64_t v = 0;
        for (unsigned i = 0; i < bits; ++i, ++pos) v = v << 1 | ((p[pos / 8] >> (7 - pos % 8)) & 1);
        if (bits > 0 && (v >> (bits - 1)) & 1) v -= std::int64_t(1) << bits;  // sign
        return v;
    };
    std::int64_t xmin = field(), xmax = field(), ymin = field(), ymax = field();
    auto pixels = [](std::int64_t twips) { return twips > 0 ? int(twips / 20) : 0; };
    out.width = pixels(xmax - xmin);
    out.height = pixels(ymax - ymin);
    const std::uint8_t* q = p + rectBytes;
    out.rate256 = std::uint32_t(q[0] | q[1] << 8);
    out.frameCount = int(q[2] | q[3] << 8);
    return true;
}

}  // namespace standin
