// Reading the movie header from real files: sharing, errors, and compressed
// movies made here with zlib.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Error.h"
#include "FileStream.h"
#include "MovieHeader.h"
#include "check.h"
#include "driver.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 15-bit fields: X 0..11000, Y 0..8000 twips, that is 550 x 400 pixels.
const Bytes kRect550x400 = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// Frame rate, frame count and a few tags' worth of bytes after the rectangle.
Bytes Body(std::size_t size) {
    Bytes b = kRect550x400;
    std::uint32_t seed = 12345;
    while (b.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        b.push_back(std::uint8_t(seed >> 24));
    }
    return b;
}

Bytes Movie(const char* signature, const Bytes& afterOffset8) {
    Bytes file = {std::uint8_t(signature[0]), std::uint8_t(signature[1]), std::uint8_t(signature[2]), 6};
    const std::uint32_t length = std::uint32_t(8 + afterOffset8.size());
    for (int i = 0; i < 4; ++i) file.push_back(std::uint8_t(length >> (8 * i)));
    file.insert(file.end(), afterOffset8.begin(), afterOffset8.end());
    return file;
}

Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    REQUIRE(compress(out.data(), &size, data.data(), uLong(data.size())) == Z_OK);
    out.resize(size);
    return out;
}

std::string Write(const std::string& name, const Bytes& data) {
    const std::string path = drv::WorkDir() + "\\" + name;
    REQUIRE(drv::WriteFile(path, data));
    return path;
}

// True when nobody else has the file open: an exclusive open succeeds.
bool NotOpenElsewhere(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

// The error ReadMovieHeader raises, or "" when it returns.
std::string ReadError(const std::string& path) {
    try {
        ReadMovieHeader(path);
    } catch (const fw::Error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST_CASE(uncompressed_movie_gives_its_frame_size_and_is_closed) {
    const std::string path = Write("plain.swf", Movie("FWS", Body(300)));
    std::optional<MovieHeader> h = ReadMovieHeader(path);
    REQUIRE(h.has_value());
    CHECK_EQ(MovieWidth(*h), 550);
    CHECK_EQ(MovieHeight(*h), 400);
    CHECK(NotOpenElsewhere(path));
}

TEST_CASE(file_of_exactly_25_bytes_is_enough) {
    const std::string path = Write("exact.swf", Movie("FWS", kRect550x400));
    std::optional<MovieHeader> h = ReadMovieHeader(path);
    REQUIRE(h.has_value());
    CHECK(std::equal(h->begin(), h->end(), kRect550x400.begin()));
}

TEST_CASE(short_and_missing_files_raise_and_leave_nothing_open) {
    Bytes shortFile = Movie("FWS", kRect550x400);
    shortFile.pop_back();  // 24 bytes
    const std::string shortPath = Write("short.swf", shortFile);
    std::string error = ReadError(shortPath);
    CHECK(error.find("short.swf") != std::string::npos);
    CHECK(NotOpenElsewhere(shortPath));

    const std::string tiny = Write("tiny.swf", Bytes{'F', 'W'});
    CHECK(ReadError(tiny).find("tiny.swf") != std::string::npos);
    CHECK(ReadError(Write("empty.swf", Bytes{})).find("empty.swf") != std::string::npos);

    const std::string missing = drv::WorkDir() + "\\no such movie.swf";
    CHECK(ReadError(missing).find("no such movie.swf") != std::string::npos);
    CHECK(ReadError(drv::WorkDir() + "\\no such folder\\m.swf") != "");
}

TEST_CASE(file_held_by_a_writer_cannot_be_read_but_readers_may_share) {
    const std::string path = Write("held.swf", Movie("FWS", Body(100)));
    struct Row { const char* name; DWORD access; DWORD share; bool readable; };
    const Row rows[] = {
        {"writer sharing nothing", GENERIC_WRITE, 0, false},
        {"writer sharing with readers", GENERIC_WRITE, FILE_SHARE_READ, false},
        {"reader sharing nothing", GENERIC_READ, 0, false},
        {"reader sharing with readers", GENERIC_READ, FILE_SHARE_READ, true},
        {"reader sharing with everyone", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    };
    for (const Row& r : rows) {
        HANDLE other = ::CreateFileA(path.c_str(), r.access, r.share, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(other != INVALID_HANDLE_VALUE);
        std::string error = ReadError(path);
        ::CloseHandle(other);
        CHECK_EQ_AT(r.name, error.empty(), r.readable);
        if (!r.readable) CHECK_EQ_AT(r.name, error.find("held.swf") != std::string::npos, true);
    }
}

TEST_CASE(reader_keeps_writers_out_while_open) {
    const std::string path = Write("open.swf", Movie("FWS", Body(100)));
    fw::FileStream stream(path);
    HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    CHECK(writer == INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
    HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    CHECK(reader != INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);

    std::uint8_t b[3] = {};
    stream.Seek(8);
    stream.ReadExact(b, 3);
    CHECK_EQ(int(b[0]), 0x78);
    CHECK_EQ(int(b[2]), 0x05);
    stream.Seek(0);
    CHECK_EQ(stream.Read(b, 3), std::size_t(3));
    CHECK_EQ(std::string(b, b + 3), std::string("FWS"));
    stream.Seek(100 + 8 - 2);
    CHECK_EQ(stream.Read(b, 3), std::size_t(2));
    CHECK_EQ(stream.Read(b, 3), std::size_t(0));
}

TEST_CASE(compressed_movie_gives_its_frame_size) {
    const std::string path = Write("compressed.swf", Movie("CWS", Deflate(Body(20000))));
    std::optional<MovieHeader> h = ReadMovieHeader(path);
    REQUIRE(h.has_value());
    CHECK_EQ(MovieWidth(*h), 550);
    CHECK_EQ(MovieHeight(*h), 400);
    CHECK(NotOpenElsewhere(path));
}

TEST_CASE(damaged_compressed_movie_raises_and_is_closed) {
    Bytes stream = Deflate(Body(2000));
    stream[2] |= 0x06;  // the first block claims the reserved type
    const std::string damaged = Write("damaged.swf", Movie("CWS", stream));
    std::string error = ReadError(damaged);
    CHECK(error.find("damaged.swf") != std::string::npos);
    CHECK(error.find("damaged") != std::string::npos);
    CHECK(NotOpenElsewhere(damaged));

    // A whole stream cut off after 20 bytes (the file is still 28 bytes long).
    Bytes cut = Deflate(Body(2000));
    cut.resize(20);
    const std::string truncated = Write("truncated.swf", Movie("CWS", cut));
    CHECK(ReadError(truncated).find("truncated.swf") != std::string::npos);
    CHECK(NotOpenElsewhere(truncated));
}

TEST_CASE(lzma_movie_has_unknown_size) {
    Bytes lzma = {0x5D, 0x00, 0x00, 0x10, 0x00};  // what follows the length in such files
    lzma.resize(200, 0x11);
    const std::string path = Write("lzma.swf", Movie("ZWS", lzma));
    CHECK(!ReadMovieHeader(path).has_value());
    CHECK(NotOpenElsewhere(path));
    // Too short to hold a header at all: an error, as for any movie.
    lzma.resize(10);
    CHECK(ReadError(Write("lzma-short.swf", Movie("ZWS", lzma))) != "");
}
