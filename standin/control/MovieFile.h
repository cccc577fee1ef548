// Reads a movie file's header facts (frame size, rate, count), inflating the
// start of a zlib-compressed (CWS) file.
#pragma once
#include <string>

#include "MovieHeader.h"

namespace standin {

// False with `why` set when the file cannot be opened or is not a movie this
// control can read.
bool ReadMovieFile(const std::wstring& path, MovieFacts& out, std::string& why);

}  // namespace standin
