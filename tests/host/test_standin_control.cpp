// Pure parts of the stand-in movie control: the stored state block, the
// frame clock, the stage geometry, the timeline and the picture kept in step
// through scripts, the call log.
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../../standin/control/CallLog.h"
#include "../../standin/control/Playback.h"
#include "../../standin/control/Stage.h"
#include "../../standin/control/StagePicture.h"
#include "../../standin/control/StageScript.h"
#include "../../standin/control/StateBlock.h"
#include "FormDef.h"
#include "SwfWriter.h"
#include "check.h"

#ifndef SWFSAVER_SOURCE_DIR
#define SWFSAVER_SOURCE_DIR "."
#endif

using namespace standin;

namespace {

// The block exactly as the player window's form definition stores it.
std::vector<std::uint8_t> RealBlock() {
    std::ifstream f(SWFSAVER_SOURCE_DIR "/resources/Unit1.dfm", std::ios::binary);
    std::ostringstream os;
    os << f.rdbuf();
    fw::ObjectDef form = fw::ParseFormDef(os.str());
    const fw::ObjectDef* flash = form.FindObject("ShockwaveFlash1");
    if (!flash || !flash->Binary("ControlData")) return {};
    return *flash->Binary("ControlData");
}

StateError Parse(const std::vector<std::uint8_t>& b) {
    StoredState st;
    return ParseStoredState(b.data(), b.size(), st);
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = std::uint8_t(v >> (8 * i));
}

}  // namespace

TEST_CASE(stored_state_of_the_player_window_parses_to_its_values) {
    const std::vector<std::uint8_t> block = RealBlock();
    REQUIRE(!block.empty());
    StoredState st;
    std::size_t used = 0;
    REQUIRE(ParseStoredState(block.data(), block.size(), st, &used) == StateError::None);
    CHECK_EQ(used, block.size());
    CHECK_EQ(st.extentX, 5106);
    CHECK_EQ(st.extentY, 4471);
    struct Expected {
        std::uint16_t type;
        const char16_t* text;
        bool flag;
    };
    const Expected values[kStateValueCount] = {
        {8, u"Window", false}, {8, u"Window", false}, {8, u"Window", false}, {11, nullptr, true},
        {11, nullptr, true},   {8, u"High", false},   {8, u"", false},       {11, nullptr, true},
        {8, u"", false},       {8, u"ShowAll", false}, {11, nullptr, false}, {11, nullptr, false},
        {8, u"", false},       {8, u"", false},       {8, u"below", false},
    };
    for (std::size_t i = 0; i < kStateValueCount; ++i) {
        std::string row = "value " + std::to_string(i + 1);
        CHECK_EQ_AT(row, st.values[i].type, values[i].type);
        if (values[i].text) CHECK_EQ_AT(row, st.values[i].text == values[i].text, true);
        else CHECK_EQ_AT(row, st.values[i].flag, values[i].flag);
    }
    CHECK(ScaleModeFromText(st.values[kStateScaleMode].text) == ScaleMode::ShowAll);

    // What follows the block in a stream is not the block's.
    std::vector<std::uint8_t> more = block;
    more.insert(more.end(), {1, 2, 3});
    REQUIRE(ParseStoredState(more.data(), more.size(), st, &used) == StateError::None);
    CHECK_EQ(used, block.size());
}

TEST_CASE(every_cut_of_the_stored_state_is_truncated) {
    const std::vector<std::uint8_t> block = RealBlock();
    REQUIRE(!block.empty());
    for (std::size_t n = 0; n < block.size(); ++n) {
        std::vector<std::uint8_t> cut(block.begin(), block.begin() + std::ptrdiff_t(n));
        CHECK_EQ_AT(std::to_string(n) + " bytes", int(Parse(cut)), int(StateError::Truncated));
    }
}

