// Scanline rasteriser of the stand-in movie control: anti-aliased fills by exact
// area coverage (cells accumulated per pixel, swept per scanline), paint by span
// into a 32-bit buffer laid out as a top-down Windows DIB (bytes B,G,R,X).
//
// Coordinates given to a Rasterizer are device pixels (float). Regions are decided
// by a fill rule over the edges added since the last reset, so a caller that has
// SWF edges with a fill style on each side adds every edge once to each side's
// path (reversed for one side) and fills each style's path on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace raster {

// Straight (not premultiplied) colour as stored in SWF files.
struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};
inline bool operator==(Rgba x, Rgba y) { return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a; }

// The buffer pixel as a little-endian word: 0xXXRRGGBB (bytes B,G,R,X).
inline uint32_t PackBgrx(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}
inline uint8_t PixelR(uint32_t p) { return uint8_t(p >> 16); }
inline uint8_t PixelG(uint32_t p) { return uint8_t(p >> 8); }
inline uint8_t PixelB(uint32_t p) { return uint8_t(p); }

// A view of a pixel buffer owned elsewhere (the control's DIB section, a test's vector).
struct Canvas {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // in pixels; rows are top-down
    uint32_t* row(int y) const { return pixels + ptrdiff_t(y) * stride; }
};

// An owned buffer, for tests, offscreen layers and the benchmark.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // premultiplied 0xAARRGGBB for bitmaps; 0xFFRRGGBB for frames
    Image() = default;
    Image(int w, int h, uint32_t fill = 0xFF000000u) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    Canvas canvas() { return Canvas{pixels.data(), width, height, width}; }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

struct IRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// Affine map: x' = a*x + c*y + tx, y' = b*x + d*y + ty (SWF MATRIX order).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    void apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + c * y + tx;
        oy = b * x + d * y + ty;
    }
    // (this * m): apply m first, then this.
    Matrix operator*(const Matrix& m) const {
        return Matrix{a * m.a + c * m.b, b * m.a + d * m.b, a * m.c + c * m.d,
                      b * m.c + d * m.d, a * m.tx + c * m.ty + tx, b * m.tx + d * m.ty + ty};
    }
    bool invert(Matrix& out) const;
    static Matrix Scale(double sx, double sy) { return Matrix{sx, 0, 0, sy, 0, 0}; }
    static Matrix Translate(double x, double y) { return Matrix{1, 0, 0, 1, x, y}; }
};

// SWF colour transform: c' = clamp(c * mult + add), mult in units of 1.0, add in 0..255 units.
struct ColorTransform {
    float rm = 1, gm = 1, bm = 1, am = 1;
    float ra = 0, ga = 0, ba = 0, aa = 0;
    Rgba apply(Rgba c) const;
    // (this * inner): apply inner first.
    ColorTransform operator*(const ColorTransform& inner) const;
    bool isIdentity() const {
        return rm == 1 && gm == 1 && bm == 1 && am == 1 && ra == 0 && ga == 0 && ba == 0 && aa == 0;
    }
    // Alpha would always come out 0: nothing to draw.
    bool invisible() const { return am <= 0 && aa <= 0; }
};

enum class FillRule { NonZero, EvenOdd };

// Layer draws a group into its own buffer first (so Alpha and Erase inside it act
// on the group); on a single fill it is Normal.
enum class BlendMode : uint8_t {
    Normal, Multiply, Screen, Lighten, Darken, Difference, Add, Subtract, Invert,
    Alpha, Erase, Overlay, HardLight, Layer
};

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
};

enum class GradientKind { Linear, Radial, Focal };
enum class Spread { Pad, Reflect, Repeat };

// A bitmap source: premultiplied 0xAARRGGBB pixels.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    bool opaque = true;
};

struct Paint {
    enum class Type { Solid, Gradient, Bitmap } type = Type::Solid;
    Rgba color;  // Solid
    // Gradient: the SWF gradient square (-16384..16384 in gradient units) mapped to device pixels.
    GradientKind gradient = GradientKind::Linear;
    Spread spread = Spread::Pad;
    bool linearRgb = false;
    float focal = 0;  // -1..1, Focal only
    std::vector<GradientStop> stops;
    // Bitmap: bitmap pixel space mapped to device pixels.
    const Bitmap* bitmap = nullptr;
    bool repeat = true;
    bool smooth = true;
    Matrix matrix;

