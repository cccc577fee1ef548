// Cell accumulation and scanline sweep. Each edge is walked through the pixel
// cells it crosses in 24.8 fixed point; a cell records the signed height the edge
// covers in it ("cover") and twice the area to its right inside the cell ("area").
// Sweeping a row left to right, the running sum of cover gives the winding of the
// pixels between cells, and cover minus area the exact coverage of a cell's pixel.
#include "Raster.h"
#include "RasterPaint.h"

#include <algorithm>
#include <cmath>

namespace raster {

namespace {
constexpr int kShift = 8;
constexpr int kOne = 1 << kShift;
constexpr int kMask = kOne - 1;
// Larger than any canvas we draw into, small enough that 24.8 products stay in 64 bits.
constexpr double kCoordLimit = 1 << 20;

// Division rounding toward minus infinity, with the remainder in [0, d): the
// cell walk's error terms must stay non-negative whichever way an edge runs.
inline void FloorDivMod(int64_t p, int64_t d, int64_t& quotient, int64_t& remainder) {
    quotient = p / d;
    remainder = p % d;
    if (remainder < 0) {
        --quotient;
        remainder += d;
    }
}

struct Cell {
    int32_t x, y;
    int32_t cover, area;
};
}  // namespace

bool Matrix::invert(Matrix& out) const {
    double det = a * d - b * c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
    double id = 1.0 / det;
    out.a = d * id;
    out.b = -b * id;
    out.c = -c * id;
    out.d = a * id;
    out.tx = -(out.a * tx + out.c * ty);
    out.ty = -(out.b * tx + out.d * ty);
    return true;
}

static uint8_t ClampByte(float v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return uint8_t(v + 0.5f);
}

Rgba ColorTransform::apply(Rgba c) const {
    return Rgba{ClampByte(c.r * rm + ra), ClampByte(c.g * gm + ga), ClampByte(c.b * bm + ba),
                ClampByte(c.a * am + aa)};
}

ColorTransform ColorTransform::operator*(const ColorTransform& in) const {
    ColorTransform o;
    o.rm = rm * in.rm;
    o.gm = gm * in.gm;
    o.bm = bm * in.bm;
    o.am = am * in.am;
    o.ra = ra + rm * in.ra;
    o.ga = ga + gm * in.ga;
    o.ba = ba + bm * in.ba;
    o.aa = aa + am * in.aa;
    return o;
}

struct Rasterizer::Impl {
    IRect clip;
    std::vector<Cell> cells;
    std::vector<Cell> sorted;
    std::vector<int32_t> rowStart;
    // The cell being accumulated.
    int32_t cx = 0, cy = 0, cover = 0, area = 0;
    bool hasCell = false;
    int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;

    void flushCell() {
        if (hasCell && (cover | area) && cy >= clip.y0 && cy < clip.y1) {
            cells.push_back(Cell{cx, cy, cover, area});
            minX = std::min(minX, cx);
            maxX = std::max(maxX, cx);
            minY = std::min(minY, cy);
            maxY = std::max(maxY, cy);
        }
    }
    void setCell(int32_t x, int32_t y) {
        if (!hasCell || x != cx || y != cy) {
            flushCell();
            cx = x;
            cy = y;
            cover = 0;
            area = 0;
            hasCell = true;
        }
    }

