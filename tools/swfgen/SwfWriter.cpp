#include "SwfWriter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <zlib.h>

namespace swfgen {

Matrix Matrix::Transform(double scaleX, double scaleY, double radians, int32_t x, int32_t y) {
    double c = std::cos(radians), s = std::sin(radians);
    // Rotation after scale: [c -s; s c] * [sx 0; 0 sy].
    return Matrix{c * scaleX, s * scaleX, -s * scaleY, c * scaleY, x, y};
}

// ---------------------------------------------------------------------------

void BitWriter::ub(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        cur_ = uint8_t((cur_ << 1) | ((value >> i) & 1u));
        if (++nbits_ == 8) {
            buf_.push_back(cur_);
            cur_ = 0;
            nbits_ = 0;
        }
    }
}

void BitWriter::sb(int32_t value, int bits) { ub(uint32_t(value) & (bits >= 32 ? ~0u : ((1u << bits) - 1)), bits); }

void BitWriter::fb(double value, int bits) { sb(int32_t(std::lround(value * 65536.0)), bits); }

void BitWriter::align() {
    if (nbits_) {
        buf_.push_back(uint8_t(cur_ << (8 - nbits_)));
        cur_ = 0;
        nbits_ = 0;
    }
}

void BitWriter::u8(uint8_t v) {
    align();
    buf_.push_back(v);
}
void BitWriter::u16(uint16_t v) {
    u8(uint8_t(v));
    u8(uint8_t(v >> 8));
}
void BitWriter::u32(uint32_t v) {
    u16(uint16_t(v));
    u16(uint16_t(v >> 16));
}
void BitWriter::bytes(const void* p, size_t n) {
    align();
    const uint8_t* b = static_cast<const uint8_t*>(p);
    buf_.insert(buf_.end(), b, b + n);
}
void BitWriter::string(const std::string& s) {
    bytes(s.data(), s.size());
    u8(0);
}

int BitWriter::BitsSigned(int64_t v) {
    int n = 1;
    while (n < 32 && (v < -(int64_t(1) << (n - 1)) || v >= (int64_t(1) << (n - 1)))) ++n;
    return n;
}
int BitWriter::BitsUnsigned(uint64_t v) {
    int n = 0;
    while (n < 32 && v >= (uint64_t(1) << n)) ++n;
    return n;
}

void BitWriter::rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
    align();
    int n = std::max({BitsSigned(xmin), BitsSigned(xmax), BitsSigned(ymin), BitsSigned(ymax)});
    ub(uint32_t(n), 5);
    sb(xmin, n);
    sb(xmax, n);
    sb(ymin, n);
    sb(ymax, n);
    align();
}

void BitWriter::matrix(const Matrix& m) {
    align();
    int32_t sx = int32_t(std::lround(m.sx * 65536)), sy = int32_t(std::lround(m.sy * 65536));
    int32_t r0 = int32_t(std::lround(m.r0 * 65536)), r1 = int32_t(std::lround(m.r1 * 65536));
    if (sx != 65536 || sy != 65536) {
        ub(1, 1);
        int n = std::max(BitsSigned(sx), BitsSigned(sy));
        ub(uint32_t(n), 5);
        sb(sx, n);
        sb(sy, n);
    } else {
        ub(0, 1);
    }
    if (r0 || r1) {
        ub(1, 1);
        int n = std::max(BitsSigned(r0), BitsSigned(r1));
        ub(uint32_t(n), 5);
        sb(r0, n);
        sb(r1, n);
    } else {
        ub(0, 1);
    }
    int n = (m.tx || m.ty) ? std::max(BitsSigned(m.tx), BitsSigned(m.ty)) : 0;
    ub(uint32_t(n), 5);
    sb(m.tx, n);
    sb(m.ty, n);
    align();
}

