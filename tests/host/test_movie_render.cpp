// Rendered frames of fixture movies, checked by pixels: "show all" scaling and the
// letterbox, the two-fills-per-edge rule, gradients, colour transforms, curves,
// strokes, edges and the demo.
#include "SwfPlayer.h"
#include "SwfWriter.h"
#include "check.h"
#include "movie_test_support.h"

#include <cmath>
#include <cstdlib>
#include <string>

using swfgen::Color;
using swfgen::CxForm;
using swfgen::FillSpec;
using swfgen::GradientSpec;
using swfgen::Matrix;
using swfgen::MovieWriter;
using swfgen::Place;
using swfgen::ShapeBuilder;
using swfmovie::Player;

using movietest::Load;
using movietest::Frame;
using movietest::Near;
using movietest::Show;
using movietest::kTw;

namespace {

Frame Render(const std::vector<uint8_t>& bytes, int w, int h, int ticks = 0) {
    Player p(Load(bytes));
    for (int i = 0; i < ticks; ++i) p.advance();
    Frame f{raster::Image(w, h, 0xFF123456u)};
    p.render(f.img.canvas(), {0, 0, w, h});
    return f;
}

Place PlaceId(uint16_t depth, uint16_t id, Matrix m = Matrix{}) {
    Place p;
    p.depth = depth;
    p.id = id;
    p.matrix = m;
    return p;
}

// A 100 x 50 stage filled red, white background.
std::vector<uint8_t> RedStage() {
    MovieWriter m(100, 50, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    s.rect(0, 0, 100 * kTw, 50 * kTw, s.addSolid(Color{255, 0, 0}));
    m.defineShape(1, s, 1);
    m.place(PlaceId(1, 1));
    m.showFrame();
    return m.finish(false);
}

}  // namespace

TEST_CASE(show_all_letterbox_and_pillarbox) {
    struct Row { int w, h; int stageX0, stageY0, stageX1, stageY1; const char* name; };
    const Row rows[] = {
        {200, 200, 0, 50, 200, 150, "tall viewport: bars above and below"},
        {300, 50, 100, 0, 200, 50, "wide viewport: bars left and right"},
        {100, 50, 0, 0, 100, 50, "exact fit"},
    };
    auto bytes = RedStage();
    for (const Row& r : rows) {
        Frame f = Render(bytes, r.w, r.h);
        for (int y = 0; y < r.h; y += 3)
            for (int x = 0; x < r.w; x += 3) {
                bool in = x >= r.stageX0 && x < r.stageX1 && y >= r.stageY0 && y < r.stageY1;
                bool ok = in ? Near(f.at(x, y), 255, 0, 0) : Near(f.at(x, y), 255, 255, 255);
                if (!ok) {
                    CHECK_EQ_AT(std::string(r.name) + " at " + std::to_string(x) + "," + std::to_string(y), Show(f.at(x, y)),
                                std::string(in ? "red" : "white"));
                    return;
                }
            }
    }
}

TEST_CASE(viewport_inside_a_larger_canvas) {
    Player p(Load(RedStage()));
    raster::Image img(300, 300, 0xFF000000u);
    p.render(img.canvas(), {100, 100, 200, 200});
    CHECK(img.at(50, 50) == 0xFF000000u);          // outside the viewport: untouched
    CHECK(Near(img.at(150, 110), 255, 255, 255));  // letterbox bar
    CHECK(Near(img.at(150, 150), 255, 0, 0));      // stage
    CHECK(img.at(250, 150) == 0xFF000000u);
}

TEST_CASE(background_override_paints_the_bars_black) {
    Player p(Load(RedStage()));
    p.setBackgroundOverride(raster::Rgba{0, 0, 0, 255});
    raster::Image img(100, 100, 0xFFFFFFFFu);
    p.render(img.canvas(), {0, 0, 100, 100});
    CHECK(Near(img.at(50, 10), 0, 0, 0));
    CHECK(Near(img.at(50, 50), 255, 0, 0));
}

TEST_CASE(content_outside_the_stage_is_clipped) {
    MovieWriter m(100, 50, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    s.rect(-50 * kTw, -50 * kTw, 200 * kTw, 150 * kTw, s.addSolid(Color{0, 0, 255}));
    m.defineShape(1, s, 1);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 100);
    CHECK(Near(f.at(50, 10), 255, 255, 255));
    CHECK(Near(f.at(50, 50), 0, 0, 255));
    CHECK(Near(f.at(50, 90), 255, 255, 255));
}

TEST_CASE(two_fills_per_edge) {
    // Outer square style A; inner square edges carry A on one side and B (half
    // transparent blue) on the other. The inner area shows B over the background
    // only; A must not be painted under it. With B = none the inner square is a hole.
    for (bool hole : {false, true}) {
        MovieWriter m(100, 100, 10);
        m.background(Color{255, 255, 255});
        ShapeBuilder s;
        uint16_t a = s.addSolid(Color{255, 0, 0});
        uint16_t b = s.addSolid(Color{0, 0, 255, 128});
        s.rect(10 * kTw, 10 * kTw, 80 * kTw, 80 * kTw, a);
        s.style(a, hole ? 0 : b, std::nullopt);
        s.moveTo(30 * kTw, 30 * kTw);
        s.lineTo(70 * kTw, 30 * kTw);
        s.lineTo(70 * kTw, 70 * kTw);
        s.lineTo(30 * kTw, 70 * kTw);
        s.lineTo(30 * kTw, 30 * kTw);
        m.defineShape(1, s, 3);
        m.place(PlaceId(1, 1));
        m.showFrame();
        Frame f = Render(m.finish(false), 100, 100);
        CHECK(Near(f.at(20, 20), 255, 0, 0));
        CHECK(Near(f.at(5, 5), 255, 255, 255));
        if (hole) CHECK_EQ(Show(f.at(50, 50)), Show(raster::PackBgrx(255, 255, 255)));
        else CHECK_EQ_AT(Show(f.at(50, 50)), Near(f.at(50, 50), 127, 127, 255), true);
        // The shared edge has no seam of background or of A showing through.
        CHECK(Near(f.at(29, 50), 255, 0, 0));
    }
}

TEST_CASE(edges_land_within_a_tolerance) {
    // A rectangle from 20.5 to 60.25 px: the boundary pixels carry their share.
    MovieWriter m(100, 100, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    s.rect(410, 410, 1205 - 410, 1205 - 410, s.addSolid(Color{0, 0, 0}));
    m.defineShape(1, s, 1);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 100);
    CHECK(Near(f.at(20, 40), 128, 128, 128, 4));  // half covered
    CHECK(Near(f.at(21, 40), 0, 0, 0));
    CHECK(Near(f.at(60, 40), 191, 191, 191, 4));  // a quarter covered
    CHECK(Near(f.at(61, 40), 255, 255, 255));
    CHECK(Near(f.at(40, 20), 128, 128, 128, 4));
}

TEST_CASE(curves_make_a_round_ellipse) {
    MovieWriter m(100, 100, 10);
    m.background(Color{0, 0, 0});
    ShapeBuilder s;
    s.ellipse(50 * kTw, 50 * kTw, 40 * kTw, 20 * kTw, s.addSolid(Color{255, 255, 255}));
    m.defineShape(1, s, 1);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 100);
    CHECK(Near(f.at(50, 50), 255, 255, 255));
    CHECK(Near(f.at(12, 50), 255, 255, 255));
    CHECK(Near(f.at(8, 50), 0, 0, 0));
    CHECK(Near(f.at(50, 33), 255, 255, 255));
    CHECK(Near(f.at(50, 27), 0, 0, 0));
    // On the 45 degree diagonal the curve passes (x,y) = 50 + (28.3, 14.1): inside a
    // little in, outside a little out.
    CHECK(Near(f.at(50 + 26, 50 + 12), 255, 255, 255, 10));
    CHECK(Near(f.at(50 + 31, 50 + 16), 0, 0, 0, 10));
    double area = 0;
    for (uint32_t p : f.img.pixels) area += raster::PixelG(p) / 255.0;
    CHECK(std::fabs(area - 3.14159265 * 40 * 20) < 25);
}

