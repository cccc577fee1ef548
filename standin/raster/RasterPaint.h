// Paint by span: turns a Paint (after its colour transform) into premultiplied
// source pixels for a run of a row and composites them with a coverage value.
#pragma once

#include "Raster.h"

#include <cstdint>

namespace raster {

// Premultiply a straight colour into 0xAARRGGBB.
uint32_t Premultiply(Rgba c);

class SpanPainter {
public:
    // Returns false when the paint draws nothing (fully transparent, bad bitmap, singular matrix).
    bool prepare(const Paint& paint, const ColorTransform& cx, const Composite& comp, int canvasWidth);
    void span(uint32_t* row, int y, int x, int len, unsigned coverage);
    // A run with its own coverage for each pixel (edge pixels side by side).
    void spanCoverage(uint32_t* row, int y, int x, int len, const uint8_t* coverage);

private:
    enum class Src { Solid, Linear, Radial, Focal, Bitmap } src_ = Src::Solid;
    uint32_t solid_ = 0;
    bool opaque_ = false;
    uint32_t lut_[256];
    Matrix inv_;  // device -> gradient square / bitmap pixels
    Spread spread_ = Spread::Pad;
    double focal_ = 0;
    const Bitmap* bmp_ = nullptr;
    bool repeat_ = true, smooth_ = true;
    ColorTransform bmpCx_;
    bool bmpCxIdentity_ = true;
    Composite comp_;
    int maskStride_ = 0;
    uint32_t buf_[512];

    void fetch(int y, int x, int len, uint32_t* out);
    template <bool Smooth, bool Repeat>
    void BitmapRow(int64_t u, int64_t v, int64_t du, int64_t dv, int len, uint32_t* out) const;
    void composite(uint32_t* dst, const uint32_t* src, int len, unsigned coverage, const uint8_t* mask);
};

}  // namespace raster