TEST_CASE(damaged_stored_states_are_rejected_with_their_fault) {
    const std::vector<std::uint8_t> good = RealBlock();
    REQUIRE(good.size() == 184);
    // Offsets in the real block: values start at 16; the three "Window" texts
    // take 20 bytes each, so the first flag's type is at 76 and its value at 78.
    struct Row {
        const char* name;
        std::size_t at;
        std::uint32_t value;
        int width;  // bytes written
        StateError expected;
    };
    const Row rows[] = {
        {"magic", 0, 0x55665568, 4, StateError::BadMagic},
        {"format word", 4, 0x301, 4, StateError::BadFormat},
        {"zero width", 8, 0, 4, StateError::BadExtent},
        {"negative height", 12, 0xFFFFFFFF, 4, StateError::BadExtent},
        {"flag where text belongs", 16, 11, 2, StateError::BadValueType},
        {"text where a flag belongs", 76, 8, 2, StateError::BadValueType},
        {"unknown type", 16, 3, 2, StateError::BadValueType},
        {"odd text length", 18, 13, 4, StateError::BadText},
        {"text without its NUL", 18, 0, 4, StateError::BadText},
        {"text length past the end", 18, 0xFFFFFFF0, 4, StateError::Truncated},
        {"last unit not NUL", 34, 'x', 2, StateError::BadText},
        {"NUL inside the text", 24, 0, 2, StateError::BadText},
        {"flag 1", 78, 1, 2, StateError::BadFlag},
        {"flag 0x8000", 78, 0x8000, 2, StateError::BadFlag},
    };
    for (const Row& r : rows) {
        std::vector<std::uint8_t> b = good;
        if (r.width == 4) Put32(b, r.at, r.value);
        else {
            b.at(r.at) = std::uint8_t(r.value);
            b.at(r.at + 1) = std::uint8_t(r.value >> 8);
        }
        CHECK_EQ_AT(r.name, int(Parse(b)), int(r.expected));
        CHECK_EQ_AT(r.name, std::string(StateErrorText(Parse(b))) != "ok", true);
    }
}

TEST_CASE(frame_ticker_counts_ticks_from_elapsed_time) {
    FrameTicker t;
    t.SetRate(20 << 8);  // 20 fps
    t.Restart(1000000);
    CHECK_EQ(t.UntilNext(1000000), 50000);
    CHECK_EQ(t.TakeDue(1049999), 0);
    CHECK_EQ(t.TakeDue(1050000), 1);
    CHECK_EQ(t.TakeDue(1050000), 0);  // taken once
    CHECK_EQ(t.UntilNext(1060000), 40000);
    // A late pass gets every tick that fell due, in one go.
    CHECK_EQ(t.TakeDue(1500000), 9);
    CHECK_EQ(t.UntilNext(1500000), 50000);
    // A stall of more than a second hands out a second's worth and starts afresh.
    CHECK_EQ(t.TakeDue(60000000), 20);
    CHECK_EQ(t.TakeDue(60049999), 0);
    CHECK_EQ(t.TakeDue(60050000), 1);
    t.Restart(70000000);
    CHECK_EQ(t.TakeDue(70049999), 0);
    CHECK_EQ(t.TakeDue(70050000), 1);
}

TEST_CASE(frame_ticker_rates) {
    struct Row {
        const char* name;
        std::uint32_t rate256;
        std::int64_t at;  // microseconds after the start
        std::int64_t due;
        std::int64_t untilNext;
    };
    const Row rows[] = {
        {"30 fps, first tick due", 30 << 8, 0, 0, 33334},
        {"30 fps after a second", 30 << 8, 1000000, 30, 33334},
        {"23.976 fps after 0.9 s", 6138, 900000, 21, 1000000 * 256 * 22LL / 6138 + 1 - 900000},
        {"fractional rate below 1 fps", 128, 1999999, 0, 1},
        {"below 1 fps after a long stall", 128, 9000000, 1, 2000000},
        {"rate 0 stands still", 0, 1000000, 0, -1},
    };
    for (const Row& r : rows) {
        FrameTicker t;
        t.SetRate(r.rate256);
        t.Restart(5000);
        CHECK_EQ_AT(r.name, t.TakeDue(5000 + r.at), r.due);
        CHECK_EQ_AT(r.name, t.UntilNext(5000 + r.at), r.untilNext);
    }
}