TEST_CASE(gradient_fills_in_a_movie) {
    MovieWriter m(200, 100, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    FillSpec lin;
    lin.kind = FillSpec::Gradient;
    lin.gradient.matrix = GradientSpec::LinearAlong(0, 0, 100 * kTw, 0);
    lin.gradient.stops = {{0, Color{255, 0, 0}}, {255, Color{0, 0, 255}}};
    s.rect(0, 0, 100 * kTw, 100 * kTw, s.addFill(lin));
    FillSpec rad;
    rad.kind = FillSpec::Gradient;
    rad.gradient.kind = GradientSpec::Radial;
    rad.gradient.matrix = GradientSpec::RadialAt(150 * kTw, 50 * kTw, 50 * kTw);
    rad.gradient.stops = {{0, Color{0, 0, 0}}, {255, Color{0, 255, 0}}};
    s.rect(100 * kTw, 0, 100 * kTw, 100 * kTw, s.addFill(rad));
    m.defineShape(1, s, 2);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 200, 100);
    CHECK(Near(f.at(0, 50), 254, 0, 1, 4));
    CHECK(Near(f.at(50, 50), 127, 0, 128, 4));
    CHECK(Near(f.at(99, 50), 1, 0, 254, 4));
    CHECK(Near(f.at(150, 50), 0, 0, 0, 6));
    CHECK(Near(f.at(175, 50), 0, 128, 0, 6));
    CHECK(Near(f.at(150, 75), 0, 128, 0, 6));
    CHECK(Near(f.at(199, 1), 0, 255, 0, 4));
}