    static Paint Solid(Rgba c) {
        Paint p;
        p.color = c;
        return p;
    }
};

struct EdgeSpan {
    int y, x, len;
};

// How a fill lands on the canvas: blend mode, and an optional 8-bit coverage mask
// (one byte per canvas pixel, stride == canvas width) that masks clip by.
//
// With an edge buffer, pixels the fill covers only in part are added into that
// buffer (premultiplied, stride == canvas width, all zero where no span is listed)
// and listed in edgeSpans instead of landing on the canvas; FlushEdges lays them
// on afterwards. Regions of one shape that share an edge then meet without a seam,
// because their two part-coverages are summed before they are blended.
struct Composite {
    BlendMode blend = BlendMode::Normal;
    const uint8_t* mask = nullptr;
    uint32_t* edgeBuffer = nullptr;
    std::vector<EdgeSpan>* edgeSpans = nullptr;
};

// Lays the listed edge pixels onto dst (blend mode and mask as for a fill) and
// clears them in the buffer again; empties spans.
void FlushEdges(const Canvas& dst, uint32_t* edgeBuffer, std::vector<EdgeSpan>& spans, BlendMode mode,
                const uint8_t* mask);

// Accumulates edges as pixel-area cells; fill() sweeps them into spans and paints.
// Reused between fills so its buffers stay allocated.
class Rasterizer {
public:
    Rasterizer();
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Start a new path; edges outside clip (in device pixels) are dropped or
    // clamped so that no cell falls outside it.
    void reset(const IRect& clip);
    void line(double x0, double y0, double x1, double y1);
    // Quadratic Bezier, flattened so that no chord is further than `tolerance`
    // pixels from the curve.
    void quad(double x0, double y0, double cx, double cy, double x1, double y1, double tolerance = 0.2);
    bool empty() const;
    // Bounding rows/columns of the cells added (for sizing masks and layers).
    IRect bounds() const;

    // Paint the path's region. The colour transform applies to the paint's colours.
    void fill(const Canvas& dst, const Paint& paint, const ColorTransform& cx = {},
              FillRule rule = FillRule::NonZero, const Composite& comp = {});
    // Write the path's coverage (0..255) into mask (stride == width), combined with
    // what is there: Replace overwrites inside the clip, Max unions, Multiply intersects.
    enum class MaskOp { Replace, Max };
    void fillMask(uint8_t* mask, int width, int height, FillRule rule, MaskOp op);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Stroke styles for polylines (SWF line styles after transformation to pixels).
enum class Cap { Round, None, Square };
enum class Join { Round, Bevel, Miter };

struct StrokeStyle {
    double width = 1;  // pixels; thinner lines are drawn one pixel wide (hairlines)
    Cap startCap = Cap::Round;
    Cap endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3;
};

// A polyline in device pixels, already flattened.
struct Polyline {
    std::vector<double> xy;  // x0,y0,x1,y1,...
    bool closed = false;
    size_t points() const { return xy.size() / 2; }
};

// Adds the outline of a stroked polyline to r as closed polygons of one orientation,
// so filling with FillRule::NonZero paints their union.
void StrokePolyline(Rasterizer& r, const Polyline& line, const StrokeStyle& style);

// Append a flattened quadratic Bezier (without its start point) to out.
void FlattenQuad(double x0, double y0, double cx, double cy, double x1, double y1, double tolerance,
                 std::vector<double>& out);

// Composites a layer (premultiplied pixels, same size and stride as dst) onto dst
// inside area with a blend mode, through an optional mask (stride == dst width).
void CompositeLayer(const Canvas& dst, const Canvas& layer, const IRect& area, BlendMode mode,
                    const uint8_t* mask = nullptr);

// Fill a rectangle of the canvas with an opaque colour (backgrounds, letterbox).
void FillRect(const Canvas& dst, const IRect& r, uint32_t pixel);

}  // namespace raster
