#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Error.h"
#include "MovieHeader.h"
#include "check.h"

namespace {

// A frame-size rectangle packed the way a movie stores it.
MovieHeader Rect(unsigned n, std::uint32_t xmin, std::uint32_t xmax, std::uint32_t ymin, std::uint32_t ymax) {
    MovieHeader h{};
    unsigned pos = 0;
    auto put = [&](std::uint32_t value, unsigned bits) {
        for (unsigned b = bits; b-- > 0; ++pos)
            if ((value >> b) & 1) h[pos / 8] |= std::uint8_t(0x80 >> (pos % 8));
    };
    put(n, 5);
    for (std::uint32_t v : {xmin, xmax, ymin, ymax}) put(v, n);
    return h;
}

MovieHeader Bytes(std::initializer_list<std::uint8_t> first) {
    MovieHeader h{};
    std::size_t i = 0;
    for (std::uint8_t b : first) h[i++] = b;
    return h;
}

}  // namespace

TEST_CASE(frame_size_examples) {
    struct Row { const char* name; MovieHeader header; std::int32_t width, height; };
    const Row rows[] = {
        {"550x400", Bytes({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}), 550, 400},
        {"x minimum 1", Bytes({0x78, 0x00, 0x15, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}), 550, 400},
        {"n = 0, other bits set", Bytes({0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0, 0},
        {"n = 31, x maximum all ones", Rect(31, 0, 0x7FFFFFFF, 0, 0), 107374182, 0},
        {"n = 31, y maximum all ones", Rect(31, 0, 0, 0, 0x7FFFFFFF), 0, 107374182},
        {"11010 twips", Rect(15, 0, 11010, 0, 8019), 550, 400},
        // A field whose top bit is set is taken unsigned, and the minima never count.
        {"top bit set", Rect(16, 0xFFFF, 0xFFFF, 0x8000, 0x8000 + 19), 3276, 1639},
    };
    for (const Row& r : rows) {
        CHECK_EQ_AT(r.name, MovieWidth(r.header), r.width);
        CHECK_EQ_AT(r.name, MovieHeight(r.header), r.height);
    }
    CHECK(Rect(15, 0, 11000, 0, 8000) == rows[0].header);
}

TEST_CASE(bits_count_from_the_top_of_the_first_byte) {
    MovieHeader h{};
    h[0] = 0xF8;
    h[16] = 0x01;
    CHECK_EQ(RectBits(h), 31);
    CHECK(HeaderBit(h, 0));
    CHECK(HeaderBit(h, 4));
    CHECK(!HeaderBit(h, 5));
    CHECK(HeaderBit(h, 135));
    CHECK(!HeaderBit(h, 134));
}

namespace {

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(uLong(data.size()));
    std::vector<std::uint8_t> out(size);
    REQUIRE(compress2(out.data(), &size, data.data(), uLong(data.size()), 9) == Z_OK);
    out.resize(size);
    return out;
}

// Bytes no compressor can shrink much.
std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1664525u + 1013904223u;
        b = std::uint8_t(seed >> 24);
    }
    return v;
}

std::vector<std::uint8_t> MovieFile(const char* signature, const std::vector<std::uint8_t>& afterOffset8) {
    std::vector<std::uint8_t> file = {std::uint8_t(signature[0]), std::uint8_t(signature[1]),
                                      std::uint8_t(signature[2]), 10, 0, 0, 0, 0};
    file.insert(file.end(), afterOffset8.begin(), afterOffset8.end());
    return file;
}

std::vector<std::uint8_t> CompressedMovie(const MovieHeader& rect, std::size_t bodySize) {
    std::vector<std::uint8_t> body(rect.begin(), rect.end());
    auto noise = Noise(bodySize, 7);
    body.insert(body.end(), noise.begin(), noise.end());
    return MovieFile("CWS", Deflate(body));
}

struct Decoded {
    std::optional<MovieHeader> header;
    std::size_t pulled = 0;  // bytes taken from the file after offset 25
};

// Decodes an in-memory file the way the reader takes it from disk: the
// signature, the 17 bytes at offset 8, then the rest in pieces of `piece` bytes.
Decoded Decode(const std::vector<std::uint8_t>& file, std::size_t piece = 4096) {
    REQUIRE(file.size() >= 25);
    std::array<std::uint8_t, 3> signature = {file[0], file[1], file[2]};
    MovieHeader at8;
    std::copy(file.begin() + 8, file.begin() + 25, at8.begin());
    Decoded d;
    d.header = DecodeMovieHeader(signature, at8, [&](std::uint8_t* buffer, std::size_t capacity) {
        std::size_t n = std::min({capacity, piece, file.size() - 25 - d.pulled});
        std::copy_n(file.begin() + std::ptrdiff_t(25 + d.pulled), n, buffer);
        d.pulled += n;
        return n;
    });
    return d;
}