void BitWriter::cxform(const CxForm& c, bool withAlpha) {
    align();
    int32_t mult[4] = {int32_t(std::lround(c.rm * 256)), int32_t(std::lround(c.gm * 256)),
                       int32_t(std::lround(c.bm * 256)), int32_t(std::lround(c.am * 256))};
    int32_t add[4] = {c.ra, c.ga, c.ba, c.aa};
    int k = withAlpha ? 4 : 3;
    bool hasMult = false, hasAdd = false;
    int n = 1;
    for (int i = 0; i < k; ++i) {
        if (mult[i] != 256) hasMult = true;
        if (add[i] != 0) hasAdd = true;
    }
    for (int i = 0; i < k; ++i) {
        if (hasMult) n = std::max(n, BitsSigned(mult[i]));
        if (hasAdd) n = std::max(n, BitsSigned(add[i]));
    }
    ub(hasAdd, 1);
    ub(hasMult, 1);
    ub(uint32_t(n), 4);
    if (hasMult)
        for (int i = 0; i < k; ++i) sb(mult[i], n);
    if (hasAdd)
        for (int i = 0; i < k; ++i) sb(add[i], n);
    align();
}

// ---------------------------------------------------------------------------

Matrix GradientSpec::LinearAlong(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
    double s = len / 32768.0, a = std::atan2(dy, dx);
    return Matrix::Transform(s, s, a, int32_t((x0 + x1) / 2), int32_t((y0 + y1) / 2));
}

Matrix GradientSpec::RadialAt(int32_t x, int32_t y, int32_t radius) {
    double s = radius / 16384.0;
    return Matrix::Transform(s, s, 0, x, y);
}

uint16_t ShapeBuilder::addFill(const FillSpec& f) {
    fills_.push_back(f);
    return uint16_t(fills_.size() - fillBase_);
}
uint16_t ShapeBuilder::addSolid(Color c) {
    FillSpec f;
    f.color = c;
    return addFill(f);
}
uint16_t ShapeBuilder::addLine(const LineSpec& l) {
    lines_.push_back(l);
    return uint16_t(lines_.size() - lineBase_);
}

void ShapeBuilder::touch(int32_t x, int32_t y) {
    minx_ = std::min(minx_, x);
    miny_ = std::min(miny_, y);
    maxx_ = std::max(maxx_, x);
    maxy_ = std::max(maxy_, y);
}

void ShapeBuilder::style(std::optional<uint16_t> f0, std::optional<uint16_t> f1, std::optional<uint16_t> ln) {
    Rec r;
    r.kind = Rec::Style;
    r.f0 = f0;
    r.f1 = f1;
    r.ln = ln;
    recs_.push_back(r);
}

void ShapeBuilder::moveTo(int32_t x, int32_t y) {
    Rec r;
    r.kind = Rec::Move;
    r.a = x;
    r.b = y;
    recs_.push_back(r);
    px_ = x;
    py_ = y;
    touch(x, y);
}

void ShapeBuilder::lineTo(int32_t x, int32_t y) {
    // One record holds at most 17-bit deltas: split longer lines.
    const int64_t kMax = 65535;
    int64_t dx = int64_t(x) - px_, dy = int64_t(y) - py_;
    int64_t parts = std::max<int64_t>(1, (std::max(std::llabs(dx), std::llabs(dy)) + kMax - 1) / kMax);
    for (int64_t i = 1; i < parts; ++i) {
        Rec r;
    r.kind = Rec::Line;
        r.a = int32_t(px_ + dx * i / parts);
        r.b = int32_t(py_ + dy * i / parts);
        recs_.push_back(r);
    }
    Rec r;
    r.kind = Rec::Line;
    r.a = x;
    r.b = y;
    recs_.push_back(r);
    px_ = x;
    py_ = y;
    touch(x, y);
}

void ShapeBuilder::curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y) {
    Rec r;
    r.kind = Rec::Curve;
    r.a = cx;
    r.b = cy;
    r.c = x;
    r.d = y;
    recs_.push_back(r);
    px_ = x;
    py_ = y;
    touch(cx, cy);
    touch(x, y);
}

void ShapeBuilder::newStyles() {
    Rec r;
    r.kind = Rec::NewStyles;
    r.fillsUpTo = fills_.size();
    r.linesUpTo = lines_.size();
    recs_.push_back(r);
    fillBase_ = fills_.size();
    lineBase_ = lines_.size();
}

