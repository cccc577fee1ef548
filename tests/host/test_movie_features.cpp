// Bitmaps, text, masks, morphs and blend modes, checked by pixels of rendered frames.
#include "SwfPlayer.h"
#include "SwfWriter.h"
#include "check.h"
#include "movie_test_support.h"

#include <cmath>
#include <cstdlib>
#include <string>

using swfgen::Color;
using swfgen::Matrix;
using swfgen::MovieWriter;
using swfgen::Place;
using swfgen::ShapeBuilder;
using swfmovie::Player;

using movietest::Frame;
using movietest::Near;
using movietest::Show;
using movietest::kTw;

namespace {

// Stands in for the system's codecs: a JPEG stream becomes a 2 x 2 green image,
// a PNG stream a 1 x 1 magenta one; the bytes it was given are kept for checks.
class FakeDecoder : public swfmovie::ImageDecoder {
public:
    std::vector<std::vector<uint8_t>> seen;
    bool decode(const uint8_t* data, size_t size, raster::Bitmap& out) override {
        seen.emplace_back(data, data + size);
        if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
            out.width = out.height = 2;
            out.pixels.assign(4, 0xFF00FF00u);
        } else if (size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') {
            out.width = out.height = 1;
            out.pixels.assign(1, 0xFFFF00FFu);
        } else {
            return false;
        }
        out.opaque = true;
        return true;
    }
};

Frame Render(const std::vector<uint8_t>& bytes, int w, int h, swfmovie::ImageDecoder* dec = nullptr, int ticks = 0) {
    swfmovie::LoadOptions opt;
    opt.decoder = dec;
    std::string err;
    auto movie = swfmovie::LoadMovie(bytes.data(), bytes.size(), &err, opt);
    REQUIRE(movie);
    CHECK_EQ(err, std::string());
    Player p(movie);
    for (int i = 0; i < ticks; ++i) p.advance();
    Frame f{raster::Image(w, h)};
    p.render(f.img.canvas(), {0, 0, w, h});
    return f;
}

#define CHECK_PX(f, x, y, r, g, b) CHECK_EQ_AT(Show((f).at(x, y)) + " at " #x "," #y, Near((f).at(x, y), r, g, b), true)

Place PlaceId(uint16_t depth, uint16_t id, Matrix m = Matrix{}) {
    Place p;
    p.depth = depth;
    p.id = id;
    p.matrix = m;
    return p;
}

uint16_t BitmapRect(MovieWriter& m, uint16_t id, uint16_t bitmapId, int wPx, int hPx, double pxPerTexel,
                    bool repeat, bool smooth) {
    ShapeBuilder s;
    swfgen::FillSpec f;
    f.kind = swfgen::FillSpec::Bitmap;
    f.bitmapId = bitmapId;
    f.bitmapMatrix = Matrix{20 * pxPerTexel, 0, 0, 20 * pxPerTexel, 0, 0};
    f.repeat = repeat;
    f.smooth = smooth;
    s.rect(0, 0, wPx * kTw, hPx * kTw, s.addFill(f));
    m.defineShape(id, s, 3);
    return id;
}

uint16_t SolidRect(MovieWriter& m, uint16_t id, Color c, int x, int y, int w, int h) {
    ShapeBuilder s;
    s.rect(x * kTw, y * kTw, w * kTw, h * kTw, s.addSolid(c));
    m.defineShape(id, s, 3);
    return id;
}

// Glyph 0: a square box; glyph 1: a thin bar on the left. EM square 1024 (scale 20 for font 3).
std::vector<swfgen::GlyphSpec> Glyphs(int scale) {
    std::vector<swfgen::GlyphSpec> g(2);
    g[0].code = 'A';
    g[0].shape.rect(100 * scale, -900 * scale, 800 * scale, 800 * scale, 1);
    g[0].advance = 1024;
    g[1].code = 'B';
    g[1].shape.rect(100 * scale, -900 * scale, 200 * scale, 800 * scale, 1);
    g[1].advance = 512;
    return g;
}

}  // namespace

