// Pure parts of the stand-in movie control: the stored state block, the
// playback clock, the stage geometry and picture, the call log.
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../standin/control/CallLog.h"
#include "../../standin/control/Playback.h"
#include "../../standin/control/Stage.h"
#include "../../standin/control/StateBlock.h"
#include "FormDef.h"
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

TEST_CASE(playback_clock_follows_elapsed_time_and_holds_at_the_end) {
    PlaybackClock c;
    c.Load(20 << 8, 40);  // 20 fps
    CHECK_EQ(c.Frame(), 0);
    CHECK(!c.Tick(1000000));  // stopped: time alone moves nothing
    c.Play(1000000);
    CHECK(c.Playing());
    CHECK_EQ(c.UntilNextFrame(1000000), 50000);
    CHECK(!c.Tick(1049999));
    CHECK(c.Tick(1050000));
    CHECK_EQ(c.Frame(), 1);
    // A late tick catches up in one step.
    CHECK(c.Tick(2000000));
    CHECK_EQ(c.Frame(), 20);
    CHECK_EQ(c.UntilNextFrame(2010000), 40000);
    CHECK(c.Tick(60000000));
    CHECK_EQ(c.Frame(), 39);
    CHECK(!c.Playing());
    CHECK_EQ(c.UntilNextFrame(60000000), -1);
    c.Play(61000000);  // on the last frame: nothing to play
    CHECK(!c.Playing());
    c.Rewind();
    CHECK_EQ(c.Frame(), 0);
    CHECK(!c.Playing());
    c.Play(70000000);  // counts from the new start
    CHECK(!c.Tick(70049999));
    CHECK(c.Tick(70050000));
    CHECK_EQ(c.Frame(), 1);
    // Resuming after a stop continues from the frame it stood on.
    c.Stop();
    c.Play(80000000);
    CHECK(c.Tick(80050000));
    CHECK_EQ(c.Frame(), 2);
}

TEST_CASE(playback_clock_rates_and_degenerate_movies) {
    struct Row {
        const char* name;
        std::uint32_t rate256;
        int total;
        std::int64_t at;  // microseconds after Play
        int frame;
        std::int64_t untilNext;
    };
    const Row rows[] = {
        {"30 fps, first frame due", 30 << 8, 100, 0, 0, 33334},
        {"30 fps after a second", 30 << 8, 100, 1000000, 30, 33334},
        {"23.976 fps after a minute", 6138, 5000, 60000000, 1438, 1000000 * 256 * 1439LL / 6138 + 1 - 60000000},
        {"fractional rate below 1 fps", 128, 10, 1999999, 0, 1},
        {"one frame", 30 << 8, 1, 1000000, 0, -1},
        {"no frames", 30 << 8, 0, 1000000, 0, -1},
        {"rate 0 stands still", 0, 10, 1000000, 0, -1},
        {"an hour of a long movie", 30 << 8, 65535, 3600000000LL, 65534, -1},
    };
    for (const Row& r : rows) {
        PlaybackClock c;
        c.Load(r.rate256, r.total);
        c.Play(5000);
        c.Tick(5000 + r.at);
        CHECK_EQ_AT(r.name, c.Frame(), r.frame);
        CHECK_EQ_AT(r.name, c.UntilNextFrame(5000 + r.at), r.untilNext);
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

TEST_CASE(placeholder_picture_shows_background_movie_frame_and_progress) {
    // 100 x 50 pixels in rows of 104: the padding must stay untouched.
    const std::uint32_t kPad = 0xDEADBEEF;
    std::vector<std::uint32_t> px(104 * 50, kPad);
    Canvas c{px.data(), 100, 50, 104};
    auto at = [&](int x, int y) { return px[std::size_t(y) * 104 + std::size_t(x)]; };

    PlaceholderFrame f;
    f.background = 0x102030;
    PaintPlaceholder(c, f);  // no movie: background only
    CHECK_EQ(at(0, 0), 0x102030u);
    CHECK_EQ(at(99, 49), 0x102030u);

    // A 50 x 50 movie shown all: x 25..74; outline 1 pixel, bar 3 pixels.
    f.hasMovie = true;
    f.movieW = 50;
    f.movieH = 50;
    f.frame = 3;
    f.totalFrames = 8;
    PaintPlaceholder(c, f);
    const std::uint32_t line = OutlineColorFor(0x102030);
    CHECK_EQ(line, 0xC0C0C0u);
    CHECK_EQ(at(10, 25), 0x102030u);  // beside the movie
    CHECK_EQ(at(25, 25), line);       // its left edge
    CHECK_EQ(at(74, 25), line);       // right edge
    CHECK_EQ(at(50, 0), line);        // top
    CHECK_EQ(at(50, 49), line);       // bottom
    CHECK_EQ(at(50, 25), 0x102030u);  // inside
    // Half of the 48-pixel inner width after frame 3 of 8: x 26..49.
    CHECK_EQ(at(26, 47), kProgressColor);
    CHECK_EQ(at(49, 47), kProgressColor);
    CHECK_EQ(at(50, 47), 0x102030u);
    CHECK_EQ(at(30, 44), 0x102030u);  // above the bar
    for (int y = 0; y < 50; ++y)
        for (int x = 100; x < 104; ++x) CHECK_EQ_AT("padding", at(x, y), kPad);

    // A light background gets a dark outline.
    f.background = 0xFFFFFF;
    PaintPlaceholder(c, f);
    CHECK_EQ(at(25, 25), 0x404040u);

    // A movie cropped by the stage draws only inside it.
    f.scale = ScaleMode::NoScale;
    f.movieW = 5000;
    f.movieH = 3000;
    f.frame = 7;
    PaintPlaceholder(c, f);
    for (int y = 0; y < 50; ++y)
        for (int x = 100; x < 104; ++x) CHECK_EQ_AT("padding after crop", at(x, y), kPad);
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