void ShapeBuilder::rect(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t fill, uint16_t line) {
    style(std::nullopt, fill, line);
    moveTo(x, y);
    lineTo(x + w, y);
    lineTo(x + w, y + h);
    lineTo(x, y + h);
    lineTo(x, y);
}

void ShapeBuilder::ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, uint16_t fill, uint16_t line) {
    // Eight quadratic arcs; the control point sits on the tangents' crossing.
    const double k = 1 / std::cos(3.14159265358979323846 / 8);
    style(std::nullopt, fill, line);
    moveTo(cx + rx, cy);
    for (int i = 0; i < 8; ++i) {
        double a0 = i * 3.14159265358979323846 / 4, a1 = (i + 1) * 3.14159265358979323846 / 4, am = (a0 + a1) / 2;
        int32_t qx = cx + int32_t(std::lround(rx * k * std::cos(am))), qy = cy + int32_t(std::lround(ry * k * std::sin(am)));
        int32_t ex = cx + int32_t(std::lround(rx * std::cos(a1))), ey = cy + int32_t(std::lround(ry * std::sin(a1)));
        if (i == 7) {
            ex = cx + rx;
            ey = cy;
        }
        curveTo(qx, qy, ex, ey);
    }
}

static void WriteColor(BitWriter& w, Color c, int version) {
    if (version >= 3) w.rgba(c);
    else w.rgb(c);
}

static void WriteFill(BitWriter& w, const FillSpec& f, int version) {
    switch (f.kind) {
        case FillSpec::Solid:
            w.u8(0);
            WriteColor(w, f.color, version);
            break;
        case FillSpec::Gradient: {
            const GradientSpec& g = f.gradient;
            int kind = g.kind;
            if (kind == GradientSpec::Focal && version < 4) kind = GradientSpec::Radial;
            w.u8(uint8_t(kind));
            w.matrix(g.matrix);
            w.ub(uint32_t(g.spread), 2);
            w.ub(0, 2);
            w.ub(uint32_t(std::min<size_t>(g.stops.size(), 15)), 4);
            for (size_t i = 0; i < g.stops.size() && i < 15; ++i) {
                w.u8(g.stops[i].first);
                WriteColor(w, g.stops[i].second, version);
            }
            if (kind == GradientSpec::Focal) w.u16(uint16_t(int16_t(std::lround(g.focal * 256))));
            break;
        }
        case FillSpec::Bitmap:
            w.u8(uint8_t(0x40 | (f.repeat ? 0 : 1) | (f.smooth ? 0 : 2)));
            w.u16(f.bitmapId);
            w.matrix(f.bitmapMatrix);
            break;
    }
}

static void WriteStyles(BitWriter& w, const std::vector<FillSpec>& fills, size_t f0, size_t f1,
                        const std::vector<LineSpec>& lines, size_t l0, size_t l1, int version) {
    size_t nf = f1 - f0, nl = l1 - l0;
    if (nf >= 255 && version >= 2) {
        w.u8(0xFF);
        w.u16(uint16_t(nf));
    } else {
        w.u8(uint8_t(nf));
    }
    for (size_t i = f0; i < f1; ++i) WriteFill(w, fills[i], version);
    if (nl >= 255 && version >= 2) {
        w.u8(0xFF);
        w.u16(uint16_t(nl));
    } else {
        w.u8(uint8_t(nl));
    }
    for (size_t i = l0; i < l1; ++i) {
        const LineSpec& l = lines[i];
        w.u16(l.width);
        if (version >= 4) {
            w.ub(uint32_t(l.startCap), 2);
            w.ub(uint32_t(l.join), 2);
            w.ub(l.gradient ? 1 : 0, 1);  // has fill
            w.ub(0, 1);
            w.ub(0, 1);
            w.ub(0, 1);
            w.ub(0, 5);
            w.ub(0, 1);
            w.ub(uint32_t(l.endCap), 2);
            if (l.join == 2) w.u16(3 * 256);
            if (l.gradient) {
                FillSpec f;
                f.kind = FillSpec::Gradient;
                f.gradient = l.gradientFill;
                WriteFill(w, f, version);
            } else {
                w.rgba(l.color);
            }
        } else {
            WriteColor(w, l.color, version);
        }
    }
}