TEST_CASE(colour_transforms_with_alpha) {
    struct Row { CxForm cx; int r, g, b; const char* name; };
    CxForm half;
    half.am = 0.5;
    CxForm addGreen;
    addGreen.ga = 255;
    CxForm invertish;
    invertish.rm = -1;
    invertish.ra = 255;
    CxForm gone;
    gone.am = 0;
    const Row rows[] = {
        {CxForm{}, 200, 0, 0, "identity"},
        {half, 228, 128, 128, "half alpha over white"},
        {addGreen, 200, 255, 0, "add green"},
        {invertish, 55, 0, 0, "negative multiply plus add"},
        {gone, 255, 255, 255, "alpha zero"},
    };
    for (const Row& row : rows) {
        MovieWriter m(50, 50, 10);
        m.background(Color{255, 255, 255});
        ShapeBuilder s;
        s.rect(0, 0, 50 * kTw, 50 * kTw, s.addSolid(Color{200, 0, 0}));
        m.defineShape(1, s, 3);
        Place p = PlaceId(1, 1);
        p.cxform = row.cx;
        m.place(p);
        m.showFrame();
        Frame f = Render(m.finish(false), 50, 50);
        CHECK_EQ_AT(std::string(row.name) + " " + Show(f.at(25, 25)), Near(f.at(25, 25), row.r, row.g, row.b), true);
    }
}

TEST_CASE(colour_transforms_nest_through_sprites) {
    MovieWriter m(50, 50, 10);
    m.background(Color{0, 0, 0});
    ShapeBuilder s;
    s.rect(0, 0, 50 * kTw, 50 * kTw, s.addSolid(Color{200, 200, 200}));
    m.defineShape(1, s, 3);
    swfgen::TagStream sp;
    Place inner = PlaceId(1, 1);
    CxForm halfRed;
    halfRed.rm = 0.5;
    inner.cxform = halfRed;
    sp.place(inner);
    sp.showFrame();
    m.defineSprite(2, sp);
    Place outer = PlaceId(1, 2);
    CxForm plus;
    plus.ra = 10;
    plus.ga = 20;
    outer.cxform = plus;
    m.place(outer);
    m.showFrame();
    Frame f = Render(m.finish(false), 50, 50);
    // Inner first (200 * 0.5), then the outer's additions.
    CHECK_EQ_AT(Show(f.at(25, 25)), Near(f.at(25, 25), 110, 220, 200), true);
}

