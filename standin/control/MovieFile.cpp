#include "MovieFile.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "ScopedWin.h"
#include "SwfMovie.h"

namespace standin {

// The header sits in the first bytes, compressed or not; this much of the
// file always holds enough deflated input for it.
constexpr DWORD kHeadBytes = 64 * 1024;

bool ReadMovieFile(const std::wstring& path, MovieFacts& out, std::string& why) {
    fw::ScopedFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        why = "cannot open the file";
        return false;
    }
    std::vector<std::uint8_t> head(kHeadBytes);
    DWORD total = 0, got = 0;
    while (total < kHeadBytes && ::ReadFile(f.get(), head.data() + total, kHeadBytes - total, &got, nullptr) && got)
        total += got;
    head.resize(total);
    std::optional<swfmovie::MovieInfo> info = swfmovie::ReadMovieInfo(head.data(), head.size(), &why);
    if (!info) return false;
    auto pixels = [](std::int64_t twips) { return twips > 0 ? int(twips / 20) : 0; };
    out.width = pixels(std::int64_t(info->frameRect.xmax) - info->frameRect.xmin);
    out.height = pixels(std::int64_t(info->frameRect.ymax) - info->frameRect.ymin);
    out.rate256 = info->frameRate;
    out.frameCount = info->frameCount;
    return true;
}

}  // namespace standin