static int BitsSignedOf(int64_t v) { return BitWriter::BitsSigned(v); }

static void WriteEdges(BitWriter& w, const std::vector<std::pair<int32_t, int32_t>>& pts, bool curve) {
    if (!curve) {
        int32_t dx = pts[0].first, dy = pts[0].second;
        int n = std::max({BitsSignedOf(dx), BitsSignedOf(dy), 2});
        if (n > 17) throw std::runtime_error("edge too long for one record");
        w.ub(1, 1);
        w.ub(1, 1);
        w.ub(uint32_t(n - 2), 4);
        w.ub(1, 1);  // general line
        w.sb(dx, n);
        w.sb(dy, n);
    } else {
        int n = 2;
        for (auto& p : pts) n = std::max({n, BitsSignedOf(p.first), BitsSignedOf(p.second)});
        if (n > 17) throw std::runtime_error("edge too long for one record");
        w.ub(1, 1);
        w.ub(0, 1);
        w.ub(uint32_t(n - 2), 4);
        w.sb(pts[0].first, n);
        w.sb(pts[0].second, n);
        w.sb(pts[1].first, n);
        w.sb(pts[1].second, n);
    }
}

void ShapeBuilder::boundsRect(BitWriter& w) const {
    int32_t margin = 0;
    for (const LineSpec& l : lines_) margin = std::max<int32_t>(margin, l.width / 2 + 1);
    int32_t x0 = minx_ == INT32_MAX ? 0 : minx_ - margin, x1 = maxx_ == INT32_MIN ? 0 : maxx_ + margin;
    int32_t y0 = miny_ == INT32_MAX ? 0 : miny_ - margin, y1 = maxy_ == INT32_MIN ? 0 : maxy_ + margin;
    w.rect(x0, x1, y0, y1);
}

void ShapeBuilder::records(BitWriter& w, int fb, int lb, bool withStyles, bool glyph) const {
    int32_t x = 0, y = 0;
    size_t seg = 0;
    for (const Rec& r : recs_) {
        switch (r.kind) {
            case Rec::Style: {
                if (!withStyles) break;
                uint32_t flags = (r.ln && !glyph ? 8 : 0) | (r.f1 ? 4 : 0) | (r.f0 ? 2 : 0);
                if (!flags) break;
                w.ub(0, 1);
                w.ub(flags, 5);
                auto fill = [&](uint16_t v) { return glyph ? std::min<uint32_t>(v, 1) : v; };
                if (r.f0) w.ub(fill(*r.f0), fb);
                if (r.f1) w.ub(fill(*r.f1), fb);
                if (r.ln && !glyph) w.ub(*r.ln, lb);
                break;
            }
            case Rec::Move: {
                w.ub(0, 1);
                w.ub(1, 5);
                int n = std::max(BitWriter::BitsSigned(r.a), BitWriter::BitsSigned(r.b));
                w.ub(uint32_t(n), 5);
                w.sb(r.a, n);
                w.sb(r.b, n);
                x = r.a;
                y = r.b;
                break;
            }
            case Rec::Line:
                WriteEdges(w, {{r.a - x, r.b - y}}, false);
                x = r.a;
                y = r.b;
                break;
            case Rec::Curve:
                WriteEdges(w, {{r.a - x, r.b - y}, {r.c - r.a, r.d - r.b}}, true);
                x = r.c;
                y = r.d;
                break;
            case Rec::NewStyles: {
                if (!withStyles || glyph) break;
                ++seg;
                w.ub(0, 1);
                w.ub(16, 5);
                // The arrays between this record and the next one.
                size_t f0 = r.fillsUpTo, l0 = r.linesUpTo, f1 = fills_.size(), l1 = lines_.size();
                for (const Rec& n : recs_)
                    if (n.kind == Rec::NewStyles && n.fillsUpTo >= f0 && &n > &r) {
                        f1 = n.fillsUpTo;
                        l1 = n.linesUpTo;
                        break;
                    }
                WriteStyles(w, fills_, f0, f1, lines_, l0, l1, version_);
                fb = BitWriter::BitsUnsigned(f1 - f0);
                lb = BitWriter::BitsUnsigned(l1 - l0);
                w.ub(uint32_t(fb), 4);
                w.ub(uint32_t(lb), 4);
                break;
            }
        }
    }
    (void)seg;
    w.ub(0, 1);
    w.ub(0, 5);
}