TEST_CASE(lossless_bitmap_with_alpha_as_a_clipped_fill) {
    // 2 x 1 texels: opaque red, half-transparent blue; each 10 pixels wide.
    MovieWriter m(40, 20, 10);
    m.background(Color{255, 255, 255});
    m.defineBitsLossless2(1, 2, 1, {0xFFFF0000u, 0x800000FFu});
    BitmapRect(m, 2, 1, 20, 10, 10, false, false);
    m.place(PlaceId(1, 2));
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 20);
    CHECK_PX(f, 5, 5, 255, 0, 0);
    CHECK_PX(f, 15, 5, 127, 127, 255);
    CHECK_PX(f, 30, 5, 255, 255, 255);  // outside the shape
}

TEST_CASE(repeating_bitmap_fill_tiles) {
    MovieWriter m(40, 40, 10);
    m.background(Color{255, 0, 0});
    // A 2 x 2 checker, 5 pixels per texel: the pattern repeats every 10 pixels.
    m.defineBitsLossless2(1, 2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF000000u});
    BitmapRect(m, 2, 1, 40, 40, 5, true, false);
    m.place(PlaceId(1, 2));
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 40);
    for (int ty = 0; ty < 8; ++ty)
        for (int tx = 0; tx < 8; ++tx) {
            bool black = (tx + ty) % 2 == 0;
            int v = black ? 0 : 255;
            CHECK_PX(f, tx * 5 + 2, ty * 5 + 2, v, v, v);
        }

    // Clipped instead: past the bitmap the edge texels stretch.
    MovieWriter c(40, 40, 10);
    c.defineBitsLossless2(1, 2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF000000u});
    BitmapRect(c, 2, 1, 40, 40, 5, false, false);
    c.place(PlaceId(1, 2));
    c.showFrame();
    Frame g = Render(c.finish(false), 40, 40);
    CHECK_PX(g, 2, 2, 0, 0, 0);
    CHECK_PX(g, 30, 2, 255, 255, 255);  // the top-right texel, stretched
    CHECK_PX(g, 30, 30, 0, 0, 0);
}

TEST_CASE(smoothed_bitmap_fill_blends_texels) {
    MovieWriter m(40, 10, 10);
    m.defineBitsLossless2(1, 2, 1, {0xFF000000u, 0xFFFFFFFFu});
    BitmapRect(m, 2, 1, 40, 10, 20, false, true);
    m.place(PlaceId(1, 2));
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 10);
    CHECK_PX(f, 2, 5, 0, 0, 0);
    CHECK_PX(f, 38, 5, 255, 255, 255);
    int mid = raster::PixelG(f.at(20, 5));
    CHECK(mid > 100 && mid < 155);
}

TEST_CASE(jpeg_with_alpha_plane_through_the_decoder) {
    MovieWriter m(40, 40, 10);
    m.background(Color{255, 255, 255});
    // Written with the stray end/start markers some tools put in front.
    std::vector<uint8_t> jpeg = {0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
    std::vector<uint8_t> alpha = {255, 0, 128, 255};
    m.defineBitsJpeg(1, jpeg, &alpha);
    BitmapRect(m, 2, 1, 20, 20, 10, false, false);
    m.place(PlaceId(1, 2));
    m.showFrame();
    FakeDecoder dec;
    Frame f = Render(m.finish(false), 40, 40, &dec);
    REQUIRE(dec.seen.size() == 1);
    CHECK(dec.seen[0] == (std::vector<uint8_t>{0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9}));
    CHECK_PX(f, 5, 5, 0, 255, 0);
    CHECK_PX(f, 15, 5, 255, 255, 255);  // alpha 0
    CHECK_PX(f, 5, 15, 127, 255, 127);  // alpha 128 over white
    CHECK_PX(f, 15, 15, 0, 255, 0);

    // Without a decoder the bitmap draws as nothing; the movie still plays.
    Frame none = Render(m.finish(false), 40, 40, nullptr);
    CHECK_PX(none, 5, 5, 255, 255, 255);
}

TEST_CASE(jpeg_tables_join_the_image_and_png_passes_through) {
    MovieWriter m(20, 20, 10);
    m.tag(8, std::vector<uint8_t>{0xFF, 0xD8, 0xAA, 0xBB, 0xFF, 0xD9});  // JPEGTables
    m.tag(6, std::vector<uint8_t>{1, 0, 0xFF, 0xD8, 0xCC, 0xFF, 0xD9});  // DefineBits, id 1
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 9};
    std::vector<uint8_t> alpha = {0};
    m.defineBitsJpeg(2, png, &alpha);  // the alpha plane applies to JPEG data only
    BitmapRect(m, 3, 2, 20, 20, 20, false, false);
    m.place(PlaceId(1, 3));
    m.showFrame();
    FakeDecoder dec;
    Frame f = Render(m.finish(false), 20, 20, &dec);
    REQUIRE(dec.seen.size() == 2);
    CHECK(dec.seen[0] == (std::vector<uint8_t>{0xFF, 0xD8, 0xAA, 0xBB, 0xCC, 0xFF, 0xD9}));
    CHECK(dec.seen[1] == png);
    CHECK_PX(f, 10, 10, 255, 0, 255);
}

