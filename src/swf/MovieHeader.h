// The frame size of an SWF movie, read from the rectangle at the start of its
// header (17 bytes from file offset 8 in an uncompressed movie).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

constexpr std::size_t kMovieHeaderOffset = 8;
constexpr std::size_t kMovieHeaderSize = 17;

// The bytes that begin the frame-size rectangle: 5 bits of field width n, then
// X minimum, X maximum, Y minimum, Y maximum, n bits each, in twips.
using MovieHeader = std::array<std::uint8_t, kMovieHeaderSize>;

// n, the bit count of each rectangle field (0-31).
std::uint8_t RectBits(const MovieHeader& header);
// Bit i (0-135) of the header, counted from 0 at the most significant bit of the first byte.
bool HeaderBit(const MovieHeader& header, std::uint8_t i);
// The X and Y maximum fields in whole pixels (twips / 20, remainder dropped).
// The minima are not read and the fields are not sign-extended, so the result
// is never negative; for the usual rectangle at 0,0 it is the frame size.
std::int32_t MovieWidth(const MovieHeader& header);
std::int32_t MovieHeight(const MovieHeader& header);

// Hands over the next bytes of the file after those already given: fills up
// to `capacity` bytes of `buffer` and returns the count, 0 at the end of the file.
using MovieReadMore = std::function<std::size_t(std::uint8_t* buffer, std::size_t capacity)>;

// The header from a movie file's first three bytes (its signature) and the
// 17 bytes at offset 8:
// - "CWS": the file is zlib-compressed from offset 8 on. The stream, starting
//   with those 17 bytes and going on through `readMore`, is inflated just far
//   enough to give the first 17 bytes; a damaged stream or one that ends
//   before them raises fw::Error.
// - "ZWS": LZMA-compressed, which is not decoded here: no header (size unknown).
// - anything else: the 17 bytes as they are, without any validation.
std::optional<MovieHeader> DecodeMovieHeader(const std::array<std::uint8_t, 3>& signature, const MovieHeader& atOffset8,
                                             const MovieReadMore& readMore);

#ifdef _WIN32
// Reads the header of the movie file at `path` (opened for reading, shared
// with readers only, closed before returning). No header means the size is
// unknown and the movie should fill the screen. Raises fw::Error when the file
// cannot be opened, is shorter than 25 bytes, or its compressed header is damaged.
std::optional<MovieHeader> ReadMovieHeader(const std::string& path);
#endif