std::vector<uint8_t> ShapeBuilder::body(int version) const {
    version_ = version;
    BitWriter w;
    boundsRect(w);
    if (version >= 4) {
        boundsRect(w);
        w.u8(nonZero_ ? 0x04 : 0);
    }
    size_t f1 = fills_.size(), l1 = lines_.size();
    for (const Rec& r : recs_)
        if (r.kind == Rec::NewStyles) {
            f1 = r.fillsUpTo;
            l1 = r.linesUpTo;
            break;
        }
    WriteStyles(w, fills_, 0, f1, lines_, 0, l1, version);
    int fb = BitWriter::BitsUnsigned(f1), lb = BitWriter::BitsUnsigned(l1);
    w.ub(uint32_t(fb), 4);
    w.ub(uint32_t(lb), 4);
    records(w, fb, lb, true, false);
    return w.data();
}

std::vector<uint8_t> ShapeBuilder::glyphRecords() const {
    BitWriter w;
    w.ub(1, 4);
    w.ub(0, 4);
    records(w, 1, 0, true, true);
    return w.data();
}

static void WriteMorphFill(BitWriter& w, const FillSpec& a, const FillSpec& b) {
    if (a.kind == FillSpec::Gradient) {
        w.u8(uint8_t(a.gradient.kind == GradientSpec::Linear ? 0x10 : 0x12));
        w.matrix(a.gradient.matrix);
        w.matrix(b.gradient.matrix);
        size_t n = std::min({a.gradient.stops.size(), b.gradient.stops.size(), size_t(15)});
        w.u8(uint8_t(n));
        for (size_t i = 0; i < n; ++i) {
            w.u8(a.gradient.stops[i].first);
            w.rgba(a.gradient.stops[i].second);
            w.u8(b.gradient.stops[i].first);
            w.rgba(b.gradient.stops[i].second);
        }
    } else {
        w.u8(0);
        w.rgba(a.color);
        w.rgba(b.kind == FillSpec::Solid ? b.color : a.color);
    }
}

std::vector<uint8_t> ShapeBuilder::morphBody(const ShapeBuilder& end, bool morph2) const {
    if (end.fills_.size() != fills_.size() || end.lines_.size() != lines_.size())
        throw std::runtime_error("morph ends need the same styles");
    BitWriter w;
    boundsRect(w);
    end.boundsRect(w);
    if (morph2) {
        boundsRect(w);  // edge bounds
        end.boundsRect(w);
        w.u8(0);
    }
    BitWriter rest;
    rest.u8(uint8_t(fills_.size()));
    for (size_t i = 0; i < fills_.size(); ++i) WriteMorphFill(rest, fills_[i], end.fills_[i]);
    rest.u8(uint8_t(lines_.size()));
    for (size_t i = 0; i < lines_.size(); ++i) {
        rest.u16(lines_[i].width);
        rest.u16(end.lines_[i].width);
        if (morph2) {
            const LineSpec& l = lines_[i];
            rest.ub(uint32_t(l.startCap), 2);
            rest.ub(uint32_t(l.join), 2);
            rest.ub(0, 4);  // no fill, scaling, no hinting
            rest.ub(0, 5);
            rest.ub(0, 1);
            rest.ub(uint32_t(l.endCap), 2);
            if (l.join == 2) rest.u16(3 * 256);
        }
        rest.rgba(lines_[i].color);
        rest.rgba(end.lines_[i].color);
    }
    int fb = BitWriter::BitsUnsigned(fills_.size()), lb = BitWriter::BitsUnsigned(lines_.size());
    rest.ub(uint32_t(fb), 4);
    rest.ub(uint32_t(lb), 4);
    records(rest, fb, lb, true, false);
    std::vector<uint8_t> startPart = rest.data();
    w.u32(uint32_t(startPart.size()));  // offset to the end edges
    w.bytes(startPart.data(), startPart.size());
    w.ub(0, 4);
    w.ub(0, 4);
    end.records(w, 0, 0, false, false);
    return w.data();
}