TEST_CASE(strokes_scale_with_the_stage) {
    // A 2-pixel line across a 100 x 100 stage drawn at 200 x 200 is 4 pixels wide.
    MovieWriter m(100, 100, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    swfgen::LineSpec l;
    l.width = 2 * kTw;
    l.color = Color{0, 0, 0};
    uint16_t line = s.addLine(l);
    s.style(std::nullopt, std::nullopt, line);
    s.moveTo(10 * kTw, 50 * kTw);
    s.lineTo(90 * kTw, 50 * kTw);
    m.defineShape(1, s, 1);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 200, 200);
    for (int y = 98; y < 102; ++y) CHECK(Near(f.at(100, y), 0, 0, 0));
    CHECK(Near(f.at(100, 96), 255, 255, 255));
    CHECK(Near(f.at(100, 103), 255, 255, 255));
    CHECK(Near(f.at(19, 100), 0, 0, 0));  // round cap past the end at 20
    CHECK(Near(f.at(14, 100), 255, 255, 255));
}

TEST_CASE(rotated_and_scaled_placements) {
    MovieWriter m(100, 100, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    s.rect(0, 0, 20 * kTw, 10 * kTw, s.addSolid(Color{0, 128, 0}));
    m.defineShape(1, s, 1);
    // Rotated a quarter turn clockwise and doubled, at (50, 20): covers x 30..50, y 20..60.
    m.place(PlaceId(1, 1, Matrix::Transform(2, 2, 3.14159265358979 / 2, 50 * kTw, 20 * kTw)));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 100);
    CHECK(Near(f.at(40, 40), 0, 128, 0));
    CHECK(Near(f.at(55, 40), 255, 255, 255));
    CHECK(Near(f.at(40, 65), 255, 255, 255));
    CHECK(Near(f.at(31, 21), 0, 128, 0));
}

TEST_CASE(demo_movie_renders_and_animates) {
    auto bytes = swfgen::BuildDemo(true);
    auto movie = Load(bytes);
    CHECK(!movie->damaged);
    CHECK_EQ(movie->frameCount(), 150u);
    CHECK_EQ(movie->info.frameRate, 30 * 256);
    Player p(movie);
    raster::Image a(320, 180), b(320, 180);
    p.render(a.canvas(), {0, 0, 320, 180});
    for (int i = 0; i < 30; ++i) p.advance();
    CHECK(p.needsRender({0, 0, 320, 180}));
    p.render(b.canvas(), {0, 0, 320, 180});
    int differ = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) differ += a.pixels[i] != b.pixels[i];
    CHECK(differ > 500);
    // The sky gradient runs from dark blue at the top to orange at the bottom.
    CHECK(raster::PixelB(b.at(5, 2)) > raster::PixelR(b.at(5, 2)));
    CHECK(raster::PixelR(b.at(5, 177)) > 180);
    for (int i = 0; i < 200; ++i) p.advance();
    CHECK_EQ(p.currentFrame(), 149u);
    CHECK(!p.isPlaying());
}

TEST_CASE(adjacent_regions_leave_no_seam) {
    // Two styles of the same red meet on an edge through the middle of pixel 20;
    // the blue background must not show through there.
    MovieWriter m(40, 10, 10);
    m.background(Color{0, 0, 255});
    ShapeBuilder s;
    uint16_t a = s.addSolid(Color{255, 0, 0}), b = s.addSolid(Color{255, 0, 0, 255});
    const int32_t mid = 410;  // 20.5 px
    s.style(std::nullopt, a, std::nullopt);
    s.moveTo(0, 0);
    s.lineTo(mid, 0);
    s.style(b, a, std::nullopt);  // the shared edge: b on one side, a on the other
    s.lineTo(mid, 200);
    s.style(0, a, std::nullopt);
    s.lineTo(0, 200);
    s.lineTo(0, 0);
    s.style(0, b, std::nullopt);
    s.moveTo(mid, 0);
    s.lineTo(800, 0);
    s.lineTo(800, 200);
    s.lineTo(mid, 200);
    m.defineShape(1, s, 3);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 10);
    CHECK_EQ_AT(Show(f.at(20, 5)), Near(f.at(20, 5), 255, 0, 0, 2), true);
    CHECK(Near(f.at(5, 5), 255, 0, 0));
    CHECK(Near(f.at(35, 5), 255, 0, 0));
}

