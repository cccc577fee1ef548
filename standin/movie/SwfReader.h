// Bounds-checked reading of SWF primitives. Every overrun throws ParseError, which
// the tag loop catches: a broken tag ends the movie at the last whole frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "SwfMovie.h"

namespace swfmovie {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), size_(size) {}

    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - pos_; }
    const uint8_t* here() const { return p_ + pos_; }
    void need(size_t n) const {
        if (n > size_ - pos_) throw ParseError("unexpected end of data");
    }
    void skip(size_t n) {
        align();
        need(n);
        pos_ += n;
    }
    void seek(size_t pos) {
        if (pos > size_) throw ParseError("seek past end");
        bitCount_ = 0;
        pos_ = pos;
    }

    uint8_t u8() {
        align();
        need(1);
        return p_[pos_++];
    }
    uint16_t u16() {
        align();
        need(2);
        uint16_t v = uint16_t(p_[pos_] | (p_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    int16_t s16() { return int16_t(u16()); }
    uint32_t u32() {
        align();
        need(4);
        uint32_t v = uint32_t(p_[pos_]) | (uint32_t(p_[pos_ + 1]) << 8) | (uint32_t(p_[pos_ + 2]) << 16) |
                     (uint32_t(p_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    std::string string() {
        align();
        size_t start = pos_;
        while (true) {
            need(1);
            if (p_[pos_++] == 0) break;
        }
        return std::string(reinterpret_cast<const char*>(p_ + start), pos_ - start - 1);
    }

    uint32_t ub(int bits) {
        if (bits < 0 || bits > 32) throw ParseError("bad bit count");
        uint32_t v = 0;
        for (int i = 0; i < bits; ++i) {
            if (bitCount_ == 0) {
                need(1);
                bitBuf_ = p_[pos_++];
                bitCount_ = 8;
            }
            --bitCount_;
            v = (v << 1) | ((bitBuf_ >> bitCount_) & 1u);
        }
        return v;
    }
    int32_t sb(int bits) {
        if (bits == 0) return 0;
        uint32_t v = ub(bits);
        if (bits < 32 && (v & (1u << (bits - 1)))) v |= ~0u << bits;
        return int32_t(v);
    }
    double fb(int bits) { return sb(bits) / 65536.0; }
    void align() { bitCount_ = 0; }

    TwipsRect rect();
    raster::Matrix matrix();
    raster::ColorTransform cxform(bool withAlpha);
    raster::Rgba rgb();
    raster::Rgba rgba();

private:
    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t bitBuf_ = 0;
    int bitCount_ = 0;
};

// zlib inflate of in[0..size) into out, stopping at maxOut bytes. Returns false on a
// corrupt stream; a stream cut short returns true with what could be inflated when
// allowTruncated is set.
bool Inflate(const uint8_t* in, size_t size, size_t maxOut, std::vector<uint8_t>& out, bool allowTruncated);

// Shape records (DefineShape 1-4, glyphs, morph edges) into per-style edge lists.
struct ShapeParseOptions {
    int shapeVersion = 1;  // 1..4: colour and style array formats
    bool withStyles = true;  // false: a SHAPE (glyph / morph end) without style arrays
};
void ReadFillStyles(Reader& r, int shapeVersion, std::vector<FillStyle>& out);
void ReadLineStyles(Reader& r, int shapeVersion, std::vector<LineStyle>& out);
// Regroups raw edges (with fill0/fill1/line indices) into ShapeData fills and strokes.
struct RawEdge {
    Edge e;
    uint32_t fill0, fill1, line;  // 1-based global style indices; 0 none
    bool newPath;                 // a move or style change came before it
};
void BuildShape(const std::vector<RawEdge>& raw, ShapeData& out);
// Reads style arrays (when opt.withStyles) and records, appending styles to out and
// building its fills and strokes; rawOut receives the edges in file order.
void ParseShapeRecords(Reader& r, const ShapeParseOptions& opt, ShapeData& out,
                       std::vector<RawEdge>* rawOut = nullptr);

}  // namespace swfmovie
