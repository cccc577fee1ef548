// Decodes the JPEG, PNG and GIF images of a movie with the system's imaging
// component, from memory, into premultiplied 32-bit bitmaps.
#pragma once
#include <cstddef>
#include <cstdint>

#include "Raster.h"
#include "SwfMovie.h"

namespace standin {

class WicDecoder : public swfmovie::ImageDecoder {
public:
    // Images of more pixels than this are refused before their pixels are read.
    explicit WicDecoder(std::size_t maxPixels = std::size_t(32) << 20) : maxPixels_(maxPixels) {}
    // Any thread: joins or starts a COM apartment for the call's length.
    bool decode(const std::uint8_t* data, std::size_t size, raster::Bitmap& out) override;

private:
    std::size_t maxPixels_;
};

}  // namespace standin