    // The part of a line inside one row: y1, y2 are fractions within row ey.
    void hline(int32_t ey, int64_t x1, int32_t y1, int64_t x2, int32_t y2) {
        int32_t ex1 = int32_t(x1 >> kShift), ex2 = int32_t(x2 >> kShift);
        int32_t fx1 = int32_t(x1 & kMask), fx2 = int32_t(x2 & kMask);
        if (y1 == y2) {
            setCell(ex2, ey);
            return;
        }
        if (ex1 == ex2) {
            int32_t delta = y2 - y1;
            cover += delta;
            area += (fx1 + fx2) * delta;
            return;
        }
        int64_t p = int64_t(kOne - fx1) * (y2 - y1);
        int32_t first = kOne, incr = 1;
        int64_t dx = x2 - x1;
        if (dx < 0) {
            p = int64_t(fx1) * (y2 - y1);
            first = 0;
            incr = -1;
            dx = -dx;
        }
        int64_t delta, mod;
        FloorDivMod(p, dx, delta, mod);
        cover += int32_t(delta);
        area += int32_t((fx1 + first) * delta);
        ex1 += incr;
        setCell(ex1, ey);
        y1 += int32_t(delta);
        if (ex1 != ex2) {
            p = int64_t(kOne) * (y2 - y1 + delta);
            int64_t lift, rem;
            FloorDivMod(p, dx, lift, rem);
            mod -= dx;
            while (ex1 != ex2) {
                delta = lift;
                mod += rem;
                if (mod >= 0) {
                    mod -= dx;
                    ++delta;
                }
                cover += int32_t(delta);
                area += int32_t(kOne * delta);
                y1 += int32_t(delta);
                ex1 += incr;
                setCell(ex1, ey);
            }
        }
        int32_t d = y2 - y1;
        cover += d;
        area += (fx2 + kOne - first) * d;
    }

    // A line in 24.8 coordinates, already inside the clip.
    void fixedLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        int64_t dx = x2 - x1, dy = y2 - y1;
        if (dy == 0) return;  // horizontal edges change no winding
        int32_t ey1 = int32_t(y1 >> kShift), ey2 = int32_t(y2 >> kShift);
        int32_t fy1 = int32_t(y1 & kMask), fy2 = int32_t(y2 & kMask);
        setCell(int32_t(x1 >> kShift), ey1);
        if (ey1 == ey2) {
            hline(ey1, x1, fy1, x2, fy2);
            return;
        }
        int32_t incr = 1;
        if (dx == 0) {
            int32_t ex = int32_t(x1 >> kShift);
            int32_t twoFx = int32_t(x1 - int64_t(ex) * kOne) * 2;
            int32_t first = kOne;
            if (dy < 0) {
                first = 0;
                incr = -1;
            }
            int32_t delta = first - fy1;
            cover += delta;
            area += twoFx * delta;
            ey1 += incr;
            setCell(ex, ey1);
            delta = first + first - kOne;
            while (ey1 != ey2) {
                cover = delta;
                area = twoFx * delta;
                ey1 += incr;
                setCell(ex, ey1);
            }
            delta = fy2 - kOne + first;
            cover += delta;
            area += twoFx * delta;
            return;
        }
        int64_t p = int64_t(kOne - fy1) * dx;
        int32_t first = kOne;
        if (dy < 0) {
            p = int64_t(fy1) * dx;
            first = 0;
            incr = -1;
            dy = -dy;
        }
        int64_t delta, mod;
        FloorDivMod(p, dy, delta, mod);
        int64_t xFrom = x1 + delta;
        hline(ey1, x1, fy1, xFrom, first);
        ey1 += incr;
        setCell(int32_t(xFrom >> kShift), ey1);
        if (ey1 != ey2) {
            p = int64_t(kOne) * dx;
            int64_t lift, rem;
            FloorDivMod(p, dy, lift, rem);
            mod -= dy;
            while (ey1 != ey2) {
                delta = lift;
                mod += rem;
                if (mod >= 0) {
                    mod -= dy;
                    ++delta;
                }
                int64_t xTo = xFrom + delta;
                hline(ey1, xFrom, kOne - first, xTo, first);
                xFrom = xTo;
                ey1 += incr;
                setCell(int32_t(xFrom >> kShift), ey1);
            }
        }
        hline(ey1, xFrom, kOne - first, x2, fy2);
    }

    static int64_t Fix(double v) { return int64_t(std::floor(v * kOne + 0.5)); }