// ---------------------------------------------------------------------------

void TagStream::tag(uint16_t code, const std::vector<uint8_t>& body) {
    size_t n = body.size();
    if (n < 0x3F && code != 6 && code != 21 && code != 35 && code != 20 && code != 36) {
        uint16_t h = uint16_t((code << 6) | n);
        out_.push_back(uint8_t(h));
        out_.push_back(uint8_t(h >> 8));
    } else {
        // Bitmap tags always use the long form, as authoring tools write them.
        uint16_t h = uint16_t((code << 6) | 0x3F);
        out_.push_back(uint8_t(h));
        out_.push_back(uint8_t(h >> 8));
        for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(n >> (8 * i)));
    }
    out_.insert(out_.end(), body.begin(), body.end());
}

void TagStream::place(const Place& p) {
    BitWriter w;
    bool three = p.blend.has_value();
    uint8_t flags = uint8_t((p.move ? 1 : 0) | (p.id ? 2 : 0) | (p.matrix ? 4 : 0) | (p.cxform ? 8 : 0) |
                            (p.ratio ? 0x10 : 0) | (!p.name.empty() ? 0x20 : 0) | (p.clipDepth ? 0x40 : 0));
    w.u8(flags);
    if (three) w.u8(0x02);
    w.u16(p.depth);
    if (p.id) w.u16(*p.id);
    if (p.matrix) w.matrix(*p.matrix);
    if (p.cxform) w.cxform(*p.cxform, true);
    if (p.ratio) w.u16(*p.ratio);
    if (!p.name.empty()) w.string(p.name);
    if (p.clipDepth) w.u16(*p.clipDepth);
    if (three) w.u8(*p.blend);
    tag(three ? 70 : 26, w);
}

void TagStream::placeObject1(uint16_t id, uint16_t depth, const Matrix& m) {
    BitWriter w;
    w.u16(id);
    w.u16(depth);
    w.matrix(m);
    tag(4, w);
}

void TagStream::remove(uint16_t depth) {
    BitWriter w;
    w.u16(depth);
    tag(28, w);
}

void TagStream::removeObject1(uint16_t id, uint16_t depth) {
    BitWriter w;
    w.u16(id);
    w.u16(depth);
    tag(5, w);
}

void TagStream::frameLabel(const std::string& label) {
    BitWriter w;
    w.string(label);
    tag(43, w);
}

void TagStream::doAction(const std::vector<uint8_t>& actions) {
    std::vector<uint8_t> b = actions;
    b.push_back(0);
    tag(12, b);
}

MovieWriter::MovieWriter(int widthPx, int heightPx, double fps, uint8_t version)
    : w_(widthPx), h_(heightPx), fps_(fps), version_(version) {}

void MovieWriter::background(Color c) {
    BitWriter w;
    w.rgb(c);
    tag(9, w);
}

void MovieWriter::defineShape(uint16_t id, const ShapeBuilder& s, int version) {
    static const uint16_t codes[] = {2, 2, 22, 32, 83};
    version = std::clamp(version, 1, 4);
    BitWriter w;
    w.u16(id);
    std::vector<uint8_t> b = s.body(version);
    w.bytes(b.data(), b.size());
    tag(codes[version], w);
}

void MovieWriter::defineSprite(uint16_t id, const TagStream& sprite) {
    BitWriter w;
    w.u16(id);
    w.u16(sprite.frames());
    w.bytes(sprite.bytes().data(), sprite.bytes().size());
    w.u16(0);  // End
    tag(39, w);
}

