// The rasteriser on its own: coverage, fill rules, curves, paints, strokes, clipping.
#include "Raster.h"
#include "check.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using raster::Image;
using raster::Paint;
using raster::Rasterizer;
using raster::Rgba;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr double kPi = 3.14159265358979323846;

bool Near(uint32_t px, int r, int g, int b, int tol = 2) {
    return std::abs(raster::PixelR(px) - r) <= tol && std::abs(raster::PixelG(px) - g) <= tol &&
           std::abs(raster::PixelB(px) - b) <= tol;
}

std::string Show(uint32_t px) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "(%d,%d,%d)", raster::PixelR(px), raster::PixelG(px), raster::PixelB(px));
    return buf;
}

void Rect(Rasterizer& r, double x0, double y0, double x1, double y1) {
    r.line(x0, y0, x1, y0);
    r.line(x1, y0, x1, y1);
    r.line(x1, y1, x0, y1);
    r.line(x0, y1, x0, y0);
}

}  // namespace

TEST_CASE(pixel_aligned_rect_is_exact) {
    Image img(20, 20, kWhite);
    Rasterizer r;
    r.reset({0, 0, 20, 20});
    Rect(r, 5, 5, 15, 10);
    r.fill(img.canvas(), Paint::Solid(Rgba{255, 0, 0, 255}));
    int red = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            bool inside = x >= 5 && x < 15 && y >= 5 && y < 10;
            uint32_t p = img.at(x, y);
            if (inside) {
                CHECK(p == raster::PackBgrx(255, 0, 0));
                ++red;
            } else {
                CHECK(p == kWhite);
            }
        }
    CHECK_EQ(red, 50);
}

TEST_CASE(partial_coverage_is_proportional_to_area) {
    // Edges at quarter and half pixel positions: coverage by exact area.
    struct Row { double x0, x1; int expectG; const char* name; };
    const Row rows[] = {
        {2.5, 8, 128, "left edge half a pixel"},
        {2.75, 8, 191, "left edge a quarter covered"},  // 0.25 black over white
        {2.25, 8, 64, "left edge three quarters covered"},
    };
    for (const Row& row : rows) {
        Image img(12, 4, kWhite);
        Rasterizer r;
        r.reset({0, 0, 12, 4});
        Rect(r, row.x0, 0, row.x1, 4);
        r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
        int g = raster::PixelG(img.at(2, 1));
        CHECK_EQ_AT(row.name, std::abs(g - row.expectG) <= 3, true);
        CHECK_EQ_AT(row.name, img.at(3, 1), raster::PackBgrx(0, 0, 0));
    }
}

TEST_CASE(nonzero_and_evenodd_rules_differ_on_overlap) {
    for (auto rule : {raster::FillRule::NonZero, raster::FillRule::EvenOdd}) {
        Image img(30, 10, kWhite);
        Rasterizer r;
        r.reset({0, 0, 30, 10});
        Rect(r, 0, 0, 20, 10);
        Rect(r, 10, 0, 30, 10);  // same orientation, overlapping in 10..20
        r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 255, 255}), {}, rule);
        bool nz = rule == raster::FillRule::NonZero;
        CHECK(Near(img.at(5, 5), 0, 0, 255));
        CHECK(Near(img.at(25, 5), 0, 0, 255));
        CHECK(nz ? Near(img.at(15, 5), 0, 0, 255) : img.at(15, 5) == kWhite);
    }
}

TEST_CASE(opposite_orientation_cuts_a_hole) {
    Image img(30, 30, kWhite);
    Rasterizer r;
    r.reset({0, 0, 30, 30});
    Rect(r, 0, 0, 30, 30);
    // Reversed inner square.
    r.line(10, 10, 10, 20);
    r.line(10, 20, 20, 20);
    r.line(20, 20, 20, 10);
    r.line(20, 10, 10, 10);
    r.fill(img.canvas(), Paint::Solid(Rgba{0, 128, 0, 255}));
    CHECK(Near(img.at(5, 5), 0, 128, 0));
    CHECK(img.at(15, 15) == kWhite);
}