    // Clamp x into the clip columns (parts left or right become vertical edges on
    // the border, which keeps their winding for the pixels inside).
    void clampedLine(double x0, double y0, double x1, double y1) {
        const double left = clip.x0, right = clip.x1;
        if (x0 >= left && x0 <= right && x1 >= left && x1 <= right) {
            fixedLine(Fix(x0), Fix(y0), Fix(x1), Fix(y1));
            return;
        }
        auto emit = [&](double ax, double ay, double bx, double by) {
            fixedLine(Fix(std::clamp(ax, left, right)), Fix(ay), Fix(std::clamp(bx, left, right)), Fix(by));
        };
        // Split at the borders the segment crosses, in order along it.
        double ts[2];
        int nt = 0;
        auto cross = [&](double bx) {
            if ((x0 < bx) != (x1 < bx) && x0 != x1) {
                double t = (bx - x0) / (x1 - x0);
                if (t > 0 && t < 1) ts[nt++] = t;
            }
        };
        cross(left);
        cross(right);
        if (nt == 2 && ts[0] > ts[1]) std::swap(ts[0], ts[1]);
        double px = x0, py = y0;
        for (int i = 0; i < nt; ++i) {
            double nx = x0 + (x1 - x0) * ts[i], ny = y0 + (y1 - y0) * ts[i];
            emit(px, py, nx, ny);
            px = nx;
            py = ny;
        }
        emit(px, py, x1, y1);
    }

    void addLine(double x0, double y0, double x1, double y1) {
        if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
        x0 = std::clamp(x0, -kCoordLimit, kCoordLimit);
        x1 = std::clamp(x1, -kCoordLimit, kCoordLimit);
        y0 = std::clamp(y0, -kCoordLimit, kCoordLimit);
        y1 = std::clamp(y1, -kCoordLimit, kCoordLimit);
        const double top = clip.y0, bottom = clip.y1;
        if ((y0 <= top && y1 <= top) || (y0 >= bottom && y1 >= bottom) || y0 == y1) return;
        // Clip to the rows.
        if (y0 > y1) {
            // Keep direction: clip a reversed copy and swap back.
            double ax = x1, ay = y1, bx = x0, by = y0;
            if (!clipY(ax, ay, bx, by, top, bottom)) return;
            clampedLine(bx, by, ax, ay);
        } else {
            if (!clipY(x0, y0, x1, y1, top, bottom)) return;
            clampedLine(x0, y0, x1, y1);
        }
    }
    // For ay < by.
    static bool clipY(double& ax, double& ay, double& bx, double& by, double top, double bottom) {
        if (ay < top) {
            ax = ax + (bx - ax) * (top - ay) / (by - ay);
            ay = top;
        }
        if (by > bottom) {
            bx = bx + (ax - bx) * (by - bottom) / (by - ay);
            by = bottom;
        }
        return by > ay;
    }

    // Sort the cells by row then column; returns false when there are none.
    bool sortCells() {
        flushCell();
        hasCell = false;
        if (cells.empty()) return false;
        // Only the rows the cells touch: small shapes on a big canvas stay cheap.
        rowBase = minY;
        rowCount = maxY - minY + 1;
        const int rows = rowCount;
        rowStart.assign(size_t(rows) + 1, 0);
        for (const Cell& c : cells) ++rowStart[size_t(c.y - rowBase) + 1];
        for (int i = 0; i < rows; ++i) rowStart[size_t(i) + 1] += rowStart[size_t(i)];
        sorted.resize(cells.size());
        std::vector<int32_t>& fillPos = scratchPos;
        fillPos.assign(rowStart.begin(), rowStart.end() - 1);
        for (const Cell& c : cells) sorted[size_t(fillPos[size_t(c.y - rowBase)]++)] = c;
        for (int i = 0; i < rows; ++i) {
            auto b = sorted.begin() + rowStart[size_t(i)], e = sorted.begin() + rowStart[size_t(i) + 1];
            if (e - b > 48) {
                // Many small pieces (strokes) leave a long row in no useful order.
                std::sort(b, e, [](const Cell& l, const Cell& r) { return l.x < r.x; });
            } else if (e - b > 1) {
                // Short rows of a path's cells arrive nearly in order; insertion sort is fast for that.
                for (auto it = b + 1; it != e; ++it) {
                    Cell v = *it;
                    auto j = it;
                    while (j != b && (j - 1)->x > v.x) {
                        *j = *(j - 1);
                        --j;
                    }
                    *j = v;
                }
            }
        }
        return true;
    }
    std::vector<int32_t> scratchPos;
    int32_t rowBase = 0, rowCount = 0;  // rows covered by rowStart

