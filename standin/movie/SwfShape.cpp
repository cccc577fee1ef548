// Primitive records, style arrays and shape records.
#include "SwfReader.h"

#include <algorithm>
#include <zlib.h>

namespace swfmovie {

namespace {
// Keeps accumulated coordinates far from overflow in later arithmetic.
constexpr int64_t kCoordMax = int64_t(1) << 30;
int32_t ClampCoord(int64_t v) { return int32_t(std::clamp(v, -kCoordMax, kCoordMax)); }
}  // namespace

TwipsRect Reader::rect() {
    align();
    int n = int(ub(5));
    TwipsRect r;
    r.xmin = sb(n);
    r.xmax = sb(n);
    r.ymin = sb(n);
    r.ymax = sb(n);
    align();
    return r;
}

raster::Matrix Reader::matrix() {
    align();
    raster::Matrix m;
    if (ub(1)) {
        int n = int(ub(5));
        m.a = fb(n);
        m.d = fb(n);
    }
    if (ub(1)) {
        int n = int(ub(5));
        m.b = fb(n);
        m.c = fb(n);
    }
    int n = int(ub(5));
    m.tx = sb(n);
    m.ty = sb(n);
    align();
    return m;
}

raster::ColorTransform Reader::cxform(bool withAlpha) {
    align();
    bool hasAdd = ub(1), hasMult = ub(1);
    int n = int(ub(4));
    raster::ColorTransform c;
    if (hasMult) {
        c.rm = sb(n) / 256.f;
        c.gm = sb(n) / 256.f;
        c.bm = sb(n) / 256.f;
        if (withAlpha) c.am = sb(n) / 256.f;
    }
    if (hasAdd) {
        c.ra = float(sb(n));
        c.ga = float(sb(n));
        c.ba = float(sb(n));
        if (withAlpha) c.aa = float(sb(n));
    }
    align();
    return c;
}

raster::Rgba Reader::rgb() {
    raster::Rgba c;
    c.r = u8();
    c.g = u8();
    c.b = u8();
    c.a = 255;
    return c;
}

raster::Rgba Reader::rgba() {
    raster::Rgba c;
    c.r = u8();
    c.g = u8();
    c.b = u8();
    c.a = u8();
    return c;
}

bool Inflate(const uint8_t* in, size_t size, size_t maxOut, std::vector<uint8_t>& out, bool allowTruncated) {
    out.clear();
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(in);
    size_t fed = 0;
    const size_t chunkIn = size_t(1) << 30;
    auto feed = [&]() {
        size_t n = std::min(size - fed, chunkIn);
        zs.next_in = const_cast<Bytef*>(in + fed);
        zs.avail_in = uInt(n);
        fed += n;
    };
    feed();
    int rc = Z_OK;
    while (out.size() < maxOut) {
        size_t grow = std::min<size_t>(std::max<size_t>(out.size(), 64 * 1024), maxOut - out.size());
        size_t old = out.size();
        out.resize(old + grow);
        zs.next_out = out.data() + old;
        zs.avail_out = uInt(grow);
        rc = inflate(&zs, Z_NO_FLUSH);
        out.resize(old + (grow - zs.avail_out));
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR || (rc == Z_OK && zs.avail_in == 0)) {
            if (fed < size) {
                feed();
                continue;
            }
            if (zs.avail_out != 0) break;  // input exhausted: truncated stream
            continue;
        }
        if (rc != Z_OK) break;
    }
    inflateEnd(&zs);
    if (rc == Z_STREAM_END || out.size() >= maxOut) return true;
    if (rc == Z_OK || rc == Z_BUF_ERROR) return allowTruncated;
    return allowTruncated && !out.empty();
}

