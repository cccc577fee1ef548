#include "MovieFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ScopedWin.h"
#include "WicDecoder.h"

namespace standin {

// Beyond this a file is refused rather than read into memory; the library
// bounds what a compressed file may inflate to.
constexpr LONGLONG kMaxFileBytes = LONGLONG(256) << 20;

std::shared_ptr<const swfmovie::Movie> LoadMovieFile(const std::wstring& path, std::string& why) {
    fw::ScopedFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!f) {
        why = "cannot open the file";
        return nullptr;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(f.get(), &size)) {
        why = "cannot read the file's size";
        return nullptr;
    }
    if (size.QuadPart > kMaxFileBytes) {
        why = "file too large";
        return nullptr;
    }
    std::vector<std::uint8_t> bytes(std::size_t(size.QuadPart));
    std::size_t total = 0;
    while (total < bytes.size()) {
        DWORD got = 0;
        DWORD want = DWORD(std::min<std::size_t>(bytes.size() - total, 1u << 20));
        if (!::ReadFile(f.get(), bytes.data() + total, want, &got, nullptr)) {
            why = "read error";
            return nullptr;
        }
        if (got == 0) break;  // shorter than it said: load what is there
        total += got;
    }
    bytes.resize(total);
    // Stateless, so one serves every load on any thread.
    static WicDecoder decoder(swfmovie::LoadOptions{}.maxBitmapPixels);
    swfmovie::LoadOptions options;
    options.decoder = &decoder;
    return swfmovie::LoadMovie(bytes.data(), bytes.size(), &why, options);
}

}  // namespace standin