    static unsigned Alpha(int64_t a, bool evenOdd) {
        a >>= (kShift * 2 + 1 - 8);
        if (a < 0) a = -a;
        if (evenOdd) {
            a &= 511;
            if (a > 256) a = 512 - a;
        }
        return a > 255 ? 255u : unsigned(a);
    }

    // Calls span(y, x, len, coverage) for each run of constant coverage in the clip.
    // Like sweep, but neighbouring edge pixels come out together as one run with a
    // coverage per pixel (varying(y, x, len, coverages)), which keeps the painter's
    // per-call work off the many single-pixel spans along edges.
    std::vector<uint8_t> runCov;
    template <class F, class G>
    void sweepRuns(FillRule rule, F&& constant, G&& varying) {
        const bool evenOdd = rule == FillRule::EvenOdd;
        runCov.resize(size_t(std::max(1, clip.x1 - clip.x0)) + 1);
        int32_t runX = 0, runLen = 0;
        int y = 0;
        auto flush = [&]() {
            if (runLen) varying(y, runX, runLen, runCov.data());
            runLen = 0;
        };
        auto add = [&](int32_t x, unsigned a) {
            if (runLen && runX + runLen != x) flush();
            if (!runLen) runX = x;
            runCov[size_t(runLen++)] = uint8_t(a);
        };
        for (int r = 0; r < rowCount; ++r) {
            int32_t b = rowStart[size_t(r)], e = rowStart[size_t(r) + 1];
            if (b == e) continue;
            y = rowBase + r;
            int64_t cov = 0;
            int32_t i = b;
            while (i < e) {
                int32_t x = sorted[size_t(i)].x;
                int64_t ar = 0;
                while (i < e && sorted[size_t(i)].x == x) {
                    ar += sorted[size_t(i)].area;
                    cov += sorted[size_t(i)].cover;
                    ++i;
                }
                if (ar) {
                    unsigned a = Alpha(cov * (2 * kOne) - ar, evenOdd);
                    if (a && x >= clip.x0 && x < clip.x1) add(x, a);
                    ++x;
                }
                if (i < e) {
                    int32_t nx = sorted[size_t(i)].x;
                    if (nx > x) {
                        unsigned a = Alpha(cov * (2 * kOne), evenOdd);
                        if (a) {
                            int32_t x0 = std::max(x, clip.x0), x1 = std::min(nx, clip.x1);
                            if (x1 - x0 > 4) {
                                flush();
                                constant(y, x0, x1 - x0, a);
                            } else {
                                for (int32_t k = x0; k < x1; ++k) add(k, a);
                            }
                        }
                    }
                }
            }
            flush();
        }
    }