void MovieWriter::defineBitsLossless2(uint16_t id, int wpx, int hpx, const std::vector<uint32_t>& argb) {
    std::vector<uint8_t> raw;
    raw.reserve(argb.size() * 4);
    for (uint32_t p : argb) {
        uint32_t a = p >> 24;
        auto pm = [&](int sh) { return uint8_t((((p >> sh) & 255) * a + 127) / 255); };
        raw.push_back(uint8_t(a));
        raw.push_back(pm(16));
        raw.push_back(pm(8));
        raw.push_back(pm(0));
    }
    BitWriter w;
    w.u16(id);
    w.u8(5);
    w.u16(uint16_t(wpx));
    w.u16(uint16_t(hpx));
    std::vector<uint8_t> z = Deflate(raw);
    w.bytes(z.data(), z.size());
    tag(36, w);
}

void MovieWriter::defineMorphShape(uint16_t id, const ShapeBuilder& start, const ShapeBuilder& end, bool morph2) {
    BitWriter w;
    w.u16(id);
    std::vector<uint8_t> b = start.morphBody(end, morph2);
    w.bytes(b.data(), b.size());
    tag(morph2 ? 84 : 46, w);
}

void MovieWriter::defineFont(uint16_t id, const std::string& name, const std::vector<GlyphSpec>& glyphs, bool font3,
                             int16_t ascent, int16_t descent) {
    std::vector<std::vector<uint8_t>> shapes;
    for (const GlyphSpec& g : glyphs) shapes.push_back(g.shape.glyphRecords());
    size_t n = glyphs.size();
    // Offsets from the start of the offset table; wide when they need it.
    size_t tableSize = n * 2 + 2, total = 0;
    for (const auto& sh : shapes) total += sh.size();
    bool wide = tableSize + total > 0xFFFF;
    if (wide) tableSize = n * 4 + 4;
    BitWriter w;
    w.u16(id);
    w.u8(uint8_t(0x80 | 0x04 | (wide ? 0x08 : 0)));  // layout, wide codes
    w.u8(1);                                           // language
    w.u8(uint8_t(name.size()));
    w.bytes(name.data(), name.size());
    w.u16(uint16_t(n));
    size_t off = tableSize;
    for (const auto& sh : shapes) {
        if (wide) w.u32(uint32_t(off));
        else w.u16(uint16_t(off));
        off += sh.size();
    }
    if (wide) w.u32(uint32_t(off));
    else w.u16(uint16_t(off));
    for (const auto& sh : shapes) w.bytes(sh.data(), sh.size());
    for (const GlyphSpec& g : glyphs) w.u16(g.code);
    w.u16(uint16_t(ascent));
    w.u16(uint16_t(descent));
    w.u16(0);  // leading
    for (const GlyphSpec& g : glyphs) w.u16(uint16_t(g.advance));
    for (size_t i = 0; i < n; ++i) w.rect(0, 0, 0, 0);
    w.u16(0);  // no kerning
    tag(font3 ? 75 : 48, w);
}

void MovieWriter::defineText(uint16_t id, const std::vector<TextRunSpec>& runs, bool withAlpha, const Matrix& m) {
    int glyphBits = 1, advBits = 1;
    int32_t x0 = INT32_MAX, x1 = INT32_MIN, y0 = INT32_MAX, y1 = INT32_MIN;
    for (const TextRunSpec& r : runs) {
        int32_t x = r.x;
        for (const auto& g : r.glyphs) {
            glyphBits = std::max(glyphBits, BitWriter::BitsUnsigned(g.first));
            advBits = std::max(advBits, BitWriter::BitsSigned(g.second));
            x += g.second;
        }
        x0 = std::min(x0, r.x);
        x1 = std::max(x1, x);
        y0 = std::min<int32_t>(y0, r.y - r.height);
        y1 = std::max<int32_t>(y1, r.y + r.height / 2);
    }
    if (runs.empty()) x0 = x1 = y0 = y1 = 0;
    BitWriter w;
    w.u16(id);
    w.rect(x0, x1, y0, y1);
    w.matrix(m);
    w.u8(uint8_t(glyphBits));
    w.u8(uint8_t(advBits));
    for (const TextRunSpec& r : runs) {
        w.u8(0x80 | 0x08 | 0x04 | 0x02 | 0x01);
        w.u16(r.fontId);
        if (withAlpha) w.rgba(r.color);
        else w.rgb(r.color);
        w.u16(uint16_t(int16_t(r.x)));
        w.u16(uint16_t(int16_t(r.y)));
        w.u16(r.height);
        w.u8(uint8_t(r.glyphs.size()));
        for (const auto& g : r.glyphs) {
            w.ub(g.first, glyphBits);
            w.sb(g.second, advBits);
        }
        w.align();
    }
    w.u8(0);
    tag(withAlpha ? 33 : 11, w);
}

