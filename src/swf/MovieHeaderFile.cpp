#include "Error.h"
#include "FileStream.h"
#include "MovieHeader.h"

std::optional<MovieHeader> ReadMovieHeader(const std::string& path) {
    fw::FileStream file(path);
    std::array<std::uint8_t, 3> signature;
    file.ReadExact(signature.data(), signature.size());
    file.Seek(kMovieHeaderOffset);
    MovieHeader atOffset8;
    file.ReadExact(atOffset8.data(), atOffset8.size());
    try {
        return DecodeMovieHeader(signature, atOffset8, [&file](std::uint8_t* buffer, std::size_t capacity) {
            return file.Read(buffer, capacity);
        });
    } catch (const fw::Error& e) {
        throw fw::Error("\"" + path + "\": " + e.what());  // say which movie
    }
}
