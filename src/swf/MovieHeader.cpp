#include "MovieHeader.h"

#include <zlib.h>

#include "Error.h"

std::uint8_t RectBits(const MovieHeader& header) { return std::uint8_t(header[0] >> 3); }

bool HeaderBit(const MovieHeader& header, std::uint8_t i) { return (header[i / 8] >> (7 - i % 8)) & 1; }

// The n-bit field that starts at bit `first`, unsigned, divided by 20.
// Positions stay 8-bit: with n <= 31 the last one is 4 * 31 + 4 = 128.
static std::int32_t FieldPixels(const MovieHeader& header, std::uint8_t first) {
    const std::uint8_t n = RectBits(header);
    std::uint32_t v = 0;
    const unsigned end = first + n - 1;  // the field's last bit becomes bit 0
    for (unsigned i = first; i < unsigned(first) + n; ++i)
        if (HeaderBit(header, std::uint8_t(i))) v |= 1u << (end - i);
    return std::int32_t(v / 20);
}

std::int32_t MovieWidth(const MovieHeader& header) {
    const std::uint8_t n = RectBits(header);
    return FieldPixels(header, std::uint8_t(n + 5));
}

std::int32_t MovieHeight(const MovieHeader& header) {
    const std::uint8_t n = RectBits(header);
    return FieldPixels(header, std::uint8_t(3 * n + 5));
}

namespace {

// Ends the inflater on every road.
struct Inflater {
    z_stream z{};
    bool live = false;
    ~Inflater() {
        if (live) inflateEnd(&z);
    }
};

MovieHeader InflateHeader(const MovieHeader& streamStart, const MovieReadMore& readMore) {
    static const char kDamaged[] = "The compressed movie header is damaged";
    Inflater inf;
    if (inflateInit(&inf.z) != Z_OK) throw fw::Error("Cannot start inflating the movie header");
    inf.live = true;

    MovieHeader header{};
    inf.z.next_out = header.data();
    inf.z.avail_out = uInt(header.size());

    // The first piece is the 17 bytes already read; later ones come from the file.
    std::uint8_t more[512];
    inf.z.next_in = const_cast<Bytef*>(streamStart.data());
    inf.z.avail_in = uInt(streamStart.size());
    while (inf.z.avail_out > 0) {
        if (inf.z.avail_in == 0) {
            std::size_t got = readMore(more, sizeof more);
            if (got == 0) throw fw::Error(kDamaged);  // the file ends inside the header
            inf.z.next_in = more;
            inf.z.avail_in = uInt(got);
        }
        int rc = inflate(&inf.z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END && inf.z.avail_out > 0) throw fw::Error(kDamaged);  // stream shorter than the header
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throw fw::Error(kDamaged);
    }
    return header;
}

}  // namespace

std::optional<MovieHeader> DecodeMovieHeader(const std::array<std::uint8_t, 3>& signature, const MovieHeader& atOffset8,
                                             const MovieReadMore& readMore) {
    if (signature[1] == 'W' && signature[2] == 'S') {
        if (signature[0] == 'C') return InflateHeader(atOffset8, readMore);
        if (signature[0] == 'Z') return std::nullopt;
    }
    return atOffset8;
}
