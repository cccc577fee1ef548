// Reads a movie file's header facts: frame size, rate and count.
#pragma once
#include <cstdint>
#include <string>

namespace standin {

struct MovieFacts {
    int width = 0;  // pixels
    int height = 0;
    std::uint32_t rate256 = 0;  // frames per 256 seconds (the file's 8.8 fixed point)
    int frameCount = 0;
};

// False with `why` set when the file cannot be opened or is not a movie this
// control can read.
bool ReadMovieFile(const std::wstring& path, MovieFacts& out, std::string& why);

}  // namespace standin