TEST_CASE(movie_rectangle_in_the_stage_by_scale_mode) {
    struct Row {
        const char* name;
        ScaleMode mode;
        int sw, sh, mw, mh;
        int x, y, w, h;
    };
    const Row rows[] = {
        {"show all, own size", ScaleMode::ShowAll, 550, 400, 550, 400, 0, 0, 550, 400},
        {"show all, wider stage", ScaleMode::ShowAll, 600, 400, 550, 400, 25, 0, 550, 400},
        {"show all, full screen", ScaleMode::ShowAll, 1024, 768, 550, 400, 0, 11, 1024, 745},
        {"show all, taller stage", ScaleMode::ShowAll, 400, 800, 800, 400, 0, 300, 400, 200},
        {"no border crops", ScaleMode::NoBorder, 600, 400, 550, 400, 0, -18, 600, 436},
        {"exact fit", ScaleMode::ExactFit, 1024, 768, 550, 400, 0, 0, 1024, 768},
        {"no scale, larger movie", ScaleMode::NoScale, 300, 200, 550, 400, -125, -100, 550, 400},
        {"empty movie", ScaleMode::ShowAll, 300, 200, 0, 400, 0, 0, 0, 0},
        {"empty stage", ScaleMode::ShowAll, 0, 200, 550, 400, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        StageRect g = FitMovie(r.mode, r.sw, r.sh, r.mw, r.mh);
        CHECK_EQ_AT(r.name, g.x, r.x);
        CHECK_EQ_AT(r.name, g.y, r.y);
        CHECK_EQ_AT(r.name, g.w, r.w);
        CHECK_EQ_AT(r.name, g.h, r.h);
    }
    CHECK(ScaleModeFromText(u"noborder") == ScaleMode::NoBorder);
    CHECK(ScaleModeFromText(u"EXACTFIT") == ScaleMode::ExactFit);
    CHECK(ScaleModeFromText(u"NoScale") == ScaleMode::NoScale);
    CHECK(ScaleModeFromText(u"NoScaleX") == ScaleMode::ShowAll);
    CHECK(ScaleModeFromText(u"") == ScaleMode::ShowAll);
}

TEST_CASE(call_log_counts_idle_reads_between_calls) {
    CallLog log;
    std::string out;
    out += log.Call("BackgroundColor=0");
    out += log.Call("Play");
    for (int i = 0; i < 4; ++i) {
        log.Count(CallLog::Read::TotalFrames);
        log.Count(CallLog::Read::CurrentFrame);
    }
    log.Count(CallLog::Read::CurrentFrame);
    out += log.Call("Rewind");
    out += log.Call("Play");
    log.Count(CallLog::Read::TotalFrames);
    out += log.Flush();
    out += log.Flush();  // nothing pending twice
    CHECK_EQ(out, std::string("BackgroundColor=0\nPlay\nreads TotalFrames x4 CurrentFrame x5\nRewind\nPlay\n"
                              "reads TotalFrames x1 CurrentFrame x0\n"));
}

namespace {

constexpr std::int64_t kSecond = 1000000;

std::shared_ptr<const swfmovie::Movie> Load(const std::vector<std::uint8_t>& bytes) {
    std::string error;
    auto m = swfmovie::LoadMovie(bytes.data(), bytes.size(), &error);
    if (!m) throw std::runtime_error("fixture does not load: " + error);
    return m;
}

// A 200 x 100 stage on blue with a red 40 x 40 square whose left edge is at
// x = 20 + 10 * frame (pixels), top at y 30; `actions` run on the frames named.
struct Fixture {
    int frames = 10;
    double fps = 20;
    std::vector<std::pair<int, std::vector<std::uint8_t>>> actions;
    int spriteFrames = 0;  // a sprite of this many frames in a corner (0: none)
};

std::vector<std::uint8_t> Build(const Fixture& f) {
    swfgen::MovieWriter m(200, 100, f.fps, 8);
    m.background(swfgen::Color{0, 0, 255, 255});
    swfgen::ShapeBuilder square;
    square.rect(0, 0, 40 * 20, 40 * 20, square.addSolid(swfgen::Color{255, 0, 0, 255}));
    m.defineShape(1, square, 3);
    if (f.spriteFrames > 0) {
        swfgen::ShapeBuilder dot;
        dot.rect(0, 0, 5 * 20, 5 * 20, dot.addSolid(swfgen::Color{0, 255, 0, 255}));
        m.defineShape(2, dot, 3);
        swfgen::TagStream sprite;
        for (int i = 0; i < f.spriteFrames; ++i) {
            swfgen::Place p;
            p.depth = 1;
            p.id = i == 0 ? std::optional<std::uint16_t>(2) : std::nullopt;
            p.move = i > 0;
            p.matrix = swfgen::Matrix::Translate(i * 20, 0);
            sprite.place(p);
            sprite.showFrame();
        }
        m.defineSprite(3, sprite);
    }
    for (int i = 0; i < f.frames; ++i) {
        swfgen::Place p;
        p.depth = 1;
        p.id = i == 0 ? std::optional<std::uint16_t>(1) : std::nullopt;
        p.move = i > 0;
        p.matrix = swfgen::Matrix::Translate((20 + 10 * i) * 20, 30 * 20);
        m.place(p);
        if (i == 0 && f.spriteFrames > 0) {
            swfgen::Place s;
            s.depth = 2;
            s.id = 3;
            m.place(s);
        }
        for (const auto& a : f.actions)
            if (a.first == i) m.doAction(a.second);
        m.showFrame();
    }
    return m.finish(false);
}

std::vector<std::string> Ops(const StageScript& s) {
    std::vector<std::string> out;
    for (const StageCommand& c : s.Commands()) {
        switch (c.op) {
        case StageCommand::Op::Load: out.push_back(c.movie ? "Load" : "Unload"); break;
        case StageCommand::Op::Play: out.push_back("Play"); break;
        case StageCommand::Op::Rewind: out.push_back("Rewind"); break;
        case StageCommand::Op::Advance: out.push_back("Advance " + std::to_string(c.count)); break;
        }
    }
    return out;
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : ", ") + x;
    return s;
}

}  // namespace

