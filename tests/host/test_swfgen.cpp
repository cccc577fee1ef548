// The SWF writer, read back through the project's own parser.
#include "SwfMovie.h"
#include "SwfWriter.h"
#include "check.h"

#include <cmath>
#include <string>

namespace {

std::shared_ptr<const swfmovie::Movie> Load(const std::vector<uint8_t>& bytes) {
    std::string err;
    auto m = swfmovie::LoadMovie(bytes.data(), bytes.size(), &err);
    REQUIRE(m);
    CHECK_EQ(err, std::string());
    return m;
}

}  // namespace

TEST_CASE(bit_widths) {
    struct Row { int64_t v; int s; };
    const Row rows[] = {{0, 1}, {-1, 1}, {1, 2}, {-2, 2}, {2, 3}, {127, 8}, {-128, 8}, {128, 9}, {65535, 17}};
    for (const Row& r : rows) CHECK_EQ_AT(std::to_string(r.v), swfgen::BitWriter::BitsSigned(r.v), r.s);
    CHECK_EQ(swfgen::BitWriter::BitsUnsigned(0), 0);
    CHECK_EQ(swfgen::BitWriter::BitsUnsigned(1), 1);
    CHECK_EQ(swfgen::BitWriter::BitsUnsigned(255), 8);
    CHECK_EQ(swfgen::BitWriter::BitsUnsigned(256), 9);
}

TEST_CASE(placements_round_trip) {
    struct Row { swfgen::Matrix m; const char* name; };
    const Row rows[] = {
        {swfgen::Matrix{}, "identity"},
        {swfgen::Matrix::Translate(-12345, 678), "translate"},
        {swfgen::Matrix::Transform(2.5, 0.25, 0, 10, 20), "scale"},
        {swfgen::Matrix::Transform(1, 1, 1.0, -5, 5), "rotate"},
        {swfgen::Matrix{-3, 0.5, -0.75, 100, 1, -1}, "skew and big scale"},
    };
    swfgen::MovieWriter w(10, 10, 1);
    swfgen::ShapeBuilder s;
    s.rect(0, 0, 20, 20, s.addSolid(swfgen::Color{}));
    w.defineShape(1, s);
    uint16_t depth = 1;
    for (const Row& r : rows) {
        swfgen::Place p;
        p.depth = depth++;
        p.id = 1;
        p.matrix = r.m;
        swfgen::CxForm c;
        c.rm = 0.5;
        c.am = -1;
        c.ba = -255;
        c.ga = 17;
        p.cxform = c;
        p.ratio = 300;
        p.name = r.name;
        w.place(p);
    }
    w.showFrame();
    auto movie = Load(w.finish(true));
    const auto& cmds = movie->timeline.frames.at(0).commands;
    REQUIRE(cmds.size() == std::size(rows));
    for (size_t i = 0; i < cmds.size(); ++i) {
        const auto& got = *cmds[i].matrix;
        const auto& want = rows[i].m;
        const char* n = rows[i].name;
        CHECK_EQ_AT(n, std::fabs(got.a - want.sx) < 1e-4 && std::fabs(got.d - want.sy) < 1e-4, true);
        CHECK_EQ_AT(n, std::fabs(got.b - want.r0) < 1e-4 && std::fabs(got.c - want.r1) < 1e-4, true);
        CHECK_EQ_AT(n, got.tx == want.tx && got.ty == want.ty, true);
        CHECK_EQ_AT(n, cmds[i].name, std::string(n));
        CHECK_EQ_AT(n, cmds[i].ratio.value_or(0), 300);
        const auto& cx = *cmds[i].cxform;
        CHECK_EQ_AT(n, cx.rm == 0.5f && cx.am == -1.f && cx.ba == -255.f && cx.ga == 17.f && cx.gm == 1.f, true);
    }
}

TEST_CASE(long_lines_are_split_and_survive) {
    // 200000 twips is past one record's reach.
    swfgen::ShapeBuilder s;
    uint16_t f = s.addSolid(swfgen::Color{});
    s.rect(0, 0, 200000, 20, f);
    swfgen::MovieWriter w(10, 10, 1);
    w.defineShape(1, s, 2);
    w.showFrame();
    auto movie = Load(w.finish(false));
    const auto& edges = movie->find(1)->as<swfmovie::Shape>()->data.fills.at(0);
    CHECK(edges.size() > 4);
    int32_t maxX = 0;
    for (const auto& e : edges) maxX = std::max(maxX, e.x1);
    CHECK_EQ(maxX, 200000);
    CHECK_EQ(edges.back().x1, 0);
    CHECK_EQ(edges.back().y1, 0);
}