TEST_CASE(overlapping_paths_of_one_style_follow_the_winding_rule) {
    // Two overlapping squares of one style, both with the style on the same side:
    // even-odd (the default) leaves the overlap empty, a DefineShape4 asking for
    // non-zero fills it.
    struct Row { int version; bool nonZero; bool filled; const char* name; };
    const Row rows[] = {{3, false, false, "shape3"}, {4, false, false, "shape4"}, {4, true, true, "shape4 non-zero"}};
    for (const Row& r : rows) {
        MovieWriter m(60, 20, 10);
        m.background(Color{255, 255, 255});
        ShapeBuilder s;
        uint16_t a = s.addSolid(Color{0, 0, 0});
        s.rect(0, 0, 40 * kTw, 20 * kTw, a);
        s.rect(20 * kTw, 0, 40 * kTw, 20 * kTw, a);
        s.nonZeroWinding(r.nonZero);
        m.defineShape(1, s, r.version);
        m.place(PlaceId(1, 1));
        m.showFrame();
        Frame f = Render(m.finish(false), 60, 20);
        CHECK_EQ_AT(r.name, Near(f.at(10, 10), 0, 0, 0), true);
        CHECK_EQ_AT(r.name, Near(f.at(30, 10), 0, 0, 0), r.filled);
        CHECK_EQ_AT(r.name, Near(f.at(50, 10), 0, 0, 0), true);
    }
}

TEST_CASE(shared_edges_under_a_mask_and_translucent) {
    // The seam-free shape drawn half transparent under a mask that keeps its left
    // 30 pixels, twice (the second copy lower): edge pixels follow the mask and
    // the alpha like inner ones, and nothing of the first copy leaks into the second.
    MovieWriter m(40, 40, 10);
    m.background(Color{0, 0, 255});
    ShapeBuilder s;
    uint16_t a = s.addSolid(Color{255, 0, 0, 128}), b = s.addSolid(Color{255, 0, 0, 128});
    const int32_t mid = 410;  // 20.5 px
    s.style(0, a, std::nullopt);
    s.moveTo(0, 0);
    s.lineTo(mid, 0);
    s.style(b, a, std::nullopt);
    s.lineTo(mid, 200);
    s.style(0, a, std::nullopt);
    s.lineTo(0, 200);
    s.lineTo(0, 0);
    s.style(0, b, std::nullopt);
    s.moveTo(mid, 0);
    s.lineTo(800, 0);
    s.lineTo(800, 200);
    s.lineTo(mid, 200);
    m.defineShape(1, s, 3);
    ShapeBuilder mk;
    mk.rect(0, 0, 30 * kTw, 40 * kTw, mk.addSolid(Color{0, 0, 0}));
    m.defineShape(2, mk, 1);
    Place mask = PlaceId(1, 2);
    mask.clipDepth = 10;
    m.place(mask);
    m.place(PlaceId(2, 1));
    m.place(PlaceId(3, 1, Matrix::Translate(0, 20 * kTw)));
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 40);
    for (int y : {5, 25}) {
        const std::string row = "row " + std::to_string(y) + " ";
        CHECK_EQ_AT(row + Show(f.at(10, y)), Near(f.at(10, y), 128, 0, 127), true);
        CHECK_EQ_AT(row + Show(f.at(20, y)), Near(f.at(20, y), 128, 0, 127), true);  // the shared edge
        CHECK_EQ_AT(row + Show(f.at(25, y)), Near(f.at(25, y), 128, 0, 127), true);
        CHECK_EQ_AT(row + Show(f.at(35, y)), Near(f.at(35, y), 0, 0, 255), true);    // masked out
    }
}
