// The SWF model: header, tag stream, damaged and hostile files, definitions.
#include "SwfMovie.h"
#include "SwfWriter.h"
#include "check.h"

#include <string>

using swfmovie::Character;
using swfmovie::LoadMovie;
using swfmovie::ReadMovieInfo;

namespace {

std::vector<uint8_t> Tag(uint16_t code, std::vector<uint8_t> body, bool longForm = false) {
    std::vector<uint8_t> out;
    if (body.size() < 63 && !longForm) {
        uint16_t h = uint16_t((code << 6) | body.size());
        out = {uint8_t(h), uint8_t(h >> 8)};
    } else {
        uint16_t h = uint16_t((code << 6) | 63);
        uint32_t n = uint32_t(body.size());
        out = {uint8_t(h), uint8_t(h >> 8), uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A small movie with a shape placed and moved over three frames.
std::vector<uint8_t> ThreeFrames(bool compress) {
    swfgen::MovieWriter m(100, 100, 12);
    m.background(swfgen::Color{10, 20, 30});
    swfgen::ShapeBuilder s;
    s.rect(0, 0, 400, 400, s.addSolid(swfgen::Color{255, 0, 0}));
    m.defineShape(1, s, 1);
    for (int f = 0; f < 3; ++f) {
        swfgen::Place p;
        p.depth = 1;
        p.matrix = swfgen::Matrix::Translate(f * 200, 0);
        if (f == 0) p.id = 1;
        else p.move = true;
        m.place(p);
        m.showFrame();
    }
    return m.finish(compress);
}

}  // namespace

TEST_CASE(header_info_table) {
    auto fws = swfgen::BuildBlank(550, 400, 30, 10, false);
    auto cws = swfgen::BuildBlank(550, 400, 24.5, 7, true);
    auto zws = fws;
    zws[0] = 'Z';
    auto corrupt = cws;
    for (size_t i = 8; i < corrupt.size(); ++i) corrupt[i] = 0x55;
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    std::vector<uint8_t> shortHeader(fws.begin(), fws.begin() + 9);

    struct Row { const char* name; const std::vector<uint8_t>* data; bool ok; const char* errorPart; };
    const Row rows[] = {
        {"fws", &fws, true, ""},           {"cws", &cws, true, ""},
        {"zws", &zws, false, "LZMA"},      {"corrupt zlib", &corrupt, false, "corrupt"},
        {"gif", &gif, false, "not a SWF"}, {"short header", &shortHeader, false, "truncated"},
    };
    for (const Row& r : rows) {
        std::string err;
        auto info = ReadMovieInfo(r.data->data(), r.data->size(), &err);
        CHECK_EQ_AT(r.name, info.has_value(), r.ok);
        if (!r.ok) CHECK_EQ_AT(r.name + (": " + err), err.find(r.errorPart) != std::string::npos, true);
    }
    auto a = ReadMovieInfo(fws.data(), fws.size(), nullptr);
    REQUIRE(a);
    CHECK(a->compression == swfmovie::Compression::None);
    CHECK_EQ(a->version, 10);
    CHECK_EQ(a->frameRect.xmin, 0);
    CHECK_EQ(a->frameRect.xmax, 11000);
    CHECK_EQ(a->frameRect.ymax, 8000);
    CHECK_EQ(a->frameRate, 30 * 256);
    CHECK_EQ(a->frameCount, 10);
    CHECK_EQ(a->fileLength, uint32_t(fws.size()));
    auto b = ReadMovieInfo(cws.data(), cws.size(), nullptr);
    REQUIRE(b);
    CHECK(b->compression == swfmovie::Compression::Zlib);
    CHECK_EQ(b->frameRate, uint16_t(24.5 * 256));
    CHECK_EQ(b->frameCount, 7);
    CHECK(b->fileLength > cws.size());  // the uncompressed length
    CHECK(ReadMovieInfo(nullptr, 0, nullptr) == std::nullopt);
}

TEST_CASE(header_of_cws_needs_only_its_first_bytes) {
    auto heavy = swfgen::BuildHeavy(50, true);
    // Cut the compressed stream short (past the block's code tables): the header still reads.
    REQUIRE(heavy.size() > 3000);
    std::string err;
    auto info = ReadMovieInfo(heavy.data(), 300, &err);
    REQUIRE(info);
    CHECK_EQ(info->frameRect.xmax, 800 * 20);
    CHECK_EQ(info->frameCount, 1);
}

TEST_CASE(load_counts_frames_and_definitions) {
    for (bool compress : {false, true}) {
        auto bytes = ThreeFrames(compress);
        std::string err = "x";
        auto m = LoadMovie(bytes.data(), bytes.size(), &err);
        REQUIRE(m);
        CHECK(err.empty());
        CHECK(!m->damaged);
        CHECK_EQ(m->frameCount(), 3u);
        CHECK(m->background == (raster::Rgba{10, 20, 30, 255}));
        const Character* c = m->find(1);
        REQUIRE(c);
        CHECK(c->kind == Character::Kind::Shape);
        CHECK_EQ(m->timeline.frames[1].commands.size(), size_t(1));
        CHECK(m->timeline.frames[1].commands[0].move);
    }
}

TEST_CASE(every_truncation_keeps_the_whole_frames) {
    auto bytes = ThreeFrames(false);
    auto full = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(full);
    uint32_t prev = 0;
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::string err;
        auto m = LoadMovie(bytes.data(), n, &err);
        if (!m) {
            CHECK(!err.empty());
            continue;
        }
        CHECK(m->damaged);
        CHECK(m->frameCount() >= prev);
        CHECK(m->frameCount() <= 3);
        prev = m->frameCount();
    }
    CHECK_EQ(prev, 3u);  // cut only in the End tag: all frames were whole
    // Compressed, cut anywhere.
    auto z = ThreeFrames(true);
    for (size_t n = 0; n < z.size(); ++n) {
        auto m = LoadMovie(z.data(), n, nullptr);
        if (m) CHECK(m->frameCount() <= 3);
    }
}

TEST_CASE(bad_lengths_and_unknown_tags) {
    swfgen::MovieWriter m(50, 50, 10);
    m.showFrame();
    m.tag(1000 & 0x3FF, std::vector<uint8_t>(10, 0xAB));  // unknown: skipped
    m.tag(2, std::vector<uint8_t>{1, 0});               // DefineShape cut short: skipped
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    CHECK_EQ(movie->frameCount(), 2u);
    CHECK(movie->damaged);  // the broken shape is noted
    CHECK(movie->find(1) == nullptr);

    // A tag whose length runs past the end: the frames before it stay.
    swfgen::MovieWriter w(50, 50, 10);
    w.showFrame();
    auto good = w.finish(false);
    good.resize(good.size() - 2);  // drop End
    auto bad = Tag(2, std::vector<uint8_t>(4, 0), true);
    bad[2] = 0xFF;
    bad[3] = 0xFF;
    bad[4] = 0xFF;
    bad[5] = 0x7F;
    good.insert(good.end(), bad.begin(), bad.end());
    std::string err;
    auto cut = LoadMovie(good.data(), good.size(), &err);
    REQUIRE(cut);
    CHECK_EQ(cut->frameCount(), 1u);
    CHECK(err.find("past the end") != std::string::npos);
}

TEST_CASE(hostile_counts_end_cleanly) {
    swfgen::MovieWriter m(50, 50, 10);
    // DefineShape3 claiming 65535 fill styles in a few bytes.
    m.tag(32, std::vector<uint8_t>{1, 0, 0x00, 0xFF, 0xFF, 0xFF, 0x00});
    // A lossless bitmap of 65535 x 65535 pixels.
    m.tag(36, std::vector<uint8_t>{2, 0, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1});
    // A sprite declaring 65535 frames with none.
    m.tag(39, std::vector<uint8_t>{3, 0, 0xFF, 0xFF, 0, 0});
    // A font with an offset table pointing everywhere.
    m.tag(48, std::vector<uint8_t>{4, 0, 0x08, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    // A text with 40-bit glyph indices.
    m.tag(11, std::vector<uint8_t>{5, 0, 0, 0, 40, 40, 0});
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    CHECK_EQ(movie->frameCount(), 1u);
    CHECK(movie->damaged);
    const Character* bmp = movie->find(2);
    CHECK(bmp == nullptr || !bmp->as<swfmovie::BitmapChar>()->bitmap);
    const Character* sp = movie->find(3);
    REQUIRE(sp);
    CHECK_EQ(sp->as<swfmovie::Sprite>()->timeline.frames.size(), size_t(0));

    // A CWS header claiming 4 GiB: inflation stops at the data there is.
    auto z = swfgen::BuildBlank(50, 50, 10, 2, true);
    z[4] = z[5] = z[6] = z[7] = 0xFF;
    auto big = LoadMovie(z.data(), z.size(), nullptr);
    REQUIRE(big);
    CHECK_EQ(big->frameCount(), 2u);
}

TEST_CASE(two_fill_edges_are_grouped_per_style) {
    // An outer square of style 1 with an inner square whose edges have style 1 on
    // one side and style 2 on the other.
    swfgen::ShapeBuilder s;
    uint16_t a = s.addSolid(swfgen::Color{255, 0, 0}), b = s.addSolid(swfgen::Color{0, 0, 255});
    s.rect(0, 0, 1000, 1000, a);
    s.style(a, b, std::nullopt);
    s.moveTo(250, 250);
    s.lineTo(750, 250);
    s.lineTo(750, 750);
    s.lineTo(250, 750);
    s.lineTo(250, 250);
    swfgen::MovieWriter m(50, 50, 10);
    m.defineShape(1, s, 2);
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    const auto* shape = movie->find(1)->as<swfmovie::Shape>();
    REQUIRE(shape->data.fills.size() == 2);
    CHECK_EQ(shape->data.fills[0].size(), size_t(8));  // outer plus the inner, reversed
    CHECK_EQ(shape->data.fills[1].size(), size_t(4));
    // The inner edges of style 1 run against those of style 2.
    const auto& e1 = shape->data.fills[0][4];
    const auto& e2 = shape->data.fills[1][0];
    CHECK(e1.x0 == e2.x1 && e1.y0 == e2.y1 && e1.x1 == e2.x0 && e1.y1 == e2.y0);
}

TEST_CASE(new_styles_records_switch_arrays) {
    swfgen::ShapeBuilder s;
    uint16_t a = s.addSolid(swfgen::Color{1, 2, 3});
    s.rect(0, 0, 100, 100, a);
    s.newStyles();
    uint16_t b = s.addSolid(swfgen::Color{4, 5, 6});
    CHECK_EQ(b, 1);  // indices restart in the new array
    s.rect(200, 0, 100, 100, b);
    swfgen::MovieWriter m(50, 50, 10);
    m.defineShape(1, s, 3);
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    const auto& d = movie->find(1)->as<swfmovie::Shape>()->data;
    REQUIRE(d.fillStyles.size() == 2);
    CHECK(d.fillStyles[1].color == (raster::Rgba{4, 5, 6, 255}));
    CHECK_EQ(d.fills[0].size(), size_t(4));
    CHECK_EQ(d.fills[1].size(), size_t(4));
    CHECK_EQ(d.fills[1][0].x0, 200);
}

TEST_CASE(sprites_labels_and_actions_parse) {
    swfgen::MovieWriter m(50, 50, 10);
    swfgen::TagStream sp;
    sp.showFrame();
    sp.doAction(swfgen::act::Stop());
    sp.showFrame();
    m.defineSprite(7, sp);
    m.frameLabel("Intro");
    // push 3; gotoFrame2 (play): frame 3 is index 2.
    std::vector<uint8_t> push3 = {0x96, 5, 0, 7, 3, 0, 0, 0};
    std::vector<uint8_t> goto2 = {0x9F, 1, 0, 1};
    m.doAction(swfgen::act::Concat({swfgen::act::Stop(), swfgen::act::GotoLabel("intro"), push3, goto2,
                                    std::vector<uint8_t>{0x99, 2, 0, 0, 0},  // jump: the rest is not followed
                                    swfgen::act::Play()}));
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    const auto* sprite = movie->find(7)->as<swfmovie::Sprite>();
    CHECK_EQ(sprite->timeline.frames.size(), size_t(2));
    CHECK_EQ(sprite->timeline.frameCountDeclared, 2u);
    REQUIRE(sprite->timeline.frames[1].actions.size() == 1);
    CHECK(sprite->timeline.frames[1].actions[0][0].op == swfmovie::Action::Op::Stop);
    CHECK_EQ(movie->timeline.findLabel("INTRO").value_or(99), 0u);
    REQUIRE(movie->timeline.frames[0].actions.size() == 1);
    const auto& acts = movie->timeline.frames[0].actions[0];
    REQUIRE(acts.size() == 3);
    CHECK(acts[0].op == swfmovie::Action::Op::Stop);
    CHECK(acts[1].op == swfmovie::Action::Op::GotoLabel);
    CHECK_EQ(acts[1].label, std::string("intro"));
    CHECK(acts[2].op == swfmovie::Action::Op::GotoFrame);
    CHECK_EQ(acts[2].frame, 2u);
    CHECK_EQ(int(acts[2].playState), 1);
}

TEST_CASE(place_object_three_fields_older_tools_write) {
    // Flags: move, has character, matrix, name; flags2: filters, blend mode, class
    // name, cache as bitmap, visible, opaque background.
    swfgen::BitWriter w;
    w.u8(0x01 | 0x02 | 0x04 | 0x20);
    w.u8(0x01 | 0x02 | 0x04 | 0x08 | 0x20 | 0x40);
    w.u16(7);                 // depth
    w.string("my.Class");     // class name
    w.u16(3);                 // character
    w.matrix(swfgen::Matrix::Translate(40, 60));
    w.string("clip");
    w.u8(2);                  // two filters
    w.u8(1);                  // blur
    std::vector<uint8_t> blur(9, 0);
    w.bytes(blur.data(), blur.size());
    w.u8(4);                  // gradient glow with two colours
    w.u8(2);
    std::vector<uint8_t> glow(2 * 5 + 19, 0);
    w.bytes(glow.data(), glow.size());
    w.u8(3);                  // blend: multiply
    w.u8(1);                  // cache as bitmap
    w.u8(0);                  // invisible
    w.rgba(swfgen::Color{1, 2, 3, 4});
    swfgen::MovieWriter m(50, 50, 10);
    m.tag(70, w);
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    CHECK(!movie->damaged);
    REQUIRE(movie->timeline.frames.at(0).commands.size() == 1);
    const auto& c = movie->timeline.frames[0].commands[0];
    CHECK_EQ(c.depth, 7);
    CHECK_EQ(c.characterId.value_or(0), 3);
    CHECK(c.move);
    CHECK_EQ(c.matrix->tx, 40.0);
    CHECK_EQ(c.name, std::string("clip"));
    CHECK(c.blend == raster::BlendMode::Multiply);
    CHECK_EQ(c.visible.value_or(true), false);
}

TEST_CASE(morph_shape_two_pairs_edges_and_styles) {
    swfgen::ShapeBuilder a, b;
    swfgen::LineSpec l;
    l.width = 40;
    l.color = swfgen::Color{1, 1, 1};
    l.join = 2;
    swfgen::LineSpec l2 = l;
    l2.width = 100;
    l2.color = swfgen::Color{9, 9, 9};
    a.rect(0, 0, 100, 100, a.addSolid(swfgen::Color{255, 0, 0}), a.addLine(l));
    b.rect(500, 500, 300, 300, b.addSolid(swfgen::Color{0, 0, 255}), b.addLine(l2));
    swfgen::MovieWriter m(50, 50, 10);
    m.defineMorphShape(1, a, b, true);
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    CHECK(!movie->damaged);
    const auto* ms = movie->find(1)->as<swfmovie::MorphShape>();
    REQUIRE(ms->start.fills.size() == 1 && ms->end.fills.size() == 1);
    REQUIRE(ms->start.fills[0].size() == 4 && ms->end.fills[0].size() == 4);
    CHECK_EQ(ms->end.fills[0][0].x0, 500);
    CHECK_EQ(ms->end.fills[0][1].x0, 800);
    CHECK(ms->start.fillStyles[0].color == (raster::Rgba{255, 0, 0, 255}));
    CHECK(ms->end.fillStyles[0].color == (raster::Rgba{0, 0, 255, 255}));
    REQUIRE(ms->start.lineStyles.size() == 1);
    CHECK_EQ(ms->start.lineStyles[0].width, 40);
    CHECK_EQ(ms->end.lineStyles[0].width, 100);
    CHECK(ms->start.lineStyles[0].join == raster::Join::Miter);
    REQUIRE(ms->start.strokes.size() == 1 && ms->end.strokes.size() == 1);
    CHECK_EQ(ms->end.strokes[0].edges.size(), size_t(4));
}

TEST_CASE(timeline_calls_through_methods_and_functions) {
    auto pushInt = [](int32_t v) {
        return std::vector<uint8_t>{0x96, 5, 0, 7, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    auto pushStr = [](const std::string& s) {
        std::vector<uint8_t> b{0x96, uint8_t(s.size() + 2), 0, 0};
        for (char c : s) b.push_back(uint8_t(c));
        b.push_back(0);
        return b;
    };
    const std::vector<uint8_t> getVar{0x1C}, callMethod{0x52}, callFunction{0x3D}, pop{0x17};
    using swfgen::act::Concat;
    // _root.gotoAndPlay(3); this.stop(); gotoAndStop("end"); foo.play(); someFunction();
    auto code = Concat({pushInt(3), pushInt(1), pushStr("_root"), getVar, pushStr("gotoAndPlay"), callMethod, pop,
                        pushInt(0), pushStr("this"), getVar, pushStr("stop"), callMethod, pop,
                        pushStr("end"), pushInt(1), pushStr("gotoAndStop"), callFunction, pop,
                        pushInt(0), pushStr("foo"), getVar, pushStr("play"), callMethod, pop,
                        pushInt(0), pushStr("someFunction"), callFunction, pop});
    swfgen::MovieWriter m(50, 50, 10);
    m.doAction(code);
    m.showFrame();
    auto bytes = m.finish(false);
    auto movie = LoadMovie(bytes.data(), bytes.size(), nullptr);
    REQUIRE(movie);
    REQUIRE(movie->timeline.frames.at(0).actions.size() == 1);
    const auto& acts = movie->timeline.frames[0].actions[0];
    REQUIRE(acts.size() == 3);
    CHECK(acts[0].op == swfmovie::Action::Op::GotoFrame);
    CHECK_EQ(acts[0].frame, 2u);
    CHECK_EQ(int(acts[0].playState), 1);
    CHECK(acts[0].target == swfmovie::Action::Target::Root);
    CHECK(acts[1].op == swfmovie::Action::Op::Stop);
    CHECK(acts[1].target == swfmovie::Action::Target::Self);
    CHECK(acts[2].op == swfmovie::Action::Op::GotoLabel);
    CHECK_EQ(acts[2].label, std::string("end"));
    CHECK_EQ(int(acts[2].playState), 0);
}