TEST_CASE(glyph_text_in_two_colours) {
    for (bool font3 : {false, true}) {
        MovieWriter m(100, 60, 10);
        m.background(Color{255, 255, 255});
        m.defineFont(1, "Boxes", Glyphs(font3 ? 20 : 1), font3);
        // 20-pixel text: the box glyph spans 2..17.6 px right of the pen, 2..17.6 px above the baseline.
        swfgen::TextRunSpec red;
        red.fontId = 1;
        red.color = Color{255, 0, 0};
        red.x = 10 * kTw;
        red.y = 40 * kTw;
        red.height = 20 * kTw;
        red.glyphs = {{0, 20 * kTw}, {1, 10 * kTw}};
        swfgen::TextRunSpec blue = red;
        blue.color = Color{0, 0, 255, 255};
        blue.x = 60 * kTw;
        blue.glyphs = {{0, 20 * kTw}};
        m.defineText(2, {red, blue});
        m.place(PlaceId(1, 2));
        m.showFrame();
        Frame f = Render(m.finish(false), 100, 60);
        std::string n = font3 ? "font3 " : "font2 ";
        CHECK_EQ_AT(n + Show(f.at(20, 30)), Near(f.at(20, 30), 255, 0, 0), true);   // first box
        CHECK_EQ_AT(n + Show(f.at(32, 30)), Near(f.at(32, 30), 255, 0, 0), true);   // the bar after it
        CHECK_EQ_AT(n + Show(f.at(36, 30)), Near(f.at(36, 30), 255, 255, 255), true);
        CHECK_EQ_AT(n + Show(f.at(70, 30)), Near(f.at(70, 30), 0, 0, 255), true);   // second run
        CHECK_EQ_AT(n + Show(f.at(20, 42)), Near(f.at(20, 42), 255, 255, 255), true);  // below the baseline
    }
}

TEST_CASE(edit_text_with_an_embedded_font) {
    MovieWriter m(100, 40, 10);
    m.background(Color{255, 255, 255});
    m.defineFont(1, "Boxes", Glyphs(1));
    swfgen::EditTextSpec e;
    e.xmin = 0;
    e.xmax = 100 * kTw;
    e.ymin = 0;
    e.ymax = 40 * kTw;
    e.fontId = 1;
    e.height = 20 * kTw;
    e.color = Color{0, 128, 0};
    e.text = "<p>A&amp;B</p>";  // '&' has no glyph: it advances half an em
    e.html = true;
    m.defineEditText(2, e);
    m.place(PlaceId(1, 2));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 40);
    // Pen starts 2 px in; ascent 900/1024 of 20 px puts the baseline near y = 19.6.
    CHECK_PX(f, 12, 10, 0, 128, 0);   // 'A' box: x 4..19.6
    CHECK_PX(f, 24, 10, 255, 255, 255);
    CHECK_PX(f, 34, 10, 0, 128, 0);   // 'B' bar after A (20 px) and '&' (10 px): x 34..36
    CHECK_PX(f, 40, 10, 255, 255, 255);
}