TEST_CASE(curve_circle_area_and_edge) {
    // A circle of radius 40 from four quadratic arcs of 8 each would be coarse; use
    // many arcs through quad() and compare coverage with pi r^2.
    const int n = 16;
    const double R = 40, cx = 50, cy = 50, k = 1 / std::cos(kPi / n);
    Image img(100, 100, 0xFF000000u);
    Rasterizer r;
    r.reset({0, 0, 100, 100});
    for (int i = 0; i < n; ++i) {
        double a0 = 2 * kPi * i / n, a1 = 2 * kPi * (i + 1) / n, am = (a0 + a1) / 2;
        r.quad(cx + R * std::cos(a0), cy + R * std::sin(a0), cx + R * k * std::cos(am), cy + R * k * std::sin(am),
               cx + R * std::cos(a1), cy + R * std::sin(a1));
    }
    r.fill(img.canvas(), Paint::Solid(Rgba{255, 255, 255, 255}));
    double sum = 0;
    for (uint32_t p : img.pixels) sum += raster::PixelG(p) / 255.0;
    CHECK(std::fabs(sum - kPi * R * R) < 0.01 * kPi * R * R);
    CHECK(Near(img.at(50, 50), 255, 255, 255));
    CHECK(Near(img.at(50, 8), 0, 0, 0));    // outside the top
    CHECK(Near(img.at(50, 12), 255, 255, 255));  // inside near the top
}

TEST_CASE(linear_gradient_through_lut_with_spreads) {
    // Gradient square -16384..16384 mapped onto x = 0..100 (one row).
    struct Row { raster::Spread spread; int x; int expect; const char* name; };
    const Row rows[] = {
        {raster::Spread::Pad, 0, 0, "pad start"},          {raster::Spread::Pad, 50, 128, "pad middle"},
        {raster::Spread::Pad, 99, 253, "pad end"},         {raster::Spread::Pad, 150, 255, "pad past end"},
        {raster::Spread::Repeat, 125, 64, "repeat"},       {raster::Spread::Reflect, 125, 191, "reflect"},
    };
    for (const Row& row : rows) {
        Image img(200, 2, kWhite);
        Rasterizer r;
        r.reset({0, 0, 200, 2});
        Rect(r, 0, 0, 200, 2);
        Paint p;
        p.type = Paint::Type::Gradient;
        p.gradient = raster::GradientKind::Linear;
        p.spread = row.spread;
        p.stops = {{0, Rgba{0, 0, 0, 255}}, {255, Rgba{255, 255, 255, 255}}};
        p.matrix = raster::Matrix{100.0 / 32768, 0, 0, 100.0 / 32768, 50, 0};
        r.fill(img.canvas(), p);
        int g = raster::PixelG(img.at(row.x, 0));
        CHECK_EQ_AT(std::string(row.name) + " got " + std::to_string(g), std::abs(g - row.expect) <= 3, true);
    }
}