TEST_CASE(styles_and_curves_round_trip) {
    swfgen::ShapeBuilder s;
    swfgen::FillSpec g;
    g.kind = swfgen::FillSpec::Gradient;
    g.gradient.kind = swfgen::GradientSpec::Focal;
    g.gradient.focal = -0.5;
    g.gradient.spread = 1;
    g.gradient.stops = {{0, swfgen::Color{1, 2, 3, 4}}, {200, swfgen::Color{5, 6, 7, 8}}};
    uint16_t fill = s.addFill(g);
    swfgen::LineSpec l;
    l.width = 77;
    l.color = swfgen::Color{9, 10, 11, 12};
    l.startCap = 1;
    l.endCap = 2;
    l.join = 2;
    uint16_t line = s.addLine(l);
    s.ellipse(0, 0, 1000, 500, fill, line);
    swfgen::MovieWriter w(10, 10, 1);
    w.defineShape(1, s, 4);
    w.showFrame();
    auto movie = Load(w.finish(false));
    const auto& d = movie->find(1)->as<swfmovie::Shape>()->data;
    REQUIRE(d.fillStyles.size() == 1 && d.lineStyles.size() == 1);
    const auto& fs = d.fillStyles[0];
    CHECK(fs.kind == swfmovie::FillStyle::Kind::Focal);
    CHECK(fs.spread == raster::Spread::Reflect);
    CHECK_EQ(fs.focal, -0.5f);
    REQUIRE(fs.stops.size() == 2);
    CHECK_EQ(int(fs.stops[1].ratio), 200);
    CHECK(fs.stops[1].color == (raster::Rgba{5, 6, 7, 8}));
    const auto& ls = d.lineStyles[0];
    CHECK_EQ(ls.width, 77);
    CHECK(ls.color == (raster::Rgba{9, 10, 11, 12}));
    CHECK(ls.startCap == raster::Cap::None);
    CHECK(ls.endCap == raster::Cap::Square);
    CHECK(ls.join == raster::Join::Miter);
    CHECK_EQ(ls.miterLimit, 3.f);
    REQUIRE(d.fills[0].size() == 8);
    for (const auto& e : d.fills[0]) CHECK(e.curved);
    REQUIRE(d.strokes.size() == 1);
    CHECK_EQ(d.strokes[0].edges.size(), size_t(8));
    // The outline closes where it started.
    CHECK_EQ(d.strokes[0].edges.back().x1, 1000);
    CHECK_EQ(d.strokes[0].edges.back().y1, 0);
}

TEST_CASE(blank_movies_of_the_command_line) {
    struct Row { int w, h; double fps; int frames; bool z; };
    const Row rows[] = {{550, 400, 30, 10, false}, {1, 1, 0.5, 0, true}, {1920, 1080, 60, 300, true}};
    for (const Row& r : rows) {
        auto bytes = swfgen::BuildBlank(r.w, r.h, r.fps, r.frames, r.z, swfgen::Color{9, 8, 7});
        std::string name = std::to_string(r.w) + "x" + std::to_string(r.h);
        auto movie = Load(bytes);
        CHECK_EQ_AT(name, movie->info.frameRect.width(), r.w * 20);
        CHECK_EQ_AT(name, movie->info.frameRect.height(), r.h * 20);
        CHECK_EQ_AT(name, movie->info.frameRate, uint16_t(std::lround(r.fps * 256)));
        CHECK_EQ_AT(name, movie->info.frameCount, uint16_t(r.frames));
        CHECK_EQ_AT(name, movie->frameCount(), uint32_t(r.frames));
        CHECK_EQ_AT(name, movie->info.compression == swfmovie::Compression::Zlib, r.z);
        CHECK_EQ_AT(name, movie->background == (raster::Rgba{9, 8, 7, 255}), true);
    }
}

TEST_CASE(lossless_bitmap_round_trip) {
    std::vector<uint32_t> argb = {0xFFFF0000u, 0x8000FF00u, 0x00000000u, 0xFF0000FFu, 0x40FFFFFFu, 0xFF123456u};
    swfgen::MovieWriter w(10, 10, 1);
    w.defineBitsLossless2(3, 3, 2, argb);
    w.showFrame();
    auto movie = Load(w.finish(false));
    const auto* b = movie->find(3)->as<swfmovie::BitmapChar>();
    REQUIRE(b->bitmap);
    CHECK_EQ(b->bitmap->width, 3);
    CHECK_EQ(b->bitmap->height, 2);
    CHECK(!b->bitmap->opaque);
    // Stored premultiplied.
    CHECK_EQ(b->bitmap->pixels[0], 0xFFFF0000u);
    CHECK_EQ(b->bitmap->pixels[1], 0x80008000u);
    CHECK_EQ(b->bitmap->pixels[2], 0u);
    CHECK_EQ(b->bitmap->pixels[4], 0x40404040u);
    CHECK_EQ(b->bitmap->pixels[5], 0xFF123456u);
}