TEST_CASE(mask_cuts_a_shape_and_masks_nest) {
    MovieWriter m(40, 40, 10);
    m.background(Color{255, 255, 255});
    SolidRect(m, 1, Color{0, 0, 0}, 0, 0, 20, 40);     // left half (mask A)
    SolidRect(m, 2, Color{0, 0, 0}, 0, 0, 40, 20);     // top half (mask B)
    SolidRect(m, 3, Color{255, 0, 0}, 0, 0, 40, 40);   // red everywhere
    SolidRect(m, 4, Color{0, 0, 255}, 0, 30, 40, 10);  // blue strip at the bottom
    Place a = PlaceId(1, 1);
    a.clipDepth = 10;
    m.place(a);
    Place b = PlaceId(2, 2);
    b.clipDepth = 5;
    m.place(b);
    m.place(PlaceId(3, 3));   // under A and B: top-left quadrant only
    m.place(PlaceId(6, 4));   // under A only: left part of the strip
    m.place(PlaceId(11, 4, Matrix::Translate(0, -10 * kTw)));  // no mask: full strip at y 20..30
    m.showFrame();
    Frame f = Render(m.finish(false), 40, 40);
    CHECK_PX(f, 5, 5, 255, 0, 0);
    CHECK_PX(f, 30, 5, 255, 255, 255);
    CHECK_PX(f, 5, 15, 255, 0, 0);
    CHECK_PX(f, 5, 25, 0, 0, 255);   // unmasked strip
    CHECK_PX(f, 30, 25, 0, 0, 255);
    CHECK_PX(f, 5, 35, 0, 0, 255);   // strip under A: left only
    CHECK_PX(f, 30, 35, 255, 255, 255);
    // The mask shapes themselves are not drawn.
    CHECK_PX(f, 30, 15, 255, 255, 255);
}

TEST_CASE(morph_at_ratio_zero_half_and_one) {
    struct Row { uint16_t ratio; int x; int r, g, b; const char* name; };
    const Row rows[] = {
        {0, 10, 255, 0, 0, "start"},
        {32768, 40, 127, 0, 128, "half"},
        {65535, 70, 0, 0, 255, "end"},
    };
    for (const Row& row : rows) {
        MovieWriter m(100, 20, 10);
        m.background(Color{255, 255, 255});
        ShapeBuilder a, b;
        a.rect(0, 0, 20 * kTw, 20 * kTw, a.addSolid(Color{255, 0, 0}));
        b.rect(60 * kTw, 0, 20 * kTw, 20 * kTw, b.addSolid(Color{0, 0, 255}));
        m.defineMorphShape(1, a, b);
        Place p = PlaceId(1, 1);
        p.ratio = row.ratio;
        m.place(p);
        m.showFrame();
        Frame f = Render(m.finish(false), 100, 20);
        CHECK_EQ_AT(std::string(row.name) + " " + Show(f.at(row.x, 10)), Near(f.at(row.x, 10), row.r, row.g, row.b), true);
        for (int x : {10, 40, 70})
            if (x != row.x) CHECK_EQ_AT(std::string(row.name) + " elsewhere", Near(f.at(x, 10), 255, 255, 255), true);
    }
}

