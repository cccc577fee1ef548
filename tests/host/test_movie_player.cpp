// The player: root timeline, nested sprite timelines, redraw tracking, frame actions,
// and movies whose sprites place themselves.
#include "SwfPlayer.h"
#include "SwfWriter.h"
#include "check.h"
#include "movie_test_support.h"

#include <atomic>
#include <string>

using swfgen::Color;
using swfgen::Matrix;
using swfgen::MovieWriter;
using swfgen::Place;
using swfgen::ShapeBuilder;
using swfmovie::Player;

using movietest::Load;
using movietest::kTw;

namespace {

uint16_t Square(MovieWriter& m, uint16_t id, Color c, int px = 10) {
    ShapeBuilder s;
    s.rect(0, 0, px * kTw, px * kTw, s.addSolid(c));
    m.defineShape(id, s, 3);
    return id;
}

Place At(uint16_t depth, std::optional<uint16_t> id, int xPx, int yPx = 0) {
    Place p;
    p.depth = depth;
    p.id = id;
    p.move = !id;
    p.matrix = Matrix::Translate(xPx * kTw, yPx * kTw);
    return p;
}

// Red if a square was drawn at (x, y) of a 100 x 100 stage rendered 1:1.
bool RedAt(Player& p, int x, int y) {
    raster::Image img(100, 100);
    p.render(img.canvas(), {0, 0, 100, 100});
    uint32_t px = img.at(x, y);
    return raster::PixelR(px) > 200 && raster::PixelG(px) < 50;
}

}  // namespace

TEST_CASE(root_plays_holds_at_last_frame_and_rewinds) {
    auto movie = Load(swfgen::BuildBlank(100, 100, 30, 4, false));
    Player p(movie);
    CHECK_EQ(p.totalFrames(), 4u);
    CHECK_EQ(p.currentFrame(), 0u);
    CHECK(p.isPlaying());
    const uint32_t expect[] = {1, 2, 3, 3, 3};
    for (uint32_t e : expect) {
        p.advance();
        CHECK_EQ(p.currentFrame(), e);
    }
    CHECK(!p.isPlaying());
    p.rewind();
    CHECK_EQ(p.currentFrame(), 0u);
    CHECK(!p.isPlaying());
    p.advance();
    CHECK_EQ(p.currentFrame(), 0u);  // stopped
    p.play();
    p.advance();
    CHECK_EQ(p.currentFrame(), 1u);
    p.gotoFrame(99);
    CHECK_EQ(p.currentFrame(), 3u);
    p.stop();
    CHECK(!p.isPlaying());
}

TEST_CASE(goto_back_rebuilds_the_display_list) {
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    m.showFrame();                 // 0: empty
    m.place(At(1, 1, 10, 10));
    m.showFrame();                 // 1: square at 10,10
    m.place(At(1, std::nullopt, 50, 10));
    m.showFrame();                 // 2: moved to 50,10
    m.remove(1);
    m.showFrame();                 // 3: gone
    Player p(Load(m.finish(false)));
    const struct { uint32_t frame; bool at10, at50; } rows[] = {
        {3, false, false}, {1, true, false}, {2, false, true}, {0, false, false}, {2, false, true},
    };
    for (const auto& r : rows) {
        p.gotoFrame(r.frame);
        std::string name = "frame " + std::to_string(r.frame);
        CHECK_EQ_AT(name, RedAt(p, 15, 15), r.at10);
        CHECK_EQ_AT(name, RedAt(p, 55, 15), r.at50);
    }
}