const MovieHeader k550x400 = Rect(15, 0, 11000, 0, 8000);

}  // namespace

TEST_CASE(uncompressed_and_unknown_signatures_take_the_bytes_as_they_are) {
    for (const char* sig : {"FWS", "cws", "CWs", "zws", "\0\0\0", "XYZ"}) {
        std::vector<std::uint8_t> rest(k550x400.begin(), k550x400.end());
        rest.resize(200, 0xAB);
        Decoded d = Decode(MovieFile(sig, rest));
        REQUIRE(d.header.has_value());
        CHECK_EQ_AT(sig, *d.header == k550x400, true);
        CHECK_EQ_AT(sig, d.pulled, std::size_t(0));
    }
}

TEST_CASE(compressed_movie_gives_the_inflated_rectangle) {
    for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(4096)}) {
        Decoded d = Decode(CompressedMovie(k550x400, 5000), piece);
        REQUIRE(d.header.has_value());
        CHECK_EQ(MovieWidth(*d.header), 550);
        CHECK_EQ(MovieHeight(*d.header), 400);
    }
}

TEST_CASE(compressed_movie_is_inflated_only_as_far_as_the_header) {
    std::vector<std::uint8_t> file = CompressedMovie(k550x400, 200000);
    REQUIRE(file.size() > 200000);
    Decoded d = Decode(file, 64);
    REQUIRE(d.header.has_value());
    CHECK(*d.header == k550x400);
    CHECK(d.pulled <= 1024);
}

TEST_CASE(header_of_a_stream_that_compresses_well_fits_the_first_bytes) {
    // The whole stream lies in the 17 bytes at offset 8 and 8 more: nothing to pull.
    std::vector<std::uint8_t> body(17 + 1000, 0);
    std::vector<std::uint8_t> file = MovieFile("CWS", Deflate(body));
    file.resize(std::max<std::size_t>(file.size(), 25), 0);
    Decoded d = Decode(file);
    REQUIRE(d.header.has_value());
    CHECK(*d.header == MovieHeader{});
}

TEST_CASE(lzma_movie_has_unknown_size) {
    std::vector<std::uint8_t> rest(k550x400.begin(), k550x400.end());
    rest.resize(100, 0x5D);
    Decoded d = Decode(MovieFile("ZWS", rest));
    CHECK(!d.header.has_value());
    CHECK_EQ(d.pulled, std::size_t(0));
}

TEST_CASE(damaged_compressed_header_raises) {
    const std::vector<std::uint8_t> good = CompressedMovie(k550x400, 300);
    struct Row { const char* name; std::vector<std::uint8_t> file; };
    std::vector<Row> rows;
    {
        auto f = good;
        f[9] ^= 0x01;  // zlib header check fails
        rows.push_back({"header check", f});
    }
    {
        auto f = good;
        f[8] = 0x79;  // compression method 9: not deflate
        rows.push_back({"method", f});
    }
    {
        auto f = good;
        f[10] |= 0x06;  // first block of the reserved type 3
        rows.push_back({"block type", f});
    }
    {
        auto f = good;
        f.resize(30);  // the file ends before 17 bytes can be inflated
        rows.push_back({"cut short", f});
    }
    {
        // A complete stream that inflates to fewer than 17 bytes.
        std::vector<std::uint8_t> shortBody(k550x400.begin(), k550x400.begin() + 9);
        auto f = MovieFile("CWS", Deflate(shortBody));
        f.resize(std::max<std::size_t>(f.size(), 40), 0);
        rows.push_back({"stream ends early", f});
    }
    {
        std::vector<std::uint8_t> rest(k550x400.begin(), k550x400.end());
        rows.push_back({"raw bytes, not a stream", MovieFile("CWS", rest)});
    }
    for (const Row& r : rows) {
        bool threw = false;
        try {
            Decode(r.file, 7);
        } catch (const fw::Error& e) {
            threw = true;
            CHECK_EQ_AT(r.name, std::string(e.what()).find("damaged") != std::string::npos, true);
        }
        CHECK_EQ_AT(r.name, threw, true);
    }
}