TEST_CASE(radial_and_focal_gradients) {
    Image img(101, 101, kWhite);
    Rasterizer r;
    r.reset({0, 0, 101, 101});
    Rect(r, 0, 0, 101, 101);
    Paint p;
    p.type = Paint::Type::Gradient;
    p.gradient = raster::GradientKind::Radial;
    p.stops = {{0, Rgba{255, 0, 0, 255}}, {255, Rgba{0, 0, 255, 255}}};
    p.matrix = raster::Matrix{50.0 / 16384, 0, 0, 50.0 / 16384, 50.5, 50.5};
    r.fill(img.canvas(), p);
    CHECK(Near(img.at(50, 50), 255, 0, 0, 4));
    CHECK(Near(img.at(75, 50), 128, 0, 127, 6));  // half way out
    CHECK(Near(img.at(50, 25), 128, 0, 127, 6));  // same in every direction
    CHECK(Near(img.at(0, 0), 0, 0, 255));         // padded past the rim

    // Focal: the red centre moves to the focal point, the rim stays blue.
    Image f(101, 101, kWhite);
    r.reset({0, 0, 101, 101});
    Rect(r, 0, 0, 101, 101);
    p.gradient = raster::GradientKind::Focal;
    p.focal = 0.5;
    r.fill(f.canvas(), p);
    CHECK(Near(f.at(75, 50), 255, 0, 0, 8));
    CHECK(!Near(f.at(50, 50), 255, 0, 0, 8));
    CHECK(Near(f.at(100, 50), 0, 0, 255, 8));
    CHECK(Near(f.at(0, 50), 0, 0, 255, 8));
}

TEST_CASE(colour_transform_and_alpha_blend) {
    Image img(10, 10, raster::PackBgrx(0, 0, 255));
    Rasterizer r;
    r.reset({0, 0, 10, 10});
    Rect(r, 0, 0, 10, 10);
    raster::ColorTransform cx;
    cx.rm = 0;
    cx.ra = 255;   // red forced to 255
    cx.am = 0.5f;  // half transparent
    r.fill(img.canvas(), Paint::Solid(Rgba{0, 255, 0, 255}), cx);
    // (255,255,0) at 50% over blue.
    CHECK(Near(img.at(5, 5), 128, 128, 128, 2));

    // Alpha 0 after the transform draws nothing.
    Image clear(10, 10, kWhite);
    r.reset({0, 0, 10, 10});
    Rect(r, 0, 0, 10, 10);
    raster::ColorTransform gone;
    gone.am = 0;
    r.fill(clear.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}), gone);
    CHECK(clear.at(5, 5) == kWhite);
}

TEST_CASE(stroke_width_and_caps) {
    struct Row { raster::Cap cap; bool coversBeyondEnd; const char* name; };
    const Row rows[] = {{raster::Cap::None, false, "none"}, {raster::Cap::Square, true, "square"},
                        {raster::Cap::Round, true, "round"}};
    for (const Row& row : rows) {
        Image img(40, 20, kWhite);
        Rasterizer r;
        r.reset({0, 0, 40, 20});
        raster::Polyline pl;
        pl.xy = {10, 10, 30, 10};
        raster::StrokeStyle st;
        st.width = 6;
        st.startCap = st.endCap = row.cap;
        raster::StrokePolyline(r, pl, st);
        r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
        CHECK_EQ_AT(row.name, Near(img.at(20, 10), 0, 0, 0), true);
        CHECK_EQ_AT(row.name, Near(img.at(20, 8), 0, 0, 0), true);   // inside the width
        CHECK_EQ_AT(row.name, img.at(20, 5) == kWhite, true);        // outside it
        CHECK_EQ_AT(row.name, Near(img.at(31, 10), 0, 0, 0), row.coversBeyondEnd);
    }
}

TEST_CASE(stroke_joins_leave_no_seams) {
    // A closed square outline: corners fully covered, inside empty.
    for (auto join : {raster::Join::Round, raster::Join::Bevel, raster::Join::Miter}) {
        Image img(40, 40, kWhite);
        Rasterizer r;
        r.reset({0, 0, 40, 40});
        raster::Polyline pl;
        pl.xy = {10, 10, 30, 10, 30, 30, 10, 30};
        pl.closed = true;
        raster::StrokeStyle st;
        st.width = 4;
        st.join = join;
        raster::StrokePolyline(r, pl, st);
        r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
        CHECK(Near(img.at(20, 10), 0, 0, 0));
        CHECK(Near(img.at(10, 20), 0, 0, 0));
        CHECK(Near(img.at(10, 10), 0, 0, 0));  // corner
        CHECK(img.at(20, 20) == kWhite);
        // Only the miter reaches the outer corner point.
        CHECK_EQ(Near(img.at(8, 8), 0, 0, 0, 60), join == raster::Join::Miter);
    }
}