void MovieWriter::defineEditText(uint16_t id, const EditTextSpec& e) {
    BitWriter w;
    w.u16(id);
    w.rect(e.xmin, e.xmax, e.ymin, e.ymax);
    // Text, word wrap, multiline, read-only, colour, font.
    w.u8(uint8_t(0x80 | (e.wordWrap ? 0x40 : 0) | 0x20 | 0x08 | 0x04 | (e.fontId ? 0x01 : 0)));
    w.u8(uint8_t(0x20 | (e.html ? 0x02 : 0) | (e.useOutlines ? 0x01 : 0)));  // layout
    if (e.fontId) {
        w.u16(*e.fontId);
        w.u16(e.height);
    }
    w.rgba(e.color);
    w.u8(e.align);
    w.u16(0);
    w.u16(0);
    w.u16(0);
    w.u16(0);
    w.string("");
    w.string(e.text);
    tag(37, w);
}

void MovieWriter::defineBitsJpeg(uint16_t id, const std::vector<uint8_t>& image, const std::vector<uint8_t>* alpha) {
    BitWriter w;
    w.u16(id);
    if (alpha) w.u32(uint32_t(image.size()));
    w.bytes(image.data(), image.size());
    if (alpha) {
        std::vector<uint8_t> z = Deflate(*alpha);
        w.bytes(z.data(), z.size());
    }
    tag(alpha ? 35 : 21, w);
}

std::vector<uint8_t> MovieWriter::finish(bool compress, std::optional<uint16_t> frameCount) {
    BitWriter body;
    body.rect(0, w_ * 20, 0, h_ * 20);
    body.u16(uint16_t(std::lround(fps_ * 256)));
    body.u16(frameCount ? *frameCount : frames());
    std::vector<uint8_t> b = body.data();
    b.insert(b.end(), bytes().begin(), bytes().end());
    b.push_back(0);  // End
    b.push_back(0);
    std::vector<uint8_t> out{uint8_t(compress ? 'C' : 'F'), 'W', 'S', version_};
    uint32_t len = uint32_t(b.size() + 8);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(len >> (8 * i)));
    if (compress) {
        std::vector<uint8_t> z = Deflate(b);
        out.insert(out.end(), z.begin(), z.end());
    } else {
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in) {
    uLongf n = compressBound(uLong(in.size()));
    std::vector<uint8_t> out(n);
    if (compress2(out.data(), &n, in.data(), uLong(in.size()), 9) != Z_OK) throw std::runtime_error("deflate failed");
    out.resize(n);
    return out;
}

namespace act {
std::vector<uint8_t> Stop() { return {0x07}; }
std::vector<uint8_t> Play() { return {0x06}; }
std::vector<uint8_t> NextFrame() { return {0x04}; }
std::vector<uint8_t> PrevFrame() { return {0x05}; }
std::vector<uint8_t> GotoFrame(uint16_t frame) { return {0x81, 2, 0, uint8_t(frame), uint8_t(frame >> 8)}; }
std::vector<uint8_t> GotoLabel(const std::string& label) {
    std::vector<uint8_t> v;
    v.reserve(label.size() + 4);
    v.push_back(0x8C);
    v.push_back(uint8_t(label.size() + 1));
    v.push_back(uint8_t((label.size() + 1) >> 8));
    for (char c : label) v.push_back(uint8_t(c));
    v.push_back(0);
    return v;
}
std::vector<uint8_t> SetTarget(const std::string& target) {
    std::vector<uint8_t> v = GotoLabel(target);
    v[0] = 0x8B;
    return v;
}
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
}  // namespace act

}  // namespace swfgen
