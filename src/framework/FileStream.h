// A file opened for reading, shared with readers only: while it is open, no
// one may write to it. Closed when the object goes, on every road.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "ScopedWin.h"

namespace fw {

class FileStream {
public:
    // Opens an existing file. Raises Error naming the path when the file is
    // missing, unreadable, or held open by someone writing to it or denying readers.
    explicit FileStream(const std::string& path);
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Moves to `offset` bytes from the start.
    void Seek(std::uint64_t offset);
    // Reads up to `count` bytes; returns how many came (0 at the end of the file).
    std::size_t Read(void* buffer, std::size_t count);
    // Reads exactly `count` bytes; raises Error when the file ends earlier.
    void ReadExact(void* buffer, std::size_t count);

private:
    std::string path_;
    ScopedFile file_;
};

}  // namespace fw