TEST_CASE(stage_script_drops_commands_a_later_one_makes_pointless) {
    auto movie = Load(Build(Fixture{}));
    auto cmd = [](StageCommand::Op op, std::uint32_t count = 1) {
        StageCommand c;
        c.op = op;
        c.count = count;
        return c;
    };
    using Op = StageCommand::Op;
    StageScript s;
    StageCommand load = cmd(Op::Load);
    load.movie = movie;
    s.Add(load);
    s.Add(cmd(Op::Play));
    s.Add(cmd(Op::Play));
    s.Add(cmd(Op::Advance));
    s.Add(cmd(Op::Advance, 3));
    s.Add(cmd(Op::Advance, 0));
    // A host restarting on every idle pass: only the last restart is kept.
    for (int i = 0; i < 100; ++i) {
        s.Add(cmd(Op::Rewind));
        s.Add(cmd(Op::Play));
    }
    CHECK_EQ(Joined(Ops(s)), std::string("Load, Play, Advance 4, Rewind, Play"));
    s.Add(cmd(Op::Rewind));  // Play then Rewind is a Rewind
    CHECK_EQ(Joined(Ops(s)), std::string("Load, Play, Advance 4, Rewind"));

    StageScript later;
    later.Add(cmd(Op::Rewind));
    later.Add(cmd(Op::Advance, 2));
    s.Append(later);  // compacted across the seam
    CHECK_EQ(Joined(Ops(s)), std::string("Load, Play, Advance 4, Rewind, Advance 2"));
    s.Add(cmd(Op::Load));  // a new movie: nothing before it matters
    CHECK_EQ(Joined(Ops(s)), std::string("Unload"));

    // The compacted script leaves a player where the full one does.
    for (int restarts : {0, 1, 5}) {
        std::unique_ptr<swfmovie::Player> full, compact;
        StageScript all;
        std::vector<StageCommand> seq = {load, cmd(Op::Play), cmd(Op::Advance, 6)};
        for (int i = 0; i < restarts; ++i) {
            seq.push_back(cmd(Op::Play));
            seq.push_back(cmd(Op::Rewind));
            seq.push_back(cmd(Op::Play));
            seq.push_back(cmd(Op::Advance, 2));
        }
        for (const StageCommand& c : seq) {
            RunCommand(c, full);
            all.Add(c);
        }
        all.RunOn(compact);
        REQUIRE(full && compact);
        std::string row = std::to_string(restarts) + " restarts";
        CHECK_EQ_AT(row, compact->currentFrame(), full->currentFrame());
        CHECK_EQ_AT(row, compact->isPlaying(), full->isPlaying());
    }
}

