#include "RasterPaint.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace raster {

namespace {

inline uint32_t Div255(uint32_t v) { return (v + 128 + ((v + 128) >> 8)) >> 8; }

// Multiply all four channels by a/256 (a in 0..256).
inline uint32_t MulPix(uint32_t p, uint32_t a) {
    uint32_t rb = (((p & 0x00FF00FFu) * a) >> 8) & 0x00FF00FFu;
    uint32_t ag = (((p >> 8) & 0x00FF00FFu) * a) & 0xFF00FF00u;
    return rb | ag;
}
inline uint32_t To256(uint32_t a255) { return a255 + (a255 >> 7); }

inline uint32_t Over(uint32_t s, uint32_t d) {
    uint32_t sa = s >> 24;
    if (sa == 255) return s;
    return s + MulPix(d, To256(255 - sa));
}

// Per-channel add, clamped at 255 (the Add blend on premultiplied pixels).
inline uint32_t AddSat(uint32_t a, uint32_t b) {
    uint32_t rb = (a & 0x00FF00FFu) + (b & 0x00FF00FFu);
    uint32_t ag = ((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu);
    // A lane that carried into its ninth bit becomes 0xFF.
    rb |= 0x01000100u - ((rb >> 8) & 0x00010001u);
    ag |= 0x01000100u - ((ag >> 8) & 0x00010001u);
    return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

inline int Ch(uint32_t p, int shift) { return int((p >> shift) & 255); }

// Separable blend modes on premultiplied colours (values 0..255).
uint32_t BlendPixel(BlendMode mode, uint32_t s, uint32_t d) {
    int sa = Ch(s, 24), da = Ch(d, 24);
    if (sa == 0 && mode != BlendMode::Alpha) return d;
    int outA;
    switch (mode) {
        case BlendMode::Add: outA = std::min(255, sa + da); break;
        case BlendMode::Alpha: outA = int(Div255(uint32_t(da * sa))); break;
        case BlendMode::Erase: outA = int(Div255(uint32_t(da * (255 - sa)))); break;
        case BlendMode::Subtract: outA = da; break;
        case BlendMode::Invert: outA = da; break;
        default: outA = sa + da - int(Div255(uint32_t(sa * da))); break;
    }
    uint32_t out = uint32_t(outA) << 24;
    for (int sh = 0; sh <= 16; sh += 8) {
        int sc = Ch(s, sh), dc = Ch(d, sh), v;
        int scDa = int(Div255(uint32_t(sc * da))), dcSa = int(Div255(uint32_t(dc * sa)));
        int rest = int(Div255(uint32_t(sc * (255 - da)))) + int(Div255(uint32_t(dc * (255 - sa))));
        switch (mode) {
            case BlendMode::Multiply: v = int(Div255(uint32_t(sc * dc))) + rest; break;
            case BlendMode::Screen: v = sc + dc - int(Div255(uint32_t(sc * dc))); break;
            case BlendMode::Lighten: v = std::max(scDa, dcSa) + rest; break;
            case BlendMode::Darken: v = std::min(scDa, dcSa) + rest; break;
            case BlendMode::Difference: v = sc + dc - 2 * std::min(scDa, dcSa); break;
            case BlendMode::Add: v = sc + dc; break;
            case BlendMode::Subtract: v = dc - sc; break;
            case BlendMode::Invert: v = int(Div255(uint32_t((da - dc) * sa))) + int(Div255(uint32_t(dc * (255 - sa)))); break;
            case BlendMode::Alpha: v = int(Div255(uint32_t(dc * sa))); break;
            case BlendMode::Erase: v = int(Div255(uint32_t(dc * (255 - sa)))); break;
            case BlendMode::Overlay:
            case BlendMode::HardLight: {
                bool dark = mode == BlendMode::Overlay ? 2 * dc <= da : 2 * sc <= sa;
                int m = dark ? int(Div255(uint32_t(2 * sc * dc)))
                             : int(Div255(uint32_t(sa * da))) -
                                   int(Div255(uint32_t(2 * (da - dc) * (sa - sc))));
                v = m + rest;
                break;
            }
            default: v = sc + int(Div255(uint32_t(dc * (255 - sa)))); break;
        }
        v = std::clamp(v, 0, outA);
        out |= uint32_t(v) << sh;
    }
    return out;
}

uint8_t Clamp255(float v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return uint8_t(v + 0.5f);
}

}  // namespace

uint32_t Premultiply(Rgba c) {
    uint32_t a = c.a;
    return (a << 24) | (Div255(c.r * a) << 16) | (Div255(c.g * a) << 8) | Div255(c.b * a);
}

bool SpanPainter::prepare(const Paint& paint, const ColorTransform& cx, const Composite& comp, int canvasWidth) {
    comp_ = comp;
    maskStride_ = canvasWidth;
    switch (paint.type) {
        case Paint::Type::Solid: {
            Rgba c = cx.apply(paint.color);
            if (c.a == 0 && comp.blend != BlendMode::Alpha) return false;
            src_ = Src::Solid;
            solid_ = Premultiply(c);
            opaque_ = c.a == 255;
            return true;
        }
        case Paint::Type::Gradient: {
            if (paint.stops.empty()) return false;
            Matrix m = paint.matrix;
            if (!m.invert(inv_)) return false;
            switch (paint.gradient) {
                case GradientKind::Linear: src_ = Src::Linear; break;
                case GradientKind::Radial: src_ = Src::Radial; break;
                case GradientKind::Focal: src_ = Src::Focal; break;
            }
            spread_ = paint.spread;
            focal_ = std::clamp(double(paint.focal), -0.98, 0.98);
            // 256-entry table over the ratios, colour transform applied to the stops.
            std::vector<GradientStop> stops = paint.stops;
            std::stable_sort(stops.begin(), stops.end(),
                             [](const GradientStop& a, const GradientStop& b) { return a.ratio < b.ratio; });
            opaque_ = true;
            size_t k = 0;
            for (int i = 0; i < 256; ++i) {
                while (k + 1 < stops.size() && stops[k + 1].ratio <= i) ++k;
                Rgba c;
                if (i <= stops.front().ratio) {
                    c = stops.front().color;
                } else if (k + 1 >= stops.size()) {
                    c = stops.back().color;
                } else {
                    const GradientStop& a = stops[k];
                    const GradientStop& b = stops[k + 1];
                    float t = b.ratio == a.ratio ? 1.f : float(i - a.ratio) / float(b.ratio - a.ratio);
                    c.r = Clamp255(a.color.r + (b.color.r - a.color.r) * t);
                    c.g = Clamp255(a.color.g + (b.color.g - a.color.g) * t);
                    c.b = Clamp255(a.color.b + (b.color.b - a.color.b) * t);
                    c.a = Clamp255(a.color.a + (b.color.a - a.color.a) * t);
                }
                c = cx.apply(c);
                if (c.a != 255) opaque_ = false;
                lut_[i] = Premultiply(c);
            }
            return true;
        }
        case Paint::Type::Bitmap: {
            const Bitmap* b = paint.bitmap;
            if (!b || b->width <= 0 || b->height <= 0 ||
                b->pixels.size() < size_t(b->width) * size_t(b->height))
                return false;
            if (!paint.matrix.invert(inv_)) return false;
            src_ = Src::Bitmap;
            bmp_ = b;
            repeat_ = paint.repeat;
            smooth_ = paint.smooth;
            bmpCx_ = cx;
            bmpCxIdentity_ = cx.isIdentity();
            opaque_ = b->opaque && (bmpCxIdentity_ || (cx.am >= 1 && cx.aa >= 0));
            return true;
        }
    }
    return false;
}

void SpanPainter::fetch(int y, int x, int len, uint32_t* out) {
    const double px = x + 0.5, py = y + 0.5;
    double gx = inv_.a * px + inv_.c * py + inv_.tx;
    double gy = inv_.b * px + inv_.d * py + inv_.ty;
    const double sx = inv_.a, sy = inv_.b;
    auto index = [this](int64_t i) -> uint32_t {
        switch (spread_) {
            case Spread::Pad: return uint32_t(std::clamp<int64_t>(i, 0, 255));
            case Spread::Repeat: return uint32_t(i & 255);
            case Spread::Reflect: {
                int64_t r = i & 511;
                return uint32_t(r > 255 ? 511 - r : r);
            }
        }
        return 0;
    };
    switch (src_) {
        case Src::Solid:
            for (int i = 0; i < len; ++i) out[i] = solid_;
            return;
        case Src::Linear: {
            // Index in 16.16 fixed point: (gx + 16384) / 32768 * 256.
            double v0 = (gx + 16384.0) * 512.0, dv = sx * 512.0;
            double vEnd = v0 + dv * len;
            const double lim = 1e15;
            if (std::fabs(v0) < lim && std::fabs(vEnd) < lim) {
                int64_t v = int64_t(v0), d = int64_t(dv);
                if (d == 0) {
                    // Constant along the row (a vertical gradient): one colour.
                    std::fill(out, out + len, lut_[index(v >> 16)]);
                    return;
                }
                if (spread_ == Spread::Pad) {
                    for (int i = 0; i < len; ++i, v += d) {
                        int64_t k = v >> 16;
                        out[i] = lut_[k < 0 ? 0 : (k > 255 ? 255 : k)];
                    }
                } else {
                    for (int i = 0; i < len; ++i, v += d) out[i] = lut_[index(v >> 16)];
                }
            } else {
                for (int i = 0; i < len; ++i) {
                    double t = (gx + sx * i + 16384.0) / 128.0;
                    out[i] = lut_[index(int64_t(std::clamp(t, -1e9, 1e9)))];
                }
            }
            return;
        }
        case Src::Radial: {
            // Float is plenty for a 256-entry table and lets the loop vectorise.
            const float fx = float(gx), fy = float(gy), dx = float(sx), dy = float(sy);
            if (spread_ == Spread::Pad && std::fabs(gx) + std::fabs(sx) * len < 1e7 &&
                std::fabs(gy) + std::fabs(sy) * len < 1e7) {
                for (int i = 0; i < len; ++i) {
                    float x = fx + dx * float(i), y = fy + dy * float(i);
                    float r = std::sqrt(x * x + y * y) * (1.f / 64.f);
                    int k = int(std::min(r, 255.f));
                    out[i] = lut_[k];
                }
                return;
            }
            for (int i = 0; i < len; ++i, gx += sx, gy += sy) {
                double r = std::sqrt(gx * gx + gy * gy) / 64.0;
                out[i] = lut_[index(int64_t(std::min(r, 1e9)))];
            }
            return;
        }
        case Src::Focal: {
            // t = |P - F| / |Q - F| where Q is where the ray from the focal point F
            // through P meets the gradient circle.
            const double R = 16384.0, fx = focal_ * R;
            for (int i = 0; i < len; ++i, gx += sx, gy += sy) {
                double dx = gx - fx, dy = gy;
                double dist = std::sqrt(dx * dx + dy * dy);
                double t;
                if (dist < 1e-9) {
                    t = 0;
                } else {
                    double ux = dx / dist;
                    double b = fx * ux;  // F . u (F on the x axis)
                    double s = -b + std::sqrt(std::max(0.0, b * b - fx * fx + R * R));
                    t = s > 1e-9 ? dist / s : 1.0;
                }
                out[i] = lut_[index(int64_t(std::min(t * 256.0, 1e9)))];
            }
            return;
        }
        case Src::Bitmap: {
            const double lim = 1e9;  // far inside 16.16 fixed point in 64 bits
            const double ex = gx + sx * len, ey = gy + sy * len;
            if (std::fabs(gx) < lim && std::fabs(gy) < lim && std::fabs(ex) < lim && std::fabs(ey) < lim) {
                const int64_t u = std::llround(gx * 65536.0), v = std::llround(gy * 65536.0);
                const int64_t du = std::llround(sx * 65536.0), dv = std::llround(sy * 65536.0);
                if (smooth_) {
                    if (repeat_) BitmapRow<true, true>(u, v, du, dv, len, out);
                    else BitmapRow<true, false>(u, v, du, dv, len, out);
                } else {
                    if (repeat_) BitmapRow<false, true>(u, v, du, dv, len, out);
                    else BitmapRow<false, false>(u, v, du, dv, len, out);
                }
            } else {
                // Coordinates this far out only come from degenerate matrices: the
                // nearest edge or wrapped texel, computed the slow way.
                const int w = bmp_->width, h = bmp_->height;
                for (int i = 0; i < len; ++i, gx += sx, gy += sy) {
                    auto pick = [&](double c, int n) -> int64_t {
                        c = std::clamp(c, -1e15, 1e15);
                        int64_t k = int64_t(std::floor(c));
                        if (repeat_) {
                            k %= n;
                            return k < 0 ? k + n : k;
                        }
                        return std::clamp<int64_t>(k, 0, n - 1);
                    };
                    out[i] = bmp_->pixels[size_t(pick(gy, h)) * size_t(w) + size_t(pick(gx, w))];
                }
            }
            if (!bmpCxIdentity_) {
                for (int i = 0; i < len; ++i) {
                    uint32_t c = out[i], a = c >> 24;
                    Rgba s{0, 0, 0, uint8_t(a)};
                    if (a) {
                        s.r = uint8_t(std::min<uint32_t>(255, (Ch(c, 16) * 255 + a / 2) / a));
                        s.g = uint8_t(std::min<uint32_t>(255, (Ch(c, 8) * 255 + a / 2) / a));
                        s.b = uint8_t(std::min<uint32_t>(255, (Ch(c, 0) * 255 + a / 2) / a));
                    }
                    out[i] = Premultiply(bmpCx_.apply(s));
                }
            }
            return;
        }
    }
}

// One run of texels along a row, u and v in 16.16 texel coordinates of the first
// pixel's centre. Wrapping divides only when a coordinate leaves the bitmap.
template <bool Smooth, bool Repeat>
void SpanPainter::BitmapRow(int64_t u, int64_t v, int64_t du, int64_t dv, int len, uint32_t* out) const {
    const int w = bmp_->width, h = bmp_->height;
    const int64_t W = int64_t(w) << 16, H = int64_t(h) << 16;
    const uint32_t* pix = bmp_->pixels.data();
    auto wrap = [](int64_t c, int64_t n) {
        if (c >= 0 && c < n) return c;
        c %= n;
        return c < 0 ? c + n : c;
    };
    if (Smooth) {
        // Sample between texel centres.
        u -= 0x8000;
        v -= 0x8000;
    }
    if (Repeat) {
        u = wrap(u, W);
        v = wrap(v, H);
    }
    if (Smooth && dv == 0) {
        // Rows that do not tilt (unrotated bitmaps): the two texel rows and their
        // weight hold for the whole run, and each column is blended down once and
        // kept while the pixels step across it.
        int64_t v0 = v >> 16, v1 = v0 + 1;
        const uint32_t fv = uint32_t((v >> 8) & 255);
        if (Repeat) {
            if (v1 >= h) v1 -= h;
        } else {
            v0 = v0 < 0 ? 0 : (v0 >= h ? h - 1 : v0);
            v1 = v1 < 0 ? 0 : (v1 >= h ? h - 1 : v1);
        }
        const uint32_t* r0 = pix + size_t(v0) * size_t(w);
        const uint32_t* r1 = pix + size_t(v1) * size_t(w);
        int64_t k0 = -1, k1 = -1;
        uint32_t c0 = 0, c1 = 0;
        auto column = [&](int64_t k) {
            if (k == k0) return c0;
            if (k == k1) return c1;
            return MulPix(r0[k], 256 - fv) + MulPix(r1[k], fv);
        };
        for (int i = 0; i < len; ++i) {
            int64_t u0 = u >> 16, u1 = u0 + 1;
            const uint32_t fu = uint32_t((u >> 8) & 255);
            if (Repeat) {
                if (u1 >= w) u1 -= w;
            } else {
                u0 = u0 < 0 ? 0 : (u0 >= w ? w - 1 : u0);
                u1 = u1 < 0 ? 0 : (u1 >= w ? w - 1 : u1);
            }
            uint32_t a = column(u0), b = column(u1);
            k0 = u0;
            c0 = a;
            k1 = u1;
            c1 = b;
            out[i] = fu ? MulPix(a, 256 - fu) + MulPix(b, fu) : a;
            u += du;
            if (Repeat) u = wrap(u, W);
        }
        return;
    }
    for (int i = 0; i < len; ++i) {
        if (!Smooth) {
            int64_t iu = u >> 16, iv = v >> 16;
            if (!Repeat) {
                iu = iu < 0 ? 0 : (iu >= w ? w - 1 : iu);
                iv = iv < 0 ? 0 : (iv >= h ? h - 1 : iv);
            }
            out[i] = pix[size_t(iv) * size_t(w) + size_t(iu)];
        } else {
            int64_t u0 = u >> 16, v0 = v >> 16, u1 = u0 + 1, v1 = v0 + 1;
            const uint32_t fu = uint32_t((u >> 8) & 255), fv = uint32_t((v >> 8) & 255);
            if (Repeat) {
                if (u1 >= w) u1 -= w;
                if (v1 >= h) v1 -= h;
            } else {
                u0 = u0 < 0 ? 0 : (u0 >= w ? w - 1 : u0);
                u1 = u1 < 0 ? 0 : (u1 >= w ? w - 1 : u1);
                v0 = v0 < 0 ? 0 : (v0 >= h ? h - 1 : v0);
                v1 = v1 < 0 ? 0 : (v1 >= h ? h - 1 : v1);
            }
            const uint32_t* r0 = pix + size_t(v0) * size_t(w);
            const uint32_t* r1 = pix + size_t(v1) * size_t(w);
            uint32_t top = MulPix(r0[u0], 256 - fu) + MulPix(r0[u1], fu);
            uint32_t bot = MulPix(r1[u0], 256 - fu) + MulPix(r1[u1], fu);
            out[i] = MulPix(top, 256 - fv) + MulPix(bot, fv);
        }
        u += du;
        v += dv;
        if (Repeat) {
            u = wrap(u, W);
            v = wrap(v, H);
        }
    }
}

void SpanPainter::composite(uint32_t* dst, const uint32_t* src, int len, unsigned coverage, const uint8_t* mask) {
    const bool normal = comp_.blend == BlendMode::Normal || comp_.blend == BlendMode::Layer;
    if (normal && !mask) {
        // The common case, kept branch-free so it vectorises: an opaque source
        // pixel scales the destination by zero.
        if (coverage >= 255) {
            for (int i = 0; i < len; ++i) dst[i] = src[i] + MulPix(dst[i], To256(255 - (src[i] >> 24)));
        } else {
            const uint32_t c = To256(coverage);
            for (int i = 0; i < len; ++i) {
                uint32_t s = MulPix(src[i], c);
                dst[i] = s + MulPix(dst[i], To256(255 - (s >> 24)));
            }
        }
        return;
    }
    if (comp_.blend == BlendMode::Add && !mask) {
        const uint32_t c = To256(std::min(coverage, 255u));
        for (int i = 0; i < len; ++i) dst[i] = AddSat(MulPix(src[i], c), dst[i]);
        return;
    }
    for (int i = 0; i < len; ++i) {
        unsigned cov = coverage;
        if (mask) cov = Div255(cov * mask[i]);
        if (!cov) continue;
        uint32_t s = cov >= 255 ? src[i] : MulPix(src[i], To256(cov));
        dst[i] = normal ? Over(s, dst[i]) : BlendPixel(comp_.blend, s, dst[i]);
    }
}

void SpanPainter::span(uint32_t* row, int y, int x, int len, unsigned coverage) {
    if (comp_.edgeBuffer && coverage < 255) {
        uint32_t* e = comp_.edgeBuffer + size_t(y) * size_t(maskStride_) + size_t(x);
        const uint32_t c = To256(coverage);
        comp_.edgeSpans->push_back(EdgeSpan{y, x, len});
        if (src_ == Src::Solid) {
            const uint32_t s = MulPix(solid_, c);
            for (int i = 0; i < len; ++i) e[i] = AddSat(s, e[i]);
            return;
        }
        while (len > 0) {
            int n = std::min(len, int(sizeof buf_ / sizeof buf_[0]));
            fetch(y, x, n, buf_);
            for (int i = 0; i < n; ++i) e[i] = AddSat(MulPix(buf_[i], c), e[i]);
            e += n;
            x += n;
            len -= n;
        }
        return;
    }
    uint32_t* dst = row + x;
    const uint8_t* mask = comp_.mask ? comp_.mask + size_t(y) * size_t(maskStride_) + size_t(x) : nullptr;
    const bool normal = comp_.blend == BlendMode::Normal || comp_.blend == BlendMode::Layer;
    if (src_ == Src::Solid) {
        if (normal && !mask) {
            if (coverage >= 255 && opaque_) {
                std::fill(dst, dst + len, solid_);
                return;
            }
            uint32_t s = coverage >= 255 ? solid_ : MulPix(solid_, To256(coverage));
            uint32_t inv = To256(255 - (s >> 24));
            for (int i = 0; i < len; ++i) dst[i] = s + MulPix(dst[i], inv);
            return;
        }
        if (comp_.blend == BlendMode::Add && !mask) {
            uint32_t s = coverage >= 255 ? solid_ : MulPix(solid_, To256(coverage));
            for (int i = 0; i < len; ++i) dst[i] = AddSat(s, dst[i]);
            return;
        }
        while (len > 0) {
            int n = std::min(len, int(sizeof buf_ / sizeof buf_[0]));
            std::fill(buf_, buf_ + n, solid_);
            composite(dst, buf_, n, coverage, mask);
            dst += n;
            if (mask) mask += n;
            len -= n;
        }
        return;
    }
    while (len > 0) {
        int n = std::min(len, int(sizeof buf_ / sizeof buf_[0]));
        if (normal && !mask && coverage >= 255 && opaque_) {
            fetch(y, x, n, dst);
        } else {
            fetch(y, x, n, buf_);
            composite(dst, buf_, n, coverage, mask);
        }
        dst += n;
        x += n;
        if (mask) mask += n;
        len -= n;
    }
}

void SpanPainter::spanCoverage(uint32_t* row, int y, int x, int len, const uint8_t* coverage) {
    const bool normal = comp_.blend == BlendMode::Normal || comp_.blend == BlendMode::Layer;
    if (comp_.edgeBuffer || comp_.mask || !(normal || comp_.blend == BlendMode::Add)) {
        // Less common paths: one pixel at a time through the general span.
        for (int i = 0; i < len; ++i) span(row, y, x + i, 1, coverage[i]);
        return;
    }
    uint32_t* dst = row + x;
    const bool add = comp_.blend == BlendMode::Add;
    if (src_ == Src::Solid) {
        for (int i = 0; i < len; ++i) {
            uint32_t s = MulPix(solid_, To256(coverage[i]));
            dst[i] = add ? AddSat(s, dst[i]) : s + MulPix(dst[i], To256(255 - (s >> 24)));
        }
        return;
    }
    while (len > 0) {
        int n = std::min(len, int(sizeof buf_ / sizeof buf_[0]));
        fetch(y, x, n, buf_);
        for (int i = 0; i < n; ++i) {
            uint32_t s = MulPix(buf_[i], To256(coverage[i]));
            dst[i] = add ? AddSat(s, dst[i]) : s + MulPix(dst[i], To256(255 - (s >> 24)));
        }
        dst += n;
        x += n;
        coverage += n;
        len -= n;
    }
}

void FlushEdges(const Canvas& dst, uint32_t* edgeBuffer, std::vector<EdgeSpan>& spans, BlendMode mode,
                const uint8_t* mask) {
    const bool normal = mode == BlendMode::Normal || mode == BlendMode::Layer;
    for (const EdgeSpan& sp : spans) {
        if (sp.y < 0 || sp.y >= dst.height || sp.x < 0 || sp.x + sp.len > dst.width) continue;
        uint32_t* d = dst.row(sp.y) + sp.x;
        uint32_t* e = edgeBuffer + size_t(sp.y) * size_t(dst.width) + size_t(sp.x);
        const uint8_t* m = mask ? mask + size_t(sp.y) * size_t(dst.width) + size_t(sp.x) : nullptr;
        for (int i = 0; i < sp.len; ++i) {
            uint32_t p = e[i];
            if (!p) continue;  // already laid on (listed twice) or nothing there
            e[i] = 0;
            if (m) {
                if (!m[i]) continue;
                if (m[i] != 255) p = MulPix(p, To256(m[i]));
            }
            d[i] = normal ? Over(p, d[i]) : BlendPixel(mode, p, d[i]);
        }
    }
    spans.clear();
}

void CompositeLayer(const Canvas& dst, const Canvas& layer, const IRect& area, BlendMode mode, const uint8_t* mask) {
    int x0 = std::max(area.x0, 0), y0 = std::max(area.y0, 0);
    int x1 = std::min({area.x1, dst.width, layer.width}), y1 = std::min({area.y1, dst.height, layer.height});
    if (!mask && (mode == BlendMode::Normal || mode == BlendMode::Layer)) {
        // Branch-free so it vectorises: a clear layer pixel leaves the canvas as it is.
        for (int y = y0; y < y1; ++y) {
            uint32_t* d = dst.row(y);
            const uint32_t* s = layer.row(y);
            for (int x = x0; x < x1; ++x) d[x] = s[x] + MulPix(d[x], To256(255 - (s[x] >> 24)));
        }
        return;
    }
    for (int y = y0; y < y1; ++y) {
        uint32_t* d = dst.row(y);
        const uint32_t* s = layer.row(y);
        const uint8_t* m = mask ? mask + size_t(y) * size_t(dst.width) : nullptr;
        for (int x = x0; x < x1; ++x) {
            uint32_t p = s[x];
            if (m) {
                if (!m[x]) continue;
                if (m[x] != 255) p = MulPix(p, To256(m[x]));
            }
            if (!p) continue;  // outside the group nothing changes, whatever the mode
            d[x] = (mode == BlendMode::Normal || mode == BlendMode::Layer) ? Over(p, d[x]) : BlendPixel(mode, p, d[x]);
        }
    }
}

}  // namespace raster
