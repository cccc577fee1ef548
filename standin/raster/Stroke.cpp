// Strokes as unions of simple polygons: a rectangle per segment, a join piece at
// each inner vertex and caps at the ends, all given the same orientation so a
// non-zero fill paints their union without seams or holes.
#include "Raster.h"

#include <algorithm>
#include <cmath>

namespace raster {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Adds a closed polygon with positive signed area.
void AddPolygon(Rasterizer& r, const double* xy, int n) {
    if (n < 3) return;
    double area = 0;
    for (int i = 0; i < n; ++i) {
        int j = (i + 1) % n;
        area += xy[2 * i] * xy[2 * j + 1] - xy[2 * j] * xy[2 * i + 1];
    }
    if (area == 0) return;
    if (area > 0) {
        for (int i = 0; i < n; ++i) {
            int j = (i + 1) % n;
            r.line(xy[2 * i], xy[2 * i + 1], xy[2 * j], xy[2 * j + 1]);
        }
    } else {
        for (int i = n; i > 0; --i) {
            int a = i % n, b = i - 1;
            r.line(xy[2 * a], xy[2 * a + 1], xy[2 * b], xy[2 * b + 1]);
        }
    }
}

int ArcSteps(double radius, double angle) {
    // Chords within a tenth of a pixel of the arc.
    double tol = 0.1;
    if (radius <= tol) return 1;
    double step = 2 * std::acos(std::max(-1.0, 1 - tol / radius));
    int n = int(std::ceil(std::fabs(angle) / std::max(step, 1e-3)));
    return std::clamp(n, 1, 128);
}

void AddCircle(Rasterizer& r, double cx, double cy, double radius) {
    int n = std::max(8, ArcSteps(radius, 2 * kPi));
    double pts[2 * 129];
    n = std::min(n, 128);
    for (int i = 0; i < n; ++i) {
        double a = 2 * kPi * i / n;
        pts[2 * i] = cx + radius * std::cos(a);
        pts[2 * i + 1] = cy + radius * std::sin(a);
    }
    AddPolygon(r, pts, n);
}

// A pie slice from direction a0 to a1 (the shorter way) around (cx, cy).
void AddPie(Rasterizer& r, double cx, double cy, double radius, double a0, double a1) {
    double d = a1 - a0;
    while (d > kPi) d -= 2 * kPi;
    while (d < -kPi) d += 2 * kPi;
    int n = ArcSteps(radius, d);
    double pts[2 * 131];
    pts[0] = cx;
    pts[1] = cy;
    for (int i = 0; i <= n; ++i) {
        double a = a0 + d * i / n;
        pts[2 * (i + 1)] = cx + radius * std::cos(a);
        pts[2 * (i + 1) + 1] = cy + radius * std::sin(a);
    }
    AddPolygon(r, pts, n + 2);
}

}  // namespace

