// Draws edit fields that carry no font of their own in a system font through
// GDI, blended into the frame buffer by the text's coverage.
#pragma once
#include "Raster.h"
#include "SwfPlayer.h"

namespace standin {

class GdiTextRenderer : public swfmovie::DeviceTextRenderer {
public:
    // Any thread: every call makes its own DC, bitmap and font.
    void draw(const raster::Canvas& canvas, const Request& request) override;
};

}  // namespace standin
