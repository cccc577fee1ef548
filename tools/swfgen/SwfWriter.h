// A small SWF writer of the project's own: enough of the format to write the demo
// movie and the fixtures that the tests of every module load. Pure C++ (built on
// the host and with MinGW). Coordinates are twips unless a name says pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace swfgen {

struct Color {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// SWF MATRIX: x' = sx*x + r1*y + tx, y' = r0*x + sy*y + ty (tx, ty in twips).
struct Matrix {
    double sx = 1, r0 = 0, r1 = 0, sy = 1;
    int32_t tx = 0, ty = 0;
    static Matrix Translate(int32_t x, int32_t y) { return Matrix{1, 0, 0, 1, x, y}; }
    // Scale, then rotate (radians, clockwise on screen), then translate.
    static Matrix Transform(double scaleX, double scaleY, double radians, int32_t x, int32_t y);
};

struct CxForm {
    // Multipliers in units of 1.0, additions in -255..255.
    double rm = 1, gm = 1, bm = 1, am = 1;
    int ra = 0, ga = 0, ba = 0, aa = 0;
};

class BitWriter {
public:
    void ub(uint32_t value, int bits);
    void sb(int32_t value, int bits);
    void fb(double value, int bits);  // 16.16 fixed
    void align();
    void u8(uint8_t v);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void bytes(const void* p, size_t n);
    void string(const std::string& s);  // NUL-terminated
    void rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);
    void matrix(const Matrix& m);
    void cxform(const CxForm& c, bool withAlpha);
    void rgb(Color c) { u8(c.r); u8(c.g); u8(c.b); }
    void rgba(Color c) { u8(c.r); u8(c.g); u8(c.b); u8(c.a); }
    std::vector<uint8_t>& data() { align(); return buf_; }
    size_t size() const { return buf_.size() + (nbits_ ? 1 : 0); }

    static int BitsSigned(int64_t v);
    static int BitsUnsigned(uint64_t v);

private:
    std::vector<uint8_t> buf_;
    uint8_t cur_ = 0;
    int nbits_ = 0;
};

struct GradientSpec {
    enum Kind { Linear = 0x10, Radial = 0x12, Focal = 0x13 } kind = Linear;
    Matrix matrix;  // maps the gradient square (-16384..16384) into the shape
    std::vector<std::pair<uint8_t, Color>> stops;
    int spread = 0;  // 0 pad, 1 reflect, 2 repeat
    double focal = 0;
    // Matrix for a linear gradient running from (x0,y0) to (x1,y1) twips.
    static Matrix LinearAlong(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    // Matrix for a radial gradient centred at (x,y) with this radius in twips.
    static Matrix RadialAt(int32_t x, int32_t y, int32_t radius);
};

struct FillSpec {
    enum Kind { Solid, Gradient, Bitmap } kind = Solid;
    Color color;
    GradientSpec gradient;
    uint16_t bitmapId = 0;
    Matrix bitmapMatrix;  // bitmap pixels -> shape twips (20 = one pixel per pixel)
    bool repeat = true, smooth = true;
};

struct LineSpec {
    uint16_t width = 20;
    Color color;
    int startCap = 0, endCap = 0, join = 0;  // DefineShape4 only: 0 round, 1 none/bevel, 2 square/miter
    bool gradient = false;  // DefineShape4 only: stroke with gradientFill instead of the colour
    GradientSpec gradientFill;
};

// Builds SHAPEWITHSTYLE records. Styles are 1-based as in the file; 0 is "none".
class ShapeBuilder {
public:
    uint16_t addFill(const FillSpec& f);
    uint16_t addSolid(Color c);
    uint16_t addLine(const LineSpec& l);
    // Change styles (nullopt keeps the current one) and optionally move.
    void style(std::optional<uint16_t> fill0, std::optional<uint16_t> fill1, std::optional<uint16_t> line);
    void moveTo(int32_t x, int32_t y);
    void lineTo(int32_t x, int32_t y);
    void curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
    // Replace the style arrays from here on (DefineShape2 and later).
    void newStyles();
    // DefineShape4: fill overlapping paths of one style by the non-zero rule.
    void nonZeroWinding(bool on) { nonZero_ = on; }

    // Convenience: a closed rectangle / ellipse path with fill1 = fill (fill0 unchanged).
    void rect(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t fill, uint16_t line = 0);
    void ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, uint16_t fill, uint16_t line = 0);

    // The DefineShape<version> body after the shape id (bounds computed from points).
    std::vector<uint8_t> body(int version) const;
    // The SHAPE record alone (glyphs): style bits 1 fill, 0 line.
    std::vector<uint8_t> glyphRecords() const;
    // DefineMorphShape body after the id: this shape is the start, `end` has the
    // same edges in the same order (moves allowed, style changes ignored) and the
    // same number of styles, solid or gradient, whose end values it supplies.
    std::vector<uint8_t> morphBody(const ShapeBuilder& end, bool morph2 = false) const;

private:
    struct Rec {
        enum Kind { Style, Move, Line, Curve, NewStyles } kind = Style;
        std::optional<uint16_t> f0, f1, ln;
        int32_t a = 0, b = 0, c = 0, d = 0;
        size_t fillsUpTo = 0, linesUpTo = 0;  // NewStyles: the styles defined before it
    };
    std::vector<FillSpec> fills_;
    std::vector<LineSpec> lines_;
    std::vector<Rec> recs_;
    size_t fillBase_ = 0, lineBase_ = 0;
    mutable int version_ = 3;  // of the shape being written, for NewStyles arrays
    bool nonZero_ = false;
    int32_t px_ = 0, py_ = 0;
    int32_t minx_ = INT32_MAX, miny_ = INT32_MAX, maxx_ = INT32_MIN, maxy_ = INT32_MIN;
    void touch(int32_t x, int32_t y);
    // Shape records: styles selected with fb/lb bits; withStyles false writes moves and edges only.
    void records(BitWriter& w, int fb, int lb, bool withStyles, bool glyph) const;
    void boundsRect(BitWriter& w) const;
};

