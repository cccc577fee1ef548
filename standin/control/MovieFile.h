// Loads a movie file whole through the movie library.
#pragma once
#include <memory>
#include <string>

#include "SwfMovie.h"

namespace standin {

// Null with `why` set when the file cannot be opened or read, or holds no
// movie this control can play. A movie damaged part way keeps its whole frames.
std::shared_ptr<const swfmovie::Movie> LoadMovieFile(const std::wstring& path, std::string& why);

}  // namespace standin