TEST_CASE(morph_of_curves_and_gradients) {
    MovieWriter m(100, 100, 10);
    m.background(Color{0, 0, 0});
    ShapeBuilder a, b;
    swfgen::FillSpec ga, gb;
    ga.kind = gb.kind = swfgen::FillSpec::Gradient;
    ga.gradient.matrix = swfgen::GradientSpec::LinearAlong(0, 0, 100 * kTw, 0);
    gb.gradient.matrix = ga.gradient.matrix;
    ga.gradient.stops = {{0, Color{255, 255, 255}}, {255, Color{255, 255, 255}}};
    gb.gradient.stops = {{0, Color{0, 255, 0}}, {255, Color{0, 255, 0}}};
    a.ellipse(50 * kTw, 50 * kTw, 10 * kTw, 10 * kTw, a.addFill(ga));
    b.ellipse(50 * kTw, 50 * kTw, 40 * kTw, 40 * kTw, b.addFill(gb));
    m.defineMorphShape(1, a, b);
    Place p = PlaceId(1, 1);
    p.ratio = 32768;  // radius 25, colour half way
    m.place(p);
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 100);
    CHECK_PX(f, 50, 50, 128, 255, 128);
    CHECK_PX(f, 50 + 22, 50, 128, 255, 128);
    CHECK_PX(f, 50 + 28, 50, 0, 0, 0);
}

TEST_CASE(blend_modes_of_placements_and_sprites) {
    struct Row { uint8_t mode; int expect; const char* name; };
    // Grey 100 drawn over grey 200.
    const Row rows[] = {{0, 100, "normal"}, {3, 78, "multiply"}, {4, 222, "screen"},
                        {8, 255, "add"},    {9, 100, "subtract"}, {6, 100, "darken"}};
    for (const Row& row : rows) {
        for (bool viaSprite : {false, true}) {
            MovieWriter m(20, 20, 10);
            SolidRect(m, 1, Color{200, 200, 200}, 0, 0, 20, 20);
            SolidRect(m, 2, Color{100, 100, 100}, 0, 0, 20, 20);
            swfgen::TagStream sp;
            sp.place(PlaceId(1, 2));
            sp.showFrame();
            m.defineSprite(3, sp);
            m.place(PlaceId(1, 1));
            Place p = PlaceId(2, viaSprite ? 3 : 2);
            p.blend = row.mode;
            m.place(p);
            m.showFrame();
            Frame f = Render(m.finish(false), 20, 20);
            std::string n = std::string(row.name) + (viaSprite ? " sprite " : " shape ") + Show(f.at(10, 10));
            CHECK_EQ_AT(n, Near(f.at(10, 10), row.expect, row.expect, row.expect, 2), true);
        }
    }
}

TEST_CASE(layer_groups_let_erase_and_alpha_act_inside_them) {
    // A layer sprite: a red square, a smaller square erasing its middle, and an alpha
    // strip fading the bottom. Outside a layer, erase draws nothing.
    for (bool layer : {true, false}) {
        MovieWriter m(40, 40, 10);
        m.background(Color{255, 255, 255});
        SolidRect(m, 1, Color{255, 0, 0}, 0, 0, 40, 40);
        SolidRect(m, 2, Color{0, 0, 0}, 10, 10, 10, 10);
        SolidRect(m, 3, Color{0, 0, 0, 128}, 0, 30, 40, 10);
        swfgen::TagStream sp;
        sp.place(PlaceId(1, 1));
        Place erase = PlaceId(2, 2);
        erase.blend = 12;
        sp.place(erase);
        Place alpha = PlaceId(3, 3);
        alpha.blend = 11;
        sp.place(alpha);
        sp.showFrame();
        m.defineSprite(4, sp);
        Place p = PlaceId(1, 4);
        if (layer) p.blend = 2;
        m.place(p);
        m.showFrame();
        Frame f = Render(m.finish(false), 40, 40);
        CHECK_PX(f, 5, 5, 255, 0, 0);
        if (layer) {
            CHECK_PX(f, 15, 15, 255, 255, 255);  // erased: the background shows
            CHECK_PX(f, 5, 35, 255, 127, 127);   // half alpha: red at half over white
        } else {
            CHECK_PX(f, 15, 15, 255, 0, 0);
            CHECK_PX(f, 5, 35, 255, 0, 0);
        }
    }
}