struct GlyphSpec {
    uint16_t code = 0;
    ShapeBuilder shape;  // fill style 1, EM square units (1024; 20480 for DefineFont3), y up is negative
    int16_t advance = 1024;
};

struct TextRunSpec {
    uint16_t fontId = 0;
    Color color;
    int32_t x = 0, y = 0;  // pen position (baseline), twips
    uint16_t height = 240;
    std::vector<std::pair<uint32_t, int32_t>> glyphs;  // glyph index, advance in twips
};

struct EditTextSpec {
    int32_t xmin = 0, xmax = 2000, ymin = 0, ymax = 400;
    std::optional<uint16_t> fontId;
    uint16_t height = 240;
    Color color;
    std::string text;
    bool html = false, useOutlines = true, wordWrap = false;
    uint8_t align = 0;
};

struct Place {
    uint16_t depth = 1;
    std::optional<uint16_t> id;
    std::optional<Matrix> matrix;
    std::optional<CxForm> cxform;
    std::optional<uint16_t> ratio;
    std::optional<uint16_t> clipDepth;
    std::optional<uint8_t> blend;  // written as PlaceObject3 when set
    std::string name;
    bool move = false;
};

// A stream of tags: the body of a movie or of a DefineSprite.
class TagStream {
public:
    void tag(uint16_t code, const std::vector<uint8_t>& body);
    void tag(uint16_t code, BitWriter& w) { tag(code, w.data()); }
    void showFrame() { tag(1, std::vector<uint8_t>{}); ++frames_; }
    void place(const Place& p);
    void placeObject1(uint16_t id, uint16_t depth, const Matrix& m);
    void remove(uint16_t depth);  // RemoveObject2
    void removeObject1(uint16_t id, uint16_t depth);
    void frameLabel(const std::string& label);
    void doAction(const std::vector<uint8_t>& actions);  // End (0) appended
    void end() { tag(0, std::vector<uint8_t>{}); }
    uint16_t frames() const { return frames_; }
    const std::vector<uint8_t>& bytes() const { return out_; }

private:
    std::vector<uint8_t> out_;
    uint16_t frames_ = 0;
};

class MovieWriter : public TagStream {
public:
    MovieWriter(int widthPx, int heightPx, double fps, uint8_t version = 10);
    void background(Color c);
    void defineShape(uint16_t id, const ShapeBuilder& s, int version = 3);
    void defineSprite(uint16_t id, const TagStream& sprite);  // sprite must not have end()
    // DefineBitsLossless2 from straight ARGB pixels (0xAARRGGBB), direct 32-bit format.
    void defineBitsLossless2(uint16_t id, int w, int h, const std::vector<uint32_t>& argb);
    // DefineMorphShape, or DefineMorphShape2 (with cap and join styles) when morph2.
    void defineMorphShape(uint16_t id, const ShapeBuilder& start, const ShapeBuilder& end, bool morph2 = false);
    // DefineFont2, or DefineFont3 when font3 (coordinates then in 1/20 EM units).
    void defineFont(uint16_t id, const std::string& name, const std::vector<GlyphSpec>& glyphs, bool font3 = false,
                    int16_t ascent = 900, int16_t descent = 200);
    // DefineText2 (colours with alpha) or DefineText.
    void defineText(uint16_t id, const std::vector<TextRunSpec>& runs, bool withAlpha = true,
                    const Matrix& m = Matrix{});
    void defineEditText(uint16_t id, const EditTextSpec& e);
    // DefineBitsJPEG2 (no alpha) or DefineBitsJPEG3 with a zlib alpha plane; the
    // image bytes are written as given (JPEG, PNG or GIF data).
    void defineBitsJpeg(uint16_t id, const std::vector<uint8_t>& image, const std::vector<uint8_t>* alpha = nullptr);
    // The finished file. frameCount nullopt: the number of ShowFrame tags written.
    std::vector<uint8_t> finish(bool compress, std::optional<uint16_t> frameCount = std::nullopt);

private:
    int w_, h_;
    double fps_;
    uint8_t version_;
};

// zlib deflate of a buffer (used for CWS and lossless bitmaps).
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in);

// Action bytes for DoAction.
namespace act {
std::vector<uint8_t> Stop();
std::vector<uint8_t> Play();
std::vector<uint8_t> NextFrame();
std::vector<uint8_t> PrevFrame();
std::vector<uint8_t> GotoFrame(uint16_t frame);  // 0-based
std::vector<uint8_t> GotoLabel(const std::string& label);
std::vector<uint8_t> SetTarget(const std::string& target);  // "" back to the own timeline
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);
}  // namespace act

// Ready-made movies (the CLI writes these; tests and the benchmark use them too).
std::vector<uint8_t> BuildBlank(int widthPx, int heightPx, double fps, int frames, bool compress,
                                Color bg = Color{255, 255, 255, 255});
// A few seconds of vector animation: moving and rotating shapes, gradients, a nested sprite.
std::vector<uint8_t> BuildDemo(bool compress);
// One of each feature beyond plain shapes: bitmap fills (lossless, and a JPEG with
// an alpha plane whose bytes only a stand-in decoder reads), glyph and edit text,
// a nested mask, a morph, blend modes, frame labels and actions. Ten frames.
std::vector<uint8_t> BuildFeatures(bool compress);
// Many curved, overlapping, semi-transparent shapes on one frame (for the benchmark).
std::vector<uint8_t> BuildHeavy(int shapes, bool compress);

}  // namespace swfgen