static FillStyle ReadFillStyle(Reader& r, int v) {
    FillStyle f;
    uint8_t type = r.u8();
    switch (type) {
        case 0x00:
            f.kind = FillStyle::Kind::Solid;
            f.color = v >= 3 ? r.rgba() : r.rgb();
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            f.kind = type == 0x10 ? FillStyle::Kind::Linear
                                  : (type == 0x12 ? FillStyle::Kind::Radial : FillStyle::Kind::Focal);
            f.matrix = r.matrix();
            uint32_t spread = r.ub(2), interp = r.ub(2), n = r.ub(4);
            f.spread = spread == 1 ? raster::Spread::Reflect : (spread == 2 ? raster::Spread::Repeat : raster::Spread::Pad);
            f.linearRgb = interp == 1;
            for (uint32_t i = 0; i < n; ++i) {
                raster::GradientStop s;
                s.ratio = r.u8();
                s.color = v >= 3 ? r.rgba() : r.rgb();
                f.stops.push_back(s);
            }
            if (type == 0x13) f.focal = r.s16() / 256.f;
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.kind = FillStyle::Kind::Bitmap;
            f.bitmapId = r.u16();
            f.matrix = r.matrix();
            f.repeat = type == 0x40 || type == 0x42;
            f.smooth = type == 0x40 || type == 0x41;
            break;
        default:
            throw ParseError("unknown fill style type");
    }
    return f;
}

void ReadFillStyles(Reader& r, int v, std::vector<FillStyle>& out) {
    uint32_t n = r.u8();
    if (n == 0xFF && v >= 2) n = r.u16();
    for (uint32_t i = 0; i < n; ++i) out.push_back(ReadFillStyle(r, v));
}

static raster::Cap CapOf(uint32_t v) {
    return v == 1 ? raster::Cap::None : (v == 2 ? raster::Cap::Square : raster::Cap::Round);
}

void ReadLineStyles(Reader& r, int v, std::vector<LineStyle>& out) {
    uint32_t n = r.u8();
    if (n == 0xFF && v >= 2) n = r.u16();
    for (uint32_t i = 0; i < n; ++i) {
        LineStyle l;
        l.width = r.u16();
        if (v >= 4) {
            l.startCap = CapOf(r.ub(2));
            uint32_t join = r.ub(2);
            bool hasFill = r.ub(1);
            l.noHScale = r.ub(1);
            l.noVScale = r.ub(1);
            r.ub(1);  // pixel hinting
            r.ub(5);
            l.noClose = r.ub(1);
            l.endCap = CapOf(r.ub(2));
            l.join = join == 1 ? raster::Join::Bevel : (join == 2 ? raster::Join::Miter : raster::Join::Round);
            if (join == 2) l.miterLimit = r.u16() / 256.f;
            if (hasFill) {
                l.fill = ReadFillStyle(r, v);
                l.color = l.fill->kind == FillStyle::Kind::Solid
                              ? l.fill->color
                              : (l.fill->stops.empty() ? raster::Rgba{} : l.fill->stops.front().color);
            } else {
                l.color = r.rgba();
            }
        } else {
            l.color = v >= 3 ? r.rgba() : r.rgb();
        }
        out.push_back(std::move(l));
    }
}