TEST_CASE(timeline_advances_at_the_movie_rate_and_holds_at_the_last_frame) {
    MovieTimeline t;
    CHECK_EQ(t.TotalFrames(), 0);  // no movie
    CHECK_EQ(t.CurrentFrame(), 0);
    CHECK_EQ(t.UntilNextTick(0), -1);

    t.Load(Load(Build(Fixture{})), 0);  // 10 frames at 20 fps
    CHECK_EQ(t.TotalFrames(), 10);
    t.Sync(5 * kSecond);
    CHECK_EQ(t.CurrentFrame(), 0);  // loaded stopped: waits for Play
    CHECK_EQ(t.UntilNextTick(5 * kSecond), -1);

    t.Play(10 * kSecond);
    CHECK_EQ(t.UntilNextTick(10 * kSecond), 50000);
    struct Step {
        std::int64_t at;  // after Play
        int frame;
    };
    const Step steps[] = {{49999, 0}, {50000, 1}, {120000, 2}, {300000, 6}, {449999, 8}, {450000, 9}, {9 * kSecond, 9}};
    for (const Step& s : steps) {
        t.Sync(10 * kSecond + s.at);
        CHECK_EQ_AT(std::to_string(s.at) + " us", t.CurrentFrame(), s.frame);
    }
    // Held on the last frame: the clock has nothing left to do.
    CHECK_EQ(t.UntilNextTick(19 * kSecond), -1);
    t.Play(20 * kSecond);
    t.Sync(21 * kSecond);
    CHECK_EQ(t.CurrentFrame(), 9);
    CHECK_EQ(t.UntilNextTick(21 * kSecond), -1);

    t.Rewind(30 * kSecond);
    CHECK_EQ(t.CurrentFrame(), 0);
    t.Sync(31 * kSecond);
    CHECK_EQ(t.CurrentFrame(), 0);  // stopped until Play
    t.Play(40 * kSecond);
    t.Sync(40 * kSecond + 100000);
    CHECK_EQ(t.CurrentFrame(), 2);

    t.Load(nullptr, 50 * kSecond);
    CHECK_EQ(t.TotalFrames(), 0);
    CHECK_EQ(t.CurrentFrame(), 0);
}

TEST_CASE(timeline_runs_frame_actions) {
    Fixture f;
    f.actions = {{4, swfgen::act::Stop()}, {7, swfgen::act::GotoFrame(2)}};
    MovieTimeline t;
    t.Load(Load(Build(f)), 0);
    t.Play(0);
    t.Sync(10 * kSecond);
    CHECK_EQ(t.CurrentFrame(), 4);  // stop() holds the frame
    CHECK(!t.Playing());
    CHECK_EQ(t.UntilNextTick(10 * kSecond), -1);  // a still frame costs no ticks

    // Play goes on from there; frame 7 jumps back to 2, and 4 stops again.
    t.Play(20 * kSecond);
    std::vector<int> seen;
    for (int i = 1; i <= 7; ++i) {
        t.Sync(20 * kSecond + i * 50000);
        seen.push_back(t.CurrentFrame());
    }
    CHECK(seen == (std::vector<int>{5, 6, 2, 3, 4, 4, 4}));

    // A stop() on the first frame is overruled by the host's Play.
    Fixture first;
    first.actions = {{0, swfgen::act::Stop()}};
    t.Load(Load(Build(first)), 0);
    t.Play(0);
    t.Sync(100000);
    CHECK_EQ(t.CurrentFrame(), 2);
}

TEST_CASE(timeline_keeps_ticking_for_sprites_while_the_main_timeline_stands) {
    Fixture f;
    f.frames = 3;
    f.spriteFrames = 4;
    MovieTimeline t;
    t.Load(Load(Build(f)), 0);
    // Not played, yet the sprite runs its own timeline.
    CHECK_EQ(t.UntilNextTick(0), 50000);
    std::uint64_t v0 = t.DisplayVersion();
    t.Sync(50000);
    CHECK(t.DisplayVersion() != v0);
    CHECK_EQ(t.CurrentFrame(), 0);

    // Without one, a held movie asks for no ticks at all.
    Fixture plain;
    plain.frames = 3;
    t.Load(Load(Build(plain)), 0);
    CHECK_EQ(t.UntilNextTick(0), -1);
    t.Play(0);
    t.Sync(kSecond);
    CHECK_EQ(t.CurrentFrame(), 2);
    CHECK_EQ(t.UntilNextTick(kSecond), -1);
}