TEST_CASE(device_text_goes_to_the_system_renderer) {
    struct Recorder : swfmovie::DeviceTextRenderer {
        std::vector<Request> calls;
        void draw(const raster::Canvas& canvas, const Request& r) override {
            calls.push_back(r);
            raster::FillRect(canvas, r.clip, raster::PackBgrx(r.color.r, r.color.g, r.color.b));
        }
    };
    MovieWriter m(100, 50, 10);
    swfgen::EditTextSpec e;
    e.xmin = 10 * kTw;
    e.xmax = 90 * kTw;
    e.ymin = 5 * kTw;
    e.ymax = 30 * kTw;
    e.height = 12 * kTw;
    e.color = Color{10, 20, 30};
    e.text = "Hello<br>world";
    e.html = true;
    e.align = 2;
    m.defineEditText(1, e);
    m.place(PlaceId(1, 1));
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = swfmovie::LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    Player p(movie);
    raster::Image img(200, 100);
    p.render(img.canvas(), {0, 0, 200, 100});  // no renderer: nothing, no crash
    Recorder rec;
    const uint64_t version = p.displayVersion();
    p.setDeviceTextRenderer(&rec);
    CHECK(p.needsRender({0, 0, 200, 100}));  // the picture changes...
    CHECK_EQ(p.displayVersion(), version);   // ...the display list does not
    p.render(img.canvas(), {0, 0, 200, 100});
    p.setDeviceTextRenderer(&rec);  // the same one again: nothing to redraw
    CHECK(!p.needsRender({0, 0, 200, 100}));
    REQUIRE(rec.calls.size() == 1);
    const auto& r = rec.calls[0];
    CHECK_EQ(r.text, std::string("Hello\nworld"));
    CHECK(std::fabs(r.heightPx - 24) < 1e-6);  // 12 px on a stage drawn twice as large
    CHECK(r.color == (raster::Rgba{10, 20, 30, 255}));
    CHECK_EQ(int(r.align), 2);
    CHECK_EQ(r.bounds.xmin, 10 * kTw);
    double x, y;
    r.matrix.apply(r.bounds.xmin, r.bounds.ymin, x, y);
    CHECK(std::fabs(x - 20) < 1e-6 && std::fabs(y - 10) < 1e-6);
    CHECK(Near(img.at(100, 50), 10, 20, 30));
}

TEST_CASE(define_font_one_with_font_info) {
    // DefineFont (glyph shapes only) and DefineFontInfo (codes) as older tools wrote.
    MovieWriter m(60, 40, 10);
    m.background(Color{255, 255, 255});
    auto glyphs = Glyphs(1);
    std::vector<uint8_t> g0 = glyphs[0].shape.glyphRecords(), g1 = glyphs[1].shape.glyphRecords();
    swfgen::BitWriter f;
    f.u16(1);
    f.u16(4);
    f.u16(uint16_t(4 + g0.size()));
    f.bytes(g0.data(), g0.size());
    f.bytes(g1.data(), g1.size());
    m.tag(10, f);
    swfgen::BitWriter info;
    info.u16(1);
    info.u8(5);
    info.bytes("Boxes", 5);
    info.u8(0);
    info.u8('A');
    info.u8('B');
    m.tag(13, info);
    swfgen::TextRunSpec run;
    run.fontId = 1;
    run.color = Color{0, 0, 255};
    run.x = 10 * kTw;
    run.y = 30 * kTw;
    run.height = 20 * kTw;
    run.glyphs = {{1, 10 * kTw}, {0, 20 * kTw}};
    m.defineText(2, {run}, false);
    m.place(PlaceId(1, 2));
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = swfmovie::LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    const auto* font = movie->find(1)->as<swfmovie::Font>();
    REQUIRE(font->glyphs.size() == 2);
    CHECK_EQ(font->name, std::string("Boxes"));
    CHECK(font->codes == (std::vector<uint16_t>{'A', 'B'}));
    Frame fr = Render(bytes, 60, 40);
    CHECK_PX(fr, 12, 20, 0, 0, 255);  // the bar
    CHECK_PX(fr, 16, 20, 255, 255, 255);
    CHECK_PX(fr, 30, 20, 0, 0, 255);  // the box after it
}