    template <class F>
    void sweep(FillRule rule, F&& span) {
        const bool evenOdd = rule == FillRule::EvenOdd;
        for (int r = 0; r < rowCount; ++r) {
            int32_t b = rowStart[size_t(r)], e = rowStart[size_t(r) + 1];
            if (b == e) continue;
            int y = rowBase + r;
            int64_t cov = 0;
            int32_t i = b;
            while (i < e) {
                int32_t x = sorted[size_t(i)].x;
                int64_t ar = 0;
                while (i < e && sorted[size_t(i)].x == x) {
                    ar += sorted[size_t(i)].area;
                    cov += sorted[size_t(i)].cover;
                    ++i;
                }
                if (ar) {
                    unsigned a = Alpha(cov * (2 * kOne) - ar, evenOdd);
                    if (a && x >= clip.x0 && x < clip.x1) span(y, x, 1, a);
                    ++x;
                }
                if (i < e) {
                    int32_t nx = sorted[size_t(i)].x;
                    if (nx > x) {
                        unsigned a = Alpha(cov * (2 * kOne), evenOdd);
                        if (a) {
                            int32_t x0 = std::max(x, clip.x0), x1 = std::min(nx, clip.x1);
                            if (x1 > x0) span(y, x0, x1 - x0, a);
                        }
                    }
                }
            }
        }
    }
};

Rasterizer::Rasterizer() : impl_(new Impl) {}
Rasterizer::~Rasterizer() = default;

void Rasterizer::reset(const IRect& clip) {
    Impl& m = *impl_;
    m.clip = clip;
    if (m.clip.x1 < m.clip.x0) m.clip.x1 = m.clip.x0;
    if (m.clip.y1 < m.clip.y0) m.clip.y1 = m.clip.y0;
    m.cells.clear();
    m.hasCell = false;
    m.cover = m.area = 0;
    m.minX = m.minY = INT32_MAX;
    m.maxX = m.maxY = INT32_MIN;
}

void Rasterizer::line(double x0, double y0, double x1, double y1) { impl_->addLine(x0, y0, x1, y1); }

void FlattenQuad(double x0, double y0, double cx, double cy, double x1, double y1, double tolerance,
                 std::vector<double>& out) {
    // A uniform split into n chords deviates at most |p0 - 2c + p1| / (8 n^2).
    double ddx = x0 - 2 * cx + x1, ddy = y0 - 2 * cy + y1;
    double dd = std::sqrt(ddx * ddx + ddy * ddy);
    int n = 1;
    if (std::isfinite(dd) && dd > 8 * tolerance) n = int(std::ceil(std::sqrt(dd / (8 * tolerance))));
    n = std::clamp(n, 1, 256);
    for (int i = 1; i < n; ++i) {
        double t = double(i) / n, u = 1 - t;
        out.push_back(u * u * x0 + 2 * u * t * cx + t * t * x1);
        out.push_back(u * u * y0 + 2 * u * t * cy + t * t * y1);
    }
    out.push_back(x1);
    out.push_back(y1);
}

void Rasterizer::quad(double x0, double y0, double cx, double cy, double x1, double y1, double tolerance) {
    const IRect& c = impl_->clip;
    double miny = std::min({y0, cy, y1}), maxy = std::max({y0, cy, y1});
    double minx = std::min({x0, cx, x1}), maxx = std::max({x0, cx, x1});
    // Outside the rows, or wholly to one side: the chord has the same effect.
    if (maxy <= c.y0 || miny >= c.y1 || maxx <= c.x0 || minx >= c.x1) {
        impl_->addLine(x0, y0, x1, y1);
        return;
    }
    thread_local std::vector<double> pts;
    pts.clear();
    FlattenQuad(x0, y0, cx, cy, x1, y1, tolerance, pts);
    double px = x0, py = y0;
    for (size_t i = 0; i + 1 < pts.size(); i += 2) {
        impl_->addLine(px, py, pts[i], pts[i + 1]);
        px = pts[i];
        py = pts[i + 1];
    }
}

bool Rasterizer::empty() const { return impl_->cells.empty() && !(impl_->hasCell && (impl_->cover | impl_->area)); }

IRect Rasterizer::bounds() const {
    Impl& m = *impl_;
    m.flushCell();
    m.hasCell = false;
    if (m.cells.empty()) return IRect{};
    return IRect{std::max(m.minX, m.clip.x0), m.minY, std::min(m.maxX + 1, m.clip.x1), m.maxY + 1};
}