TEST_CASE(picture_player_follows_the_timeline_through_its_scripts) {
    Fixture f;
    f.frames = 12;
    f.spriteFrames = 3;
    f.actions = {{5, swfgen::act::Stop()}, {9, swfgen::act::GotoFrame(1)}};
    auto movie = Load(Build(f));
    // Scripts handed over at once, or piled up while the drawing thread was busy.
    for (int batch : {1, 4}) {
        MovieTimeline t;
        StagePicture pic;
        StageScript pile;
        int handed = 0;
        std::int64_t now = 0;
        auto handOver = [&](bool force) {
            pile.Append(t.TakeScript(nullptr));
            if (force || ++handed % batch == 0) {
                pic.Run(pile);
                pile = StageScript{};
                REQUIRE(pic.Player() != nullptr);
                std::string row = "batch " + std::to_string(batch) + " at " + std::to_string(now);
                CHECK_EQ_AT(row, int(pic.Player()->currentFrame()), t.CurrentFrame());
                CHECK_EQ_AT(row, pic.Player()->isPlaying(), t.Playing());
                CHECK_EQ_AT(row, pic.Player()->displayVersion(), t.DisplayVersion());
            }
        };
        t.Load(movie, now);
        handOver(false);
        t.Play(now);
        handOver(false);
        for (int i = 0; i < 40; ++i) {
            now += 37000;
            t.Sync(now);
            if (i % 9 == 8) {
                t.Rewind(now);
                handOver(false);
                t.Play(now);
            }
            if (i % 13 == 12) t.Play(now);  // resumes after the stop() on frame 5
            handOver(false);
        }
        handOver(true);
    }
}

namespace {

struct Shot {
    std::vector<std::uint32_t> px;
    int w, h;
    raster::Canvas canvas() { return raster::Canvas{px.data(), w, h, w}; }
    std::uint32_t at(int x, int y) const { return px[std::size_t(y) * std::size_t(w) + std::size_t(x)] & 0xFFFFFF; }
};

}  // namespace

TEST_CASE(picture_shows_all_of_the_stage_with_bars_in_the_background_colour) {
    auto movie = Load(Build(Fixture{}));
    struct Row {
        const char* name;
        int w, h;
        std::optional<std::uint32_t> background;
        // Expected: a point of each bar, of the stage's background and of the
        // square (frame 0: stage x 20..60, y 30..70), in canvas pixels.
        int barX, barY, stageX, stageY, redX, redY;
        std::uint32_t bar;
    };
    const Row rows[] = {
        // 300 x 300: the 2:1 stage is 300 x 150 at y 75, scale 1.5; square x 30..90, y 120..180.
        {"square window, black bars", 300, 300, 0x000000, 150, 40, 250, 150, 60, 150, 0x000000},
        {"square window, lower bar", 300, 300, 0x000000, 150, 260, 250, 150, 31, 121, 0x000000},
        // 600 x 100: the stage is 200 x 100 at x 200, scale 1; square x 220..260, y 30..70.
        {"wide window, left bar", 600, 100, 0x000000, 100, 50, 350, 50, 240, 50, 0x000000},
        {"wide window, right bar", 600, 100, 0x203040, 500, 50, 350, 50, 259, 69, 0x203040},
        // No colour set: bars and stage take the movie's own background.
        {"wide window, no colour set", 600, 100, std::nullopt, 100, 50, 350, 50, 240, 50, 0x0000FF},
        // Same aspect: no bars at all.
        {"own aspect, doubled", 400, 200, 0x000000, -1, -1, 300, 100, 80, 100, 0},
    };
    for (const Row& r : rows) {
        StagePicture pic;
        StageScript s;
        StageCommand load;
        load.op = StageCommand::Op::Load;
        load.movie = movie;
        s.Add(load);
        pic.Run(s);
        Shot shot{std::vector<std::uint32_t>(std::size_t(r.w) * std::size_t(r.h), 0xDEADBEEF), r.w, r.h};
        StageLook look;
        look.background = r.background;
        REQUIRE(pic.Draw(shot.canvas(), look));
        if (r.barX >= 0) CHECK_EQ_AT(r.name, shot.at(r.barX, r.barY), r.bar);
        // A colour set by the host covers the stage's background too.
        CHECK_EQ_AT(r.name, shot.at(r.stageX, r.stageY), r.background ? *r.background : 0x0000FFu);
        CHECK_EQ_AT(r.name, shot.at(r.redX, r.redY), 0xFF0000u);
        int untouched = 0;
        for (std::uint32_t p : shot.px) untouched += p == 0xDEADBEEF;
        CHECK_EQ_AT(r.name, untouched, 0);
    }
}