TEST_CASE(hairline_is_one_pixel_wide) {
    Image img(20, 20, kWhite);
    Rasterizer r;
    r.reset({0, 0, 20, 20});
    raster::Polyline pl;
    pl.xy = {2, 10, 18, 10};
    raster::StrokeStyle st;
    st.width = 0.05;
    st.startCap = st.endCap = raster::Cap::None;
    raster::StrokePolyline(r, pl, st);
    r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
    // Centred on the boundary between rows 9 and 10: half of each.
    CHECK(Near(img.at(10, 9), 128, 128, 128, 3));
    CHECK(Near(img.at(10, 10), 128, 128, 128, 3));
    CHECK(img.at(10, 8) == kWhite);
}

TEST_CASE(clip_and_hostile_coordinates) {
    Image img(16, 16, kWhite);
    Rasterizer r;
    // Shapes far outside, huge, and not numbers: nothing outside the clip is touched.
    r.reset({4, 4, 12, 12});
    Rect(r, -1e12, -1e12, 1e12, 1e12);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    r.line(nan, 0, 5, 5);
    r.line(0, std::numeric_limits<double>::infinity(), 5, 5);
    r.quad(0, 0, 1e300, -1e300, 3, 3);
    r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool in = x >= 4 && x < 12 && y >= 4 && y < 12;
            CHECK_EQ_AT(std::to_string(x) + "," + std::to_string(y) + " " + Show(img.at(x, y)), img.at(x, y) == kWhite, !in);
        }
    // A shape left of the clip still winds the pixels to its right inside it.
    Image side(16, 4, kWhite);
    r.reset({8, 0, 16, 4});
    Rect(r, -100, 0, 12, 4);
    r.fill(side.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}));
    CHECK(Near(side.at(9, 1), 0, 0, 0));
    CHECK(side.at(7, 1) == kWhite);
    CHECK(side.at(13, 1) == kWhite);
}

TEST_CASE(bitmap_paint_repeat_clamp_and_smoothing) {
    raster::Bitmap b;
    b.width = 2;
    b.height = 2;
    // Premultiplied: red, green / blue, half-transparent white.
    b.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80808080u};
    b.opaque = false;
    for (bool repeat : {true, false}) {
        Image img(16, 16, raster::PackBgrx(0, 0, 0));
        Rasterizer r;
        r.reset({0, 0, 16, 16});
        Rect(r, 0, 0, 16, 16);
        Paint p;
        p.type = Paint::Type::Bitmap;
        p.bitmap = &b;
        p.repeat = repeat;
        p.smooth = false;
        p.matrix = raster::Matrix::Scale(4, 4);  // each bitmap pixel 4x4 device pixels
        r.fill(img.canvas(), p);
        CHECK(Near(img.at(1, 1), 255, 0, 0));
        CHECK(Near(img.at(5, 1), 0, 255, 0));
        CHECK(Near(img.at(1, 5), 0, 0, 255));
        CHECK(Near(img.at(5, 5), 128, 128, 128, 2));  // half white over black
        // Past the bitmap: repeated, or the edge pixels stretched.
        CHECK(Near(img.at(9, 1), repeat ? 255 : 0, repeat ? 0 : 255, 0));
    }
    // Smoothing blends neighbours between pixel centres.
    Image img(16, 16, raster::PackBgrx(0, 0, 0));
    Rasterizer r;
    r.reset({0, 0, 16, 16});
    Rect(r, 0, 0, 8, 8);
    Paint p;
    p.type = Paint::Type::Bitmap;
    p.bitmap = &b;
    p.repeat = false;
    p.smooth = true;
    p.matrix = raster::Matrix::Scale(4, 4);
    r.fill(img.canvas(), p);
    uint32_t mid = img.at(4, 1);  // between red and green
    CHECK(raster::PixelR(mid) > 60 && raster::PixelG(mid) > 60);
}

