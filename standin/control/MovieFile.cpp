#include "MovieFile.h"

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ScopedWin.h"

namespace standin {
namespace {

// Reads up to `n` bytes; returns how many arrived.
DWORD ReadSome(HANDLE f, std::uint8_t* p, DWORD n) {
    DWORD got = 0, total = 0;
    while (total < n && ::ReadFile(f, p + total, n - total, &got, nullptr) && got > 0) total += got;
    return total;
}

// Inflates from the file until `want` bytes are out or the stream ends.
bool InflateStart(HANDLE f, std::vector<std::uint8_t>& out, std::size_t want, std::string& why) {
    z_stream z = {};
    if (inflateInit(&z) != Z_OK) {
        why = "zlib initialisation failed";
        return false;
    }
    out.assign(want, 0);
    std::uint8_t in[4096];
    z.next_out = out.data();
    z.avail_out = uInt(want);
    int rc = Z_OK;
    while (z.avail_out > 0 && rc == Z_OK) {
        if (z.avail_in == 0) {
            DWORD got = ReadSome(f, in, sizeof in);
            if (got == 0) break;
            z.next_in = in;
            z.avail_in = got;
        }
        rc = inflate(&z, Z_NO_FLUSH);
    }
    out.resize(want - z.avail_out);
    inflateEnd(&z);
    if (rc != Z_OK && rc != Z_STREAM_END) {
        why = "compressed data is damaged";
        return false;
    }
    return true;
}

}  // namespace

bool ReadMovieFile(const std::wstring& path, MovieFacts& out, std::string& why) {
    fw::ScopedFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        why = "cannot open the file";
        return false;
    }
    std::uint8_t head[8];
    if (ReadSome(f.get(), head, 8) < 8) {
        why = "file shorter than a movie header";
        return false;
    }
    std::vector<std::uint8_t> body;
    if (head[1] != 'W' || head[2] != 'S') {
        why = "not a movie file";
        return false;
    }
    if (head[0] == 'F') {
        body.resize(kMovieHeaderBytes);
        body.resize(ReadSome(f.get(), body.data(), DWORD(body.size())));
    } else if (head[0] == 'C') {
        if (!InflateStart(f.get(), body, kMovieHeaderBytes, why)) return false;
    } else {
        why = head[0] == 'Z' ? "LZMA-compressed movies are not supported" : "not a movie file";
        return false;
    }
    if (!ParseMovieHeader(body.data(), body.size(), out)) {
        why = "movie header ends early";
        return false;
    }
    return true;
}

}  // namespace standin