void Rasterizer::fill(const Canvas& dst, const Paint& paint, const ColorTransform& cx, FillRule rule,
                      const Composite& comp) {
    Impl& m = *impl_;
    if (m.clip.x0 < 0 || m.clip.y0 < 0 || m.clip.x1 > dst.width || m.clip.y1 > dst.height) {
        // The caller's clip must lie inside the canvas; shrink rather than write outside.
        IRect c = m.clip;
        c.x0 = std::max(c.x0, 0);
        c.y0 = std::max(c.y0, 0);
        c.x1 = std::min(c.x1, dst.width);
        c.y1 = std::min(c.y1, dst.height);
        if (c.empty()) {
            m.cells.clear();
            return;
        }
        // Cells outside are skipped by the sweep's own column clip; rows are filtered here.
        m.flushCell();
        m.hasCell = false;
        m.cells.erase(std::remove_if(m.cells.begin(), m.cells.end(),
                                     [&](const Cell& cl) { return cl.y < c.y0 || cl.y >= c.y1; }),
                      m.cells.end());
        IRect old = m.clip;
        m.clip = c;
        // Cells left of the new clip still carry winding: fold them to its border.
        for (Cell& cl : m.cells)
            if (cl.x < c.x0) {
                cl.x = c.x0 - 1;
            }
        (void)old;
    }
    if (!m.sortCells()) return;
    SpanPainter painter;
    if (!painter.prepare(paint, cx, comp, dst.width)) {
        m.cells.clear();
        return;
    }
    m.sweepRuns(
        rule, [&](int y, int x, int len, unsigned a) { painter.span(dst.row(y), y, x, len, a); },
        [&](int y, int x, int len, const uint8_t* cov) { painter.spanCoverage(dst.row(y), y, x, len, cov); });
    m.cells.clear();
}

void Rasterizer::fillMask(uint8_t* mask, int width, int height, FillRule rule, MaskOp op) {
    Impl& m = *impl_;
    IRect c = m.clip;
    c.x0 = std::max(c.x0, 0);
    c.y0 = std::max(c.y0, 0);
    c.x1 = std::min(c.x1, width);
    c.y1 = std::min(c.y1, height);
    if (op == MaskOp::Replace)
        for (int y = c.y0; y < c.y1; ++y) std::fill(mask + size_t(y) * width + c.x0, mask + size_t(y) * width + c.x1, 0);
    if (c.empty() || c.x0 != m.clip.x0 || c.y0 != m.clip.y0 || c.x1 != m.clip.x1 || c.y1 != m.clip.y1) {
        if (c.empty()) {
            m.cells.clear();
            return;
        }
        m.flushCell();
        m.hasCell = false;
        m.cells.erase(std::remove_if(m.cells.begin(), m.cells.end(),
                                     [&](const Cell& cl) { return cl.y < c.y0 || cl.y >= c.y1; }),
                      m.cells.end());
        for (Cell& cl : m.cells)
            if (cl.x < c.x0) cl.x = c.x0 - 1;
        m.clip = c;
    }
    if (!m.sortCells()) return;
    m.sweep(rule, [&](int y, int x, int len, unsigned a) {
        uint8_t* p = mask + size_t(y) * width + x;
        for (int i = 0; i < len; ++i) p[i] = std::max<uint8_t>(p[i], uint8_t(a));
    });
    m.cells.clear();
}

void FillRect(const Canvas& dst, const IRect& r, uint32_t pixel) {
    int x0 = std::max(r.x0, 0), y0 = std::max(r.y0, 0);
    int x1 = std::min(r.x1, dst.width), y1 = std::min(r.y1, dst.height);
    if (x1 <= x0 || y1 <= y0) return;
    for (int y = y0; y < y1; ++y) std::fill(dst.row(y) + x0, dst.row(y) + x1, pixel);
}

}  // namespace raster