TEST_CASE(mask_limits_painting) {
    Image img(10, 1, kWhite);
    std::vector<uint8_t> mask(10, 0);
    for (int x = 5; x < 10; ++x) mask[size_t(x)] = 255;
    mask[7] = 128;
    Rasterizer r;
    r.reset({0, 0, 10, 1});
    Rect(r, 0, 0, 10, 1);
    raster::Composite comp;
    comp.mask = mask.data();
    r.fill(img.canvas(), Paint::Solid(Rgba{0, 0, 0, 255}), {}, raster::FillRule::NonZero, comp);
    CHECK(img.at(2, 0) == kWhite);
    CHECK(Near(img.at(6, 0), 0, 0, 0));
    CHECK(Near(img.at(7, 0), 127, 127, 127, 3));
}

TEST_CASE(blend_modes_per_pixel) {
    struct Row { raster::BlendMode mode; int expect; const char* name; };
    // Source grey 100 over destination grey 200 (both opaque).
    const Row rows[] = {
        {raster::BlendMode::Normal, 100, "normal"},     {raster::BlendMode::Multiply, 78, "multiply"},
        {raster::BlendMode::Screen, 222, "screen"},     {raster::BlendMode::Add, 255, "add"},
        {raster::BlendMode::Subtract, 100, "subtract"}, {raster::BlendMode::Lighten, 200, "lighten"},
        {raster::BlendMode::Darken, 100, "darken"},     {raster::BlendMode::Difference, 100, "difference"},
    };
    for (const Row& row : rows) {
        Image img(4, 4, raster::PackBgrx(200, 200, 200));
        Rasterizer r;
        r.reset({0, 0, 4, 4});
        Rect(r, 0, 0, 4, 4);
        raster::Composite comp;
        comp.blend = row.mode;
        r.fill(img.canvas(), Paint::Solid(Rgba{100, 100, 100, 255}), {}, raster::FillRule::NonZero, comp);
        CHECK_EQ_AT(std::string(row.name) + " " + Show(img.at(1, 1)), Near(img.at(1, 1), row.expect, row.expect, row.expect, 2), true);
    }
}

TEST_CASE(bitmap_rows_that_tilt_match_rows_that_do_not) {
    // Unrotated bitmaps take a shortcut through whole rows; a rotation too small to
    // see takes the general path. Both must sample alike, clamped and repeating.
    raster::Bitmap b;
    b.width = 5;
    b.height = 3;
    for (int i = 0; i < 15; ++i) b.pixels.push_back(0xFF000000u | uint32_t(i * 0x110D07));
    for (bool repeat : {false, true}) {
        Image flat(40, 30, 0xFF000000u), tilted(40, 30, 0xFF000000u);
        for (int k = 0; k < 2; ++k) {
            Rasterizer r;
            r.reset({0, 0, 40, 30});
            Rect(r, 0, 0, 40, 30);
            Paint p;
            p.type = Paint::Type::Bitmap;
            p.bitmap = &b;
            p.repeat = repeat;
            p.smooth = true;
            const double e = k ? 1e-7 : 0;
            p.matrix = raster::Matrix{3.3, e, -e, 3.3, -2.5, 1.25};
            r.fill((k ? tilted : flat).canvas(), p);
        }
        int worst = 0;
        for (size_t i = 0; i < flat.pixels.size(); ++i)
            for (int sh = 0; sh < 24; sh += 8)
                worst = std::max(worst, std::abs(int((flat.pixels[i] >> sh) & 255) - int((tilted.pixels[i] >> sh) & 255)));
        CHECK_EQ_AT(repeat ? "repeat" : "clamp", worst <= 2, true);
    }
}