void ParseShapeRecords(Reader& r, const ShapeParseOptions& opt, ShapeData& out, std::vector<RawEdge>* rawOut) {
    std::vector<RawEdge> raw;
    size_t fillBase = 0, lineBase = 0;
    size_t fillCount = out.fillStyles.size(), lineCount = out.lineStyles.size();
    if (opt.withStyles) {
        fillBase = out.fillStyles.size();
        ReadFillStyles(r, opt.shapeVersion, out.fillStyles);
        fillCount = out.fillStyles.size() - fillBase;
        lineBase = out.lineStyles.size();
        ReadLineStyles(r, opt.shapeVersion, out.lineStyles);
        lineCount = out.lineStyles.size() - lineBase;
    }
    r.align();
    int fillBits = int(r.ub(4)), lineBits = int(r.ub(4));
    int64_t x = 0, y = 0;
    uint32_t f0 = 0, f1 = 0, ln = 0;
    bool newPath = true;
    while (true) {
        if (r.ub(1) == 0) {
            uint32_t flags = r.ub(5);
            if (flags == 0) break;
            if (flags & 1) {
                int n = int(r.ub(5));
                x = r.sb(n);
                y = r.sb(n);
                newPath = true;
            }
            uint32_t rf0 = f0, rf1 = f1, rln = ln;
            bool s0 = flags & 2, s1 = flags & 4, sl = flags & 8;
            if (s0) rf0 = r.ub(fillBits);
            if (s1) rf1 = r.ub(fillBits);
            if (sl) rln = r.ub(lineBits);
            if (flags & 16) {
                if (!opt.withStyles) throw ParseError("new styles in a shape without styles");
                fillBase = out.fillStyles.size();
                ReadFillStyles(r, opt.shapeVersion, out.fillStyles);
                fillCount = out.fillStyles.size() - fillBase;
                lineBase = out.lineStyles.size();
                ReadLineStyles(r, opt.shapeVersion, out.lineStyles);
                lineCount = out.lineStyles.size() - lineBase;
                fillBits = int(r.ub(4));
                lineBits = int(r.ub(4));
                // Selections not made in this record refer to the old arrays: drop them.
                if (!s0) rf0 = 0;
                if (!s1) rf1 = 0;
                if (!sl) rln = 0;
                newPath = true;
            }
            // Indices are 1-based within the current arrays; out of range means none.
            auto map = [](uint32_t v, size_t base, size_t count) -> uint32_t {
                return (v >= 1 && v <= count) ? uint32_t(base + v) : 0u;
            };
            if (s0) f0 = map(rf0, fillBase, fillCount); else if (flags & 16) f0 = 0;
            if (s1) f1 = map(rf1, fillBase, fillCount); else if (flags & 16) f1 = 0;
            if (sl) {
                uint32_t nl = map(rln, lineBase, lineCount);
                if (nl != ln) newPath = true;
                ln = nl;
            } else if (flags & 16) {
                ln = 0;
            }
            continue;
        }
        Edge e{};
        e.x0 = int32_t(x);
        e.y0 = int32_t(y);
        bool straight = r.ub(1);
        int n = int(r.ub(4)) + 2;
        if (straight) {
            int64_t dx = 0, dy = 0;
            if (r.ub(1)) {
                dx = r.sb(n);
                dy = r.sb(n);
            } else if (r.ub(1)) {
                dy = r.sb(n);
            } else {
                dx = r.sb(n);
            }
            x = ClampCoord(x + dx);
            y = ClampCoord(y + dy);
            e.curved = false;
            e.cx = int32_t((e.x0 + x) / 2);
            e.cy = int32_t((e.y0 + y) / 2);
        } else {
            int64_t cdx = r.sb(n), cdy = r.sb(n), adx = r.sb(n), ady = r.sb(n);
            e.cx = ClampCoord(x + cdx);
            e.cy = ClampCoord(y + cdy);
            x = ClampCoord(e.cx + adx);
            y = ClampCoord(e.cy + ady);
            e.curved = true;
        }
        e.x1 = int32_t(x);
        e.y1 = int32_t(y);
        RawEdge re{e, f0, f1, ln, newPath};
        raw.push_back(re);
        newPath = false;
    }
    r.align();
    BuildShape(raw, out);
    if (rawOut) *rawOut = std::move(raw);
}

static Edge Reverse(const Edge& e) { return Edge{e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curved}; }

void BuildShape(const std::vector<RawEdge>& raw, ShapeData& out) {
    out.fills.assign(out.fillStyles.size(), {});
    out.strokes.clear();
    out.sharedEdges = false;
    uint32_t prevLine = 0;
    for (const RawEdge& re : raw) {
        bool lineChanged = re.line != prevLine;
        prevLine = re.line;
        if (re.fill0 && re.fill1 && re.fill0 != re.fill1) out.sharedEdges = true;
        if (re.fill0 != re.fill1) {
            // The region of a style lies to one side of its edges; orient every edge
            // so that its style is on the right, then a plain non-zero fill finds it.
            if (re.fill1 && re.fill1 <= out.fills.size()) out.fills[re.fill1 - 1].push_back(re.e);
            if (re.fill0 && re.fill0 <= out.fills.size()) out.fills[re.fill0 - 1].push_back(Reverse(re.e));
        }
        if (re.line && re.line <= out.lineStyles.size()) {
            if (re.newPath || lineChanged || out.strokes.empty())
                out.strokes.push_back(StrokePath{re.line - 1, {}});
            out.strokes.back().edges.push_back(re.e);
        }
    }
}

}  // namespace swfmovie