TEST_CASE(stage_viewport_by_scale_mode) {
    const swfmovie::TwipsRect stage{0, 4000, 0, 2000};  // 200 x 100 pixels
    const swfmovie::TwipsRect empty{0, 0, 0, 2000};
    struct Row {
        const char* name;
        ScaleMode mode;
        int w, h;
        swfmovie::TwipsRect frame;
        raster::IRect expected;
    };
    const Row rows[] = {
        {"show all", ScaleMode::ShowAll, 300, 300, stage, {0, 75, 300, 225}},
        {"exact fit keeps the aspect", ScaleMode::ExactFit, 300, 300, stage, {0, 75, 300, 225}},
        {"no border crops", ScaleMode::NoBorder, 300, 300, stage, {-150, 0, 450, 300}},
        {"no scale", ScaleMode::NoScale, 300, 300, stage, {50, 100, 250, 200}},
        {"empty stage fills the window", ScaleMode::ShowAll, 300, 300, empty, {0, 0, 300, 300}},
        {"no window", ScaleMode::ShowAll, 0, 300, stage, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        raster::IRect g = StageViewport(r.mode, r.w, r.h, r.frame);
        CHECK_EQ_AT(r.name, g.x0, r.expected.x0);
        CHECK_EQ_AT(r.name, g.y0, r.expected.y0);
        CHECK_EQ_AT(r.name, g.x1, r.expected.x1);
        CHECK_EQ_AT(r.name, g.y1, r.expected.y1);
    }
}

TEST_CASE(picture_is_drawn_only_when_it_changes) {
    auto movie = Load(Build(Fixture{}));
    StagePicture pic;
    Shot shot{std::vector<std::uint32_t>(300 * 300), 300, 300};
    StageLook look;
    look.background = 0;

    // No movie: the background colour only.
    CHECK(pic.Draw(shot.canvas(), look));
    CHECK_EQ(shot.at(150, 150), 0u);
    CHECK(!pic.Draw(shot.canvas(), look));

    MovieTimeline t;
    t.Load(movie, 0);
    bool changed = false;
    pic.Run(t.TakeScript(&changed));
    CHECK(changed);
    CHECK(pic.Draw(shot.canvas(), look));
    CHECK(!pic.Draw(shot.canvas(), look));  // a still frame costs nothing

    // Play alone changes no picture; the next frame does, and shows itself:
    // the square moved 10 stage pixels (15 canvas pixels) to the right.
    t.Play(0);
    pic.Run(t.TakeScript(&changed));
    CHECK(!changed);
    CHECK(!pic.Draw(shot.canvas(), look));
    t.Sync(50000);
    pic.Run(t.TakeScript(&changed));
    CHECK(changed);
    CHECK(pic.Draw(shot.canvas(), look));
    CHECK_EQ(shot.at(40, 150), 0u);          // left of the square now: the host's black
    CHECK_EQ(shot.at(100, 150), 0xFF0000u);  // its right part, newly covered

    // A new colour or a new size draws again.
    look.background = 0x102030;
    CHECK(pic.Draw(shot.canvas(), look));
    CHECK_EQ(shot.at(150, 10), 0x102030u);
    Shot wide{std::vector<std::uint32_t>(400 * 300), 400, 300};
    CHECK(pic.Draw(wide.canvas(), look));
    CHECK(!pic.Draw(wide.canvas(), look));
    // Rewinding to the first frame draws it; rewinding again changes nothing.
    t.Rewind(60000);
    pic.Run(t.TakeScript(&changed));
    CHECK(changed);
    CHECK(pic.Draw(wide.canvas(), look));
    t.Rewind(70000);
    pic.Run(t.TakeScript(&changed));
    CHECK(!changed);
    CHECK(!pic.Draw(wide.canvas(), look));

    // A picture cut short is no picture: it is drawn again once resumed.
    t.Play(80000);
    t.Sync(200000);
    pic.Run(t.TakeScript(&changed));
    pic.Abort();
    CHECK(!pic.Draw(wide.canvas(), look));
    CHECK(!pic.Draw(wide.canvas(), look));
    pic.Resume();
    CHECK(pic.Draw(wide.canvas(), look));
    CHECK(!pic.Draw(wide.canvas(), look));

    // A new window's buffer is filled though the picture is the same.
    Shot fresh{std::vector<std::uint32_t>(400 * 300, 0xDEADBEEF), 400, 300};
    pic.Invalidate();
    CHECK(pic.Draw(fresh.canvas(), look));
    CHECK(fresh.px == wide.px);
}
