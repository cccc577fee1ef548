#include "FileStream.h"

#include <algorithm>

#include "Error.h"

namespace fw {

FileStream::FileStream(const std::string& path) : path_(path) {
    file_.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) RaiseLastOSError("Cannot open file \"" + path + "\"");
}

void FileStream::Seek(std::uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN)) RaiseLastOSError("Seek error in \"" + path_ + "\"");
}

std::size_t FileStream::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - total, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file_.get(), out + total, want, &got, nullptr)) RaiseLastOSError("Read error in \"" + path_ + "\"");
        if (got == 0) break;
        total += got;
    }
    return total;
}

void FileStream::ReadExact(void* buffer, std::size_t count) {
    if (Read(buffer, count) != count) throw Error("Read error in \"" + path_ + "\": the file ends too early");
}

}  // namespace fw