TEST_CASE(remove_object_one_and_replace_at_depth) {
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    Square(m, 2, Color{0, 0, 255});
    m.placeObject1(1, 1, Matrix::Translate(0, 0));
    m.showFrame();
    m.removeObject1(1, 1);
    m.placeObject1(2, 1, Matrix::Translate(0, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    CHECK(RedAt(p, 5, 5));
    p.advance();
    CHECK(!RedAt(p, 5, 5));
    raster::Image img(100, 100);
    p.render(img.canvas(), {0, 0, 100, 100});
    CHECK_EQ(raster::PixelB(img.at(5, 5)), 255);
}

TEST_CASE(nested_sprites_advance_on_their_own_timelines) {
    // A one-frame root holding a four-frame sprite whose square steps right; inside
    // it a two-frame sprite toggles a second square on and off.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    swfgen::TagStream inner;
    inner.place(At(1, 1, 0, 60));
    inner.showFrame();
    inner.remove(1);
    inner.showFrame();
    m.defineSprite(2, inner);
    swfgen::TagStream outer;
    outer.place(At(2, 2, 0, 0));
    for (int f = 0; f < 4; ++f) {
        outer.place(At(1, f == 0 ? std::optional<uint16_t>(1) : std::nullopt, f * 20));
        outer.showFrame();
    }
    m.defineSprite(3, outer);
    m.place(At(1, 3, 0, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    for (int tick = 0; tick < 9; ++tick) {
        int f = tick % 4;
        std::string name = "tick " + std::to_string(tick);
        for (int k = 0; k < 4; ++k) CHECK_EQ_AT(name + " col " + std::to_string(k), RedAt(p, k * 20 + 5, 5), k == f);
        CHECK_EQ_AT(name + " inner", RedAt(p, 5, 65), tick % 2 == 0);
        p.advance();
        CHECK_EQ(p.currentFrame(), 0u);
    }
    CHECK(!p.isPlaying());  // the root has one frame and holds it
}

TEST_CASE(a_still_frame_needs_no_redraw) {
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    m.place(At(1, 1, 0, 0));
    m.showFrame();
    m.showFrame();  // nothing changes in frame 1
    m.place(At(1, std::nullopt, 30, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    raster::IRect vp{0, 0, 100, 100};
    raster::Image img(100, 100);
    CHECK(p.needsRender(vp));
    p.render(img.canvas(), vp);
    CHECK(!p.needsRender(vp));
    p.advance();  // to frame 1: no display change
    CHECK(!p.needsRender(vp));
    p.advance();  // to frame 2: the square moves
    CHECK(p.needsRender(vp));
    p.render(img.canvas(), vp);
    CHECK(!p.needsRender(vp));
    for (int i = 0; i < 5; ++i) p.advance();  // held at the end
    CHECK(!p.needsRender(vp));
    CHECK(p.needsRender({0, 0, 50, 50}));  // another size
    p.setBackgroundOverride(raster::Rgba{0, 0, 0, 255});
    CHECK(p.needsRender(vp));
    p.render(img.canvas(), vp);
    CHECK(!p.needsRender(vp));
}

TEST_CASE(background_colour_and_override) {
    auto movie = Load(swfgen::BuildBlank(100, 100, 10, 1, false, Color{1, 2, 3}));
    Player p(movie);
    CHECK(p.backgroundColor() == (raster::Rgba{1, 2, 3, 255}));
    p.setBackgroundOverride(raster::Rgba{0, 0, 0, 255});
    CHECK(p.backgroundColor() == (raster::Rgba{0, 0, 0, 255}));
    p.setBackgroundOverride(std::nullopt);
    CHECK(p.backgroundColor() == (raster::Rgba{1, 2, 3, 255}));
}

TEST_CASE(sprites_placing_themselves_end_cleanly) {
    // Sprite 5 places itself twice per frame; sprite 6 and 7 place each other.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0}, 2);
    swfgen::TagStream self;
    self.place(At(1, 1, 1, 1));
    self.place(At(2, 5, 1, 0));
    self.place(At(3, 5, 0, 1));
    self.showFrame();
    self.showFrame();
    m.defineSprite(5, self);
    swfgen::TagStream a, b;
    a.place(At(1, 7, 1, 1));
    a.showFrame();
    b.place(At(1, 6, 1, 1));
    b.showFrame();
    m.defineSprite(6, a);
    m.defineSprite(7, b);
    m.place(At(1, 5, 0, 0));
    m.place(At(2, 6, 50, 50));
    m.showFrame();
    m.showFrame();
    Player p(Load(m.finish(false)));
    raster::Image img(64, 64);
    for (int i = 0; i < 3; ++i) {
        p.render(img.canvas(), {0, 0, 64, 64});
        p.advance();
    }
    CHECK(RedAt(p, 1, 1));
    p.rewind();
    CHECK_EQ(p.currentFrame(), 0u);
}

TEST_CASE(frame_actions_stop_play_and_goto) {
    // Frame 2 stops; frame 4 jumps back to the label "loop" (frame 1) and plays.
    MovieWriter m(100, 100, 10);
    for (int f = 0; f < 6; ++f) {
        if (f == 1) m.frameLabel("loop");
        if (f == 2) m.doAction(swfgen::act::Stop());
        if (f == 4) m.doAction(swfgen::act::Concat({swfgen::act::GotoLabel("loop"), swfgen::act::Play()}));
        m.showFrame();
    }
    Player p(Load(m.finish(false)));
    raster::IRect vp{0, 0, 100, 100};
    raster::Image img(100, 100);
    p.advance();
    p.advance();
    CHECK_EQ(p.currentFrame(), 2u);
    CHECK(!p.isPlaying());
    // The saver keeps asking for frames: stop() holds, and nothing needs drawing.
    p.render(img.canvas(), vp);
    for (int i = 0; i < 10; ++i) p.advance();
    CHECK_EQ(p.currentFrame(), 2u);
    CHECK(!p.needsRender(vp));
    p.play();
    p.advance();
    CHECK_EQ(p.currentFrame(), 3u);
    p.advance();
    CHECK_EQ(p.currentFrame(), 1u);  // frame 4's goto ran
    CHECK(p.isPlaying());
    p.advance();
    CHECK_EQ(p.currentFrame(), 2u);
    CHECK(!p.isPlaying());
}

TEST_CASE(next_prev_and_goto_in_a_sprite) {
    // A sprite whose frame 0 jumps to frame 2 and stops there: its square sits at x 40.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    swfgen::TagStream sp;
    sp.place(At(1, 1, 0, 0));
    sp.doAction(swfgen::act::Concat({swfgen::act::GotoFrame(2), swfgen::act::Stop()}));
    sp.showFrame();
    sp.place(At(1, std::nullopt, 20, 0));
    sp.showFrame();
    sp.place(At(1, std::nullopt, 40, 0));
    sp.showFrame();
    sp.place(At(1, std::nullopt, 60, 0));
    sp.doAction(swfgen::act::PrevFrame());
    sp.showFrame();
    m.defineSprite(2, sp);
    m.place(At(1, 2, 0, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    for (int i = 0; i < 4; ++i) {
        CHECK(RedAt(p, 45, 5));
        CHECK(!RedAt(p, 5, 5));
        p.advance();
    }
}

TEST_CASE(empty_and_damaged_movies_play) {
    auto bytes = swfgen::BuildBlank(100, 100, 10, 3, false);
    bytes.resize(bytes.size() - 3);  // cut into the last ShowFrame (End is gone)
    std::string err;
    auto movie = swfmovie::LoadMovie(bytes.data(), bytes.size(), &err);
    REQUIRE(movie);
    Player p(movie);
    CHECK_EQ(p.totalFrames(), 2u);
    for (int i = 0; i < 4; ++i) p.advance();
    CHECK_EQ(p.currentFrame(), 1u);

    Player none(nullptr);
    CHECK_EQ(none.totalFrames(), 0u);
    none.advance();
    none.gotoFrame(3);
    none.rewind();
    raster::Image img(10, 10, 0);
    none.render(img.canvas(), {0, 0, 10, 10});
    CHECK(img.at(5, 5) == raster::PackBgrx(255, 255, 255));
}

TEST_CASE(deep_nests_of_groups_and_masks_end_cleanly) {
    // Twenty sprites, each holding the one before it under a mask and in a blend
    // group: deeper than the buffers allowed for either, within the nesting limit.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0}, 100);
    uint16_t prev = 1;
    for (uint16_t id = 2; id < 22; ++id) {
        swfgen::TagStream sp;
        Place mask = At(1, 1, 0, 0);
        mask.clipDepth = 3;
        sp.place(mask);
        Place inner = At(2, prev, 0, 0);
        inner.blend = 3;  // multiply
        sp.place(inner);
        sp.showFrame();
        m.defineSprite(id, sp);
        prev = id;
    }
    m.place(At(1, prev, 0, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    CHECK(RedAt(p, 50, 50));
}

TEST_CASE(objects_kept_when_a_timeline_loops_go_on_playing) {
    // A two-frame sprite holds a four-frame sprite placed in its first frame: when
    // the outer one loops, the inner one is the same object and keeps its frame.
    // An object the outer one places only in its second frame is placed afresh.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    swfgen::TagStream inner;
    for (int f = 0; f < 4; ++f) {
        inner.place(At(1, f == 0 ? std::optional<uint16_t>(1) : std::nullopt, f * 20));
        inner.showFrame();
    }
    m.defineSprite(2, inner);
    swfgen::TagStream outer;
    outer.place(At(1, 2, 0, 0));
    outer.showFrame();
    outer.place(At(2, 2, 0, 50));
    outer.showFrame();
    m.defineSprite(3, outer);
    m.place(At(1, 3, 0, 0));
    m.showFrame();
    Player p(Load(m.finish(false)));
    // Ticks 0..6: the top square steps 0,1,2,3,0,1,2 without restarting.
    for (int tick = 0; tick < 7; ++tick) {
        int f = tick % 4;
        for (int k = 0; k < 4; ++k)
            CHECK_EQ_AT("tick " + std::to_string(tick) + " col " + std::to_string(k), RedAt(p, k * 20 + 5, 5), k == f);
        p.advance();
    }
    // Seven ticks in, the outer sprite is in its second frame: the lower object is
    // there, new, in its first frame; one tick later it is gone again.
    CHECK(RedAt(p, 5, 55));
    CHECK(!RedAt(p, 25, 55));
    p.advance();
    CHECK(!RedAt(p, 5, 55));
}

TEST_CASE(an_abort_flag_cuts_a_render_short) {
    auto movie = Load(swfgen::BuildHeavy(300, false));
    Player p(movie);
    std::atomic<bool> stop{true};
    p.setAbortFlag(&stop);
    raster::Image img(400, 225, 0xFF000000u);
    raster::IRect vp{0, 0, 400, 225};
    p.render(img.canvas(), vp);
    // Only the background: no shape was drawn, and the frame still needs drawing.
    size_t white = 0;
    for (uint32_t px : img.pixels) white += px == raster::PackBgrx(255, 255, 255);
    CHECK_EQ(white, img.pixels.size());
    CHECK(p.needsRender(vp));
    stop = false;
    p.render(img.canvas(), vp);
    white = 0;
    for (uint32_t px : img.pixels) white += px == raster::PackBgrx(255, 255, 255);
    CHECK(white < img.pixels.size() / 4);
    CHECK(!p.needsRender(vp));
}

TEST_CASE(actions_after_a_goto_still_run_then_the_target_frames) {
    // Frame 1: stop, go to 3, play (gotoAndPlay): playing on from 3.
    // Frame 4: go to 5, stop; frame 5's own play runs after them: playing again.
    MovieWriter m(100, 100, 10);
    for (int f = 0; f < 7; ++f) {
        if (f == 1) m.doAction(swfgen::act::Concat({swfgen::act::Stop(), swfgen::act::GotoFrame(3), swfgen::act::Play()}));
        if (f == 4) m.doAction(swfgen::act::Concat({swfgen::act::GotoFrame(5), swfgen::act::Stop()}));
        if (f == 5) m.doAction(swfgen::act::Play());
        m.showFrame();
    }
    Player p(Load(m.finish(false)));
    p.advance();
    CHECK_EQ(p.currentFrame(), 3u);
    CHECK(p.isPlaying());
    p.advance();
    CHECK_EQ(p.currentFrame(), 5u);
    CHECK(p.isPlaying());
    p.advance();
    CHECK_EQ(p.currentFrame(), 6u);
}

TEST_CASE(sprite_actions_aimed_at_the_root_timeline) {
    // The sprite's second frame sends the movie to frame 3 and stops it, then stops
    // itself; an action aimed at another clip is not run.
    MovieWriter m(100, 100, 10);
    Square(m, 1, Color{255, 0, 0});
    swfgen::TagStream sp;
    sp.place(At(1, 1, 0, 0));
    sp.showFrame();
    sp.place(At(1, std::nullopt, 20, 0));
    sp.doAction(swfgen::act::Concat({swfgen::act::SetTarget("_root"), swfgen::act::GotoFrame(3), swfgen::act::Stop(),
                                     swfgen::act::SetTarget("someClip"), swfgen::act::Play(),
                                     swfgen::act::SetTarget(""), swfgen::act::Stop()}));
    sp.showFrame();
    sp.place(At(1, std::nullopt, 40, 0));
    sp.showFrame();
    m.defineSprite(2, sp);
    m.place(At(1, 2, 0, 0));
    for (int f = 0; f < 5; ++f) m.showFrame();
    Player p(Load(m.finish(false)));
    p.advance();
    CHECK_EQ(p.currentFrame(), 3u);
    CHECK(!p.isPlaying());
    for (int i = 0; i < 3; ++i) p.advance();
    CHECK_EQ(p.currentFrame(), 3u);
    CHECK(RedAt(p, 25, 5));  // the sprite held its second frame
}
