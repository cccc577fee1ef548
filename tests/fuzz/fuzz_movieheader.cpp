// Header decoding on arbitrary files. The first input byte picks the shape:
// even - the rest is the file as it is; odd - the rest is compressed into a
// "CWS" file, and the second byte, when 64 or more, names a stream byte to flip,
// so that well-formed and damaged zlib streams are both reached quickly.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "Error.h"
#include "MovieHeader.h"

struct Outcome {
    bool decoded = false;  // no error raised
    std::optional<MovieHeader> header;
};

static Outcome DecodeFile(const std::vector<std::uint8_t>& file, std::size_t piece) {
    Outcome out;
    if (file.size() < 25) return out;  // the reader refuses such files before decoding
    std::array<std::uint8_t, 3> signature = {file[0], file[1], file[2]};
    MovieHeader at8;
    std::copy(file.begin() + 8, file.begin() + 25, at8.begin());
    std::size_t pos = 25;
    try {
        auto header = DecodeMovieHeader(signature, at8, [&](std::uint8_t* buffer, std::size_t capacity) {
            std::size_t n = std::min({capacity, piece, file.size() - pos});
            std::copy_n(file.begin() + std::ptrdiff_t(pos), n, buffer);
            pos += n;
            return n;
        });
        out.decoded = true;
        out.header = header;
        if (!header) return out;
        const std::int32_t w = MovieWidth(*header), h = MovieHeight(*header);
        if (w < 0 || h < 0 || w > 107374182 || h > 107374182) std::abort();
        if (RectBits(*header) > 31) std::abort();
    } catch (const fw::Error&) {
        // A damaged compressed header: the reader reports it.
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = 1 + data[1] % 64;
    if (data[0] % 2 == 0) {
        DecodeFile(std::vector<std::uint8_t>(data + 2, data + size), piece);
        return 0;
    }
    std::vector<std::uint8_t> file = {'C', 'W', 'S', 10, 0, 0, 0, 0};
    uLongf bound = compressBound(uLong(size - 2));
    std::vector<std::uint8_t> stream(bound);
    if (compress2(stream.data(), &bound, data + 2, uLong(size - 2), data[0] >> 5) != Z_OK) return 0;
    stream.resize(bound);
    const bool damaged = data[1] >= 64;
    if (damaged) stream[data[1] % stream.size()] ^= std::uint8_t(1u << (data[0] >> 1 & 7));
    file.insert(file.end(), stream.begin(), stream.end());
    Outcome out = DecodeFile(file, piece);
    // An intact stream of at least 17 bytes gives exactly its first 17 bytes.
    if (!damaged && file.size() >= 25 && size - 2 >= kMovieHeaderSize) {
        if (!out.decoded || !out.header || !std::equal(out.header->begin(), out.header->end(), data + 2)) std::abort();
    }
    return 0;
}