TEST_CASE(edit_text_wraps_words_at_the_field_edge) {
    // "AA AA": each box glyph advances 20 px; the field is 70 px wide, so the second
    // word goes to a second line, starting at the left again.
    for (bool wrap : {false, true}) {
        MovieWriter m(100, 60, 10);
        m.background(Color{255, 255, 255});
        m.defineFont(1, "Boxes", Glyphs(1));
        swfgen::EditTextSpec e;
        e.xmin = 0;
        e.xmax = 70 * kTw;
        e.ymin = 0;
        e.ymax = 60 * kTw;
        e.fontId = 1;
        e.height = 20 * kTw;
        e.color = Color{0, 0, 0};
        e.text = "AA AA";
        e.wordWrap = wrap;
        m.defineEditText(2, e);
        m.place(PlaceId(1, 2));
        m.showFrame();
        Frame f = Render(m.finish(false), 100, 60);
        // First line: boxes at 4..19.6 and 24..39.6; the second word after the space
        // (10 px) at 54.. on one line, or at 4.. one line lower (22 px) when wrapped.
        std::string n = wrap ? "wrapped" : "one line";
        CHECK_EQ_AT(n, Near(f.at(10, 10), 0, 0, 0), true);
        CHECK_EQ_AT(n, Near(f.at(30, 10), 0, 0, 0), true);
        CHECK_EQ_AT(n, Near(f.at(60, 10), 0, 0, 0), !wrap);
        CHECK_EQ_AT(n, Near(f.at(10, 32), 0, 0, 0), wrap);
        CHECK_EQ_AT(n, Near(f.at(30, 32), 0, 0, 0), wrap);
    }
}

TEST_CASE(gradient_filled_strokes) {
    MovieWriter m(100, 20, 10);
    m.background(Color{255, 255, 255});
    ShapeBuilder s;
    swfgen::LineSpec l;
    l.width = 10 * kTw;
    l.startCap = l.endCap = 1;  // none
    l.gradient = true;
    l.gradientFill.matrix = swfgen::GradientSpec::LinearAlong(0, 0, 100 * kTw, 0);
    l.gradientFill.stops = {{0, Color{255, 0, 0}}, {255, Color{0, 0, 255}}};
    uint16_t line = s.addLine(l);
    s.style(std::nullopt, std::nullopt, line);
    s.moveTo(0, 10 * kTw);
    s.lineTo(100 * kTw, 10 * kTw);
    m.defineShape(1, s, 4);
    m.place(PlaceId(1, 1));
    m.showFrame();
    Frame f = Render(m.finish(false), 100, 20);
    CHECK_PX(f, 2, 10, 250, 0, 5);
    CHECK_PX(f, 50, 10, 127, 0, 128);
    CHECK_PX(f, 97, 10, 5, 0, 250);
    CHECK_PX(f, 50, 2, 255, 255, 255);
}

TEST_CASE(bitmaps_drawn_much_smaller_average_their_texels) {
    // A 63 x 63 one-texel checker drawn 8 pixels wide: every pixel covers about 62
    // texels, half black and half white, and comes out grey when smoothed. (Two
    // texels blended where the pixel centre falls would give any shade.)
    std::vector<uint32_t> checker;
    for (int y = 0; y < 63; ++y)
        for (int x = 0; x < 63; ++x) checker.push_back(((x + y) & 1) ? 0xFFFFFFFFu : 0xFF000000u);
    for (bool smooth : {true, false}) {
        MovieWriter m(8, 8, 10);
        m.defineBitsLossless2(1, 63, 63, checker);
        BitmapRect(m, 2, 1, 8, 8, 8.0 / 63, false, smooth);
        m.place(PlaceId(1, 2));
        m.showFrame();
        Frame f = Render(m.finish(false), 8, 8);
        int grey = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) grey += Near(f.at(x, y), 128, 128, 128, 20);
        // Unsmoothed fills pick single texels: black or white, never grey.
        CHECK_EQ_AT(smooth ? "smoothed" : "not smoothed", grey, smooth ? 64 : 0);
    }
}