void StrokePolyline(Rasterizer& r, const Polyline& line, const StrokeStyle& style) {
    const size_t n = line.points();
    if (n == 0) return;
    const double hw = std::max(style.width, 1.0) / 2;
    const double* p = line.xy.data();

    // Drop repeated points: they have no direction.
    std::vector<double> pts;
    pts.reserve(line.xy.size());
    for (size_t i = 0; i < n; ++i) {
        double x = p[2 * i], y = p[2 * i + 1];
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        if (!pts.empty()) {
            double dx = x - pts[pts.size() - 2], dy = y - pts[pts.size() - 1];
            if (dx * dx + dy * dy < 1e-12) continue;
        }
        pts.push_back(x);
        pts.push_back(y);
    }
    size_t m = pts.size() / 2;
    bool closed = line.closed && m > 2;
    if (closed) {
        double dx = pts[0] - pts[2 * m - 2], dy = pts[1] - pts[2 * m - 1];
        if (dx * dx + dy * dy < 1e-12) {
            pts.resize(pts.size() - 2);
            --m;
        }
    }
    if (m == 1) {
        // A dot: drawn as its caps.
        if (style.startCap == Cap::Round) AddCircle(r, pts[0], pts[1], hw);
        else if (style.startCap == Cap::Square) {
            double q[8] = {pts[0] - hw, pts[1] - hw, pts[0] + hw, pts[1] - hw,
                           pts[0] + hw, pts[1] + hw, pts[0] - hw, pts[1] + hw};
            AddPolygon(r, q, 4);
        }
        return;
    }
    const size_t segs = closed ? m : m - 1;
    auto P = [&](size_t i) { i %= m; return std::pair<double, double>(pts[2 * i], pts[2 * i + 1]); };
    for (size_t s = 0; s < segs; ++s) {
        auto [x0, y0] = P(s);
        auto [x1, y1] = P(s + 1);
        double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
        double ux = dx / len, uy = dy / len;
        double nx = -uy * hw, ny = ux * hw;
        double ex0 = 0, ex1 = 0;  // square caps extend the segment
        if (!closed && s == 0 && style.startCap == Cap::Square) ex0 = hw;
        if (!closed && s + 1 == segs && style.endCap == Cap::Square) ex1 = hw;
        double ax = x0 - ux * ex0, ay = y0 - uy * ex0, bx = x1 + ux * ex1, by = y1 + uy * ex1;
        double q[8] = {ax + nx, ay + ny, bx + nx, by + ny, bx - nx, by - ny, ax - nx, ay - ny};
        AddPolygon(r, q, 4);
    }
    // Joins.
    const size_t firstJoin = closed ? 0 : 1, lastJoin = closed ? m : m - 1;
    for (size_t i = firstJoin; i < lastJoin; ++i) {
        auto [px, py] = P(i + m - 1);
        auto [cx, cy] = P(i);
        auto [nx2, ny2] = P(i + 1);
        double d0x = cx - px, d0y = cy - py, d1x = nx2 - cx, d1y = ny2 - cy;
        double l0 = std::sqrt(d0x * d0x + d0y * d0y), l1 = std::sqrt(d1x * d1x + d1y * d1y);
        d0x /= l0; d0y /= l0; d1x /= l1; d1y /= l1;
        double cross = d0x * d1y - d0y * d1x, dot = d0x * d1x + d0y * d1y;
        if (std::fabs(cross) < 1e-9 && dot > 0) continue;  // straight on
        // Outer side: the normals of both segments on the side the path turns away from.
        double side = cross > 0 ? -1 : 1;
        double n0x = -d0y * hw * side, n0y = d0x * hw * side;
        double n1x = -d1y * hw * side, n1y = d1x * hw * side;
        // Small turns (flattened curves) are closed exactly enough by a bevel.
        bool tiny = dot > 0.995;
        if (style.join == Join::Round && !tiny) {
            AddPie(r, cx, cy, hw, std::atan2(n0y, n0x), std::atan2(n1y, n1x));
        } else if (style.join == Join::Miter && !tiny) {
            // Miter length ratio 1/sin(theta/2); beyond the limit, a bevel.
            double half = std::sqrt(std::max(0.0, (1 + dot) / 2));  // cos of half the turn
            double ratio = half > 1e-9 ? 1 / half : 1e9;
            if (ratio <= style.miterLimit) {
                double mx = (n0x + n1x), my = (n0y + n1y);
                double ml = std::sqrt(mx * mx + my * my);
                double k = hw * ratio / std::max(ml, 1e-12);
                double q[8] = {cx, cy, cx + n0x, cy + n0y, cx + mx * k, cy + my * k, cx + n1x, cy + n1y};
                AddPolygon(r, q, 4);
            } else {
                double q[6] = {cx, cy, cx + n0x, cy + n0y, cx + n1x, cy + n1y};
                AddPolygon(r, q, 3);
            }
        } else {
            double q[6] = {cx, cy, cx + n0x, cy + n0y, cx + n1x, cy + n1y};
            AddPolygon(r, q, 3);
        }
    }
    if (!closed) {
        if (style.startCap == Cap::Round) {
            auto [x, y] = P(0);
            AddCircle(r, x, y, hw);
        }
        if (style.endCap == Cap::Round) {
            auto [x, y] = P(m - 1);
            AddCircle(r, x, y, hw);
        }
    }
}

}  // namespace raster
