// The stand-in movie control hosted by the framework's ActiveX host: in-place
// window and moves, stored state checks, movie reading, timing, drawing and
// the call log. The control comes from the registered swfstandin.dll.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Error.h"
#include "OleHost.h"
#include "Raster.h"
#include "ScopedWin.h"
#include "Standin.h"
#include "SwfMovie.h"
#include "SwfPlayer.h"
#include "check.h"
#include "driver.h"
#include "test_standin_support.h"

using namespace standin_test;

namespace {

const RECT kDesigned = Rect(16, 0, 193, 169);

std::vector<HWND> Children(HWND parent) { return drv::Descendants(parent); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream is(text);
    for (std::string l; std::getline(is, l);) out.push_back(l);
    return out;
}

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& l : v) s += l + "\n";
    return s;
}

// Sets the control's log file for controls created in this process while alive.
class LogFile {
public:
    explicit LogFile(const std::string& name) : path_(drv::WorkDir() + "\\" + name) {
        ::DeleteFileA(path_.c_str());
        ::SetEnvironmentVariableA("SWFSTANDIN_LOG", path_.c_str());
    }
    ~LogFile() { ::SetEnvironmentVariableA("SWFSTANDIN_LOG", nullptr); }
    std::vector<std::string> Read() const { return Lines(drv::ReadFile(path_)); }

private:
    std::string path_;
};

DISPID Id(fw::OleControl& c, const wchar_t* name) {
    return c.Interface(standin::kIidMovieControlDual, "IShockwaveFlash").IdOf(name);
}
std::int32_t CurrentFrame(fw::OleControl& c) {
    return c.Interface(standin::kIidMovieControlDual, "IShockwaveFlash").CallInt(Id(c, L"CurrentFrame"), "CurrentFrame");
}
void Call(fw::OleControl& c, const wchar_t* name) {
    c.Interface(standin::kIidMovieControlDual, "IShockwaveFlash").Call(Id(c, name), "method");
}

// Loads `movie` into a control and starts it.
void Start(fw::OleControl& c, const std::string& moviePath) {
    c.SetIntProperty(standin::kDispBackgroundColor, 0);
    c.SetStringProperty(standin::kDispMovie, Wide(moviePath));
    Call(c, L"Play");
}

}  // namespace

TEST_CASE(activates_in_place_as_a_child_at_its_bounds_and_follows_moves) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
    HWND w = c.Window();
    REQUIRE(w != nullptr);
    CHECK(::GetParent(w) == host.get());
    CHECK_EQ(drv::ClassName(w), std::string("SwfStandinStage"));
    CHECK(::IsWindowVisible(w));
    CHECK_EQ(drv::Describe(drv::RectInParent(w)), drv::Describe(kDesigned));
    // Created through the registry: the window belongs to the server DLL.
    CHECK(HMODULE(::GetClassLongPtrW(w, GCLP_HMODULE)) != ::GetModuleHandleW(nullptr));

    const RECT moves[] = {Rect(237, 184, 550, 400), Rect(0, 0, 1024, 768), Rect(-100, -16, 1001, 800)};
    for (const RECT& r : moves) {
        c.SetBounds(r);
        CHECK_EQ_AT(drv::Describe(r), drv::Describe(drv::RectInParent(w)), drv::Describe(r));
        CHECK_EQ_AT(drv::Describe(r), drv::Describe(c.Bounds()), drv::Describe(r));
    }
}

TEST_CASE(reads_the_frame_count_of_plain_and_compressed_movies) {
    fw::ScopedOle ole;
    HostWindow host;
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::int32_t totalFrames;
    };
    std::vector<std::uint8_t> shortFile = Movie('F', 550, 400, 30, 5);
    shortFile.resize(12);
    std::vector<std::uint8_t> lzma = Movie('F', 550, 400, 30, 5);
    lzma[0] = 'Z';
    std::vector<std::uint8_t> brokenZlib = Movie('C', 550, 400, 30, 5);
    for (std::size_t i = 8; i < brokenZlib.size(); ++i) brokenZlib[i] ^= 0x5A;
    const Row rows[] = {
        {"plain.swf", Movie('F', 550, 400, 30, 77), 77},
        {"zlib.swf", Movie('C', 640, 480, 12, 300), 300},
        {"big.swf", Movie('C', 8000, 6000, 24, 65535), 65535},
        {"short.swf", shortFile, 0},
        {"lzma.swf", lzma, 0},
        {"broken-zlib.swf", brokenZlib, 0},
        {"text.swf", std::vector<std::uint8_t>(40, 'x'), 0},
    };
    for (const Row& r : rows) {
        fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
        c.SetStringProperty(standin::kDispMovie, Wide(WriteWorkFile(r.name, r.bytes)));
        CHECK_EQ_AT(r.name, c.GetIntProperty(standin::kDispTotalFrames), r.totalFrames);
        CHECK_EQ_AT(r.name, CurrentFrame(c), 0);
    }
    // A name that is no file gives an empty stage, not an error.
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
    c.SetStringProperty(standin::kDispMovie, Wide(drv::WorkDir() + "\\missing.swf"));
    CHECK_EQ(c.GetIntProperty(standin::kDispTotalFrames), 0);
}

TEST_CASE(advances_at_the_movie_rate_and_holds_the_last_frame) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), Rect(237, 184, 550, 400));
    const double fps = 20;
    const int frames = 40;  // two seconds
    c.SetStringProperty(standin::kDispMovie, Wide(WriteWorkFile("timed.swf", Movie('C', 550, 400, 20, frames))));
    CHECK_EQ(c.GetIntProperty(standin::kDispTotalFrames), frames);
    CurrentFrame(c);  // bind the name before timing

    double beforePlay = Seconds();
    Call(c, L"Play");
    double afterPlay = Seconds();
    int last = 0;
    double reachedEnd = -1;
    int aheadOfTime = 0, lagging = 0, backwards = 0;
    while (Seconds() - afterPlay < 2.8) {
        // The pump inside Sleep runs after t0 however late this thread gets
        // the processor back, so the frame read after it is due by t0.
        double t0 = Seconds();
        drv::Sleep(10);
        int f = CurrentFrame(c);
        double t1 = Seconds();
        // Never ahead of the clock, never more than a few timer periods behind.
        if (f > int(std::floor((t1 - beforePlay) * fps))) ++aheadOfTime;
        if (f < std::min(frames - 1, int(std::floor((t0 - afterPlay - 0.35) * fps)))) ++lagging;
        if (f < last) ++backwards;
        if (f == frames - 1 && reachedEnd < 0) reachedEnd = t1 - beforePlay;
        last = f;
    }
    CHECK_EQ(aheadOfTime, 0);
    CHECK_EQ(lagging, 0);
    CHECK_EQ(backwards, 0);
    CHECK_EQ(last, frames - 1);  // held, not wrapped to 0
    CHECK(reachedEnd >= (frames - 1) / fps);
    // Play on the last frame does not move it: looping is the host's job.
    Call(c, L"Play");
    drv::Sleep(200);
    CHECK_EQ(CurrentFrame(c), frames - 1);
}

TEST_CASE(rewind_goes_to_the_first_frame_and_play_starts_again) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
    Start(c, WriteWorkFile("rewind.swf", Movie('F', 100, 100, 20, 6)));
    CHECK(drv::WaitUntil([&] { return CurrentFrame(c) == 5; }, 3000));
    Call(c, L"Rewind");
    CHECK_EQ(CurrentFrame(c), 0);
    drv::Sleep(300);
    CHECK_EQ(CurrentFrame(c), 0);  // stopped until Play
    Call(c, L"Play");
    CHECK(drv::WaitUntil([&] { return CurrentFrame(c) == 5; }, 3000));

    // A one-frame movie stands on its last frame at once, and rewinding and
    // playing it again keeps it there.
    c.SetStringProperty(standin::kDispMovie, Wide(WriteWorkFile("one.swf", Movie('F', 100, 100, 20, 1))));
    Call(c, L"Play");
    for (int i = 0; i < 3; ++i) {
        CHECK_EQ(c.GetIntProperty(standin::kDispTotalFrames) - 1, CurrentFrame(c));
        Call(c, L"Rewind");
        Call(c, L"Play");
        drv::Sleep(30);
    }
}

TEST_CASE(rejects_a_damaged_stored_state_and_leaves_nothing_behind) {
    fw::ScopedOle ole;
    HostWindow host;
    const std::vector<std::uint8_t> good = StoredBlock();
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* code;
        const char* logged;
    };
    auto with = [&](std::size_t at, std::uint8_t v) {
        auto b = good;
        b.at(at) = v;
        return b;
    };
    const Row rows[] = {
        {"magic", with(0, 0x68), "0x800300FB", "Load failed: wrong magic"},
        {"format", with(5, 0x04), "0x800300FB", "Load failed: unknown format word"},
        {"truncated", std::vector<std::uint8_t>(good.begin(), good.end() - 3), "0x80030109",
         "Load failed: block ends early"},
        // The first flag (value 4) lies after three 20-byte texts.
        {"flag", with(16 + 60 + 2, 0x01), "0x80030109", "Load failed: flag neither 0 nor -1"},
    };
    for (const Row& r : rows) {
        LogFile log(std::string("damaged-") + r.name + ".log");
        std::string message;
        try {
            fw::OleControl c(host.get(), standin::kClsidMovieControl, r.bytes, kDesigned);
        } catch (const fw::Error& e) {
            message = e.what();
        }
        CHECK_EQ_AT(r.name, message.find("IPersistStreamInit::Load") != std::string::npos, true);
        CHECK_EQ_AT(r.name, message.find(r.code) != std::string::npos, true);
        CHECK_EQ_AT(r.name, Children(host.get()).size(), std::size_t(0));
        // Torn down in order: the site goes after Close.
        std::vector<std::string> expected = {"GetMiscStatus", "SetClientSite", r.logged, "Close",
                                             "ScreenSaverRunning=0", "SetClientSite null"};
        CHECK_EQ_AT(r.name, Join(log.Read()), Join(expected));
    }
}

TEST_CASE(logs_the_calls_in_order_and_counts_idle_reads) {
    fw::ScopedOle ole;
    HostWindow host;
    LogFile log("calls.log");
    std::string movie = WriteWorkFile("logged.swf", Movie('F', 550, 400, 10, 50));
    {
        fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
        for (const wchar_t* name : {L"Play", L"Rewind", L"CurrentFrame", L"Play"}) Id(c, name);  // Play again: cached
        c.SetBounds(Rect(237, 184, 550, 400));
        Start(c, movie);
        for (int i = 0; i < 3; ++i) {
            c.GetIntProperty(standin::kDispTotalFrames);
            CurrentFrame(c);
        }
        Call(c, L"Rewind");
        Call(c, L"Play");
        c.GetIntProperty(standin::kDispTotalFrames);
        CurrentFrame(c);
    }
    std::vector<std::string> expected = {
        "GetMiscStatus",
        "SetClientSite",
        "Load ok",
        "SetExtent 5106,4471",
        "InPlaceActivate 16,0,193,169",
        "ScreenSaverRunning=0",
        "GetIDsOfNames Play",
        "GetIDsOfNames Rewind",
        "GetIDsOfNames CurrentFrame",
        "SetExtent 14552,10583",
        "SetObjectRects 237,184,550,400",
        "BackgroundColor=0",
        "Movie=" + movie,
        "Play",
        "reads TotalFrames x3 CurrentFrame x3",
        "Rewind",
        "Play",
        "reads TotalFrames x1 CurrentFrame x1",
        "InPlaceDeactivate",
        "Close",
        "ScreenSaverRunning=0",
        "SetClientSite null",
    };
    CHECK_EQ(Join(log.Read()), Join(expected));
}

TEST_CASE(logs_whether_a_screen_saver_runs_at_activation_and_close) {
    // The flag is this process's own here, as it is the saver's in the saver.
    struct Flag {
        explicit Flag(BOOL on) { ::SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, on, &old_, 0); }
        ~Flag() { ::SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, &old_, 0); }
        BOOL old_ = FALSE;
    };
    fw::ScopedOle ole;
    HostWindow host;
    LogFile log("running.log");
    {
        auto flag = std::make_unique<Flag>(TRUE);
        fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
        flag.reset();  // withdrawn before the control closes
    }
    std::vector<std::string> got;
    for (const std::string& l : log.Read())
        if (l.rfind("ScreenSaverRunning=", 0) == 0 || l.rfind("InPlaceActivate", 0) == 0 || l == "Close")
            got.push_back(l);
    std::vector<std::string> expected = {"InPlaceActivate 16,0,193,169", "ScreenSaverRunning=1", "Close",
                                         "ScreenSaverRunning=0"};
    CHECK_EQ(Join(got), Join(expected));
}

namespace {

// The control at (100, 100), 600 x 400, shows the 4:1 square movie all:
// scale 1.5, the stage 600 x 150 at y 125 of the control, bars above and below.
const RECT kWide = Rect(100, 100, 600, 400);
constexpr double kScale = 1.5;
constexpr int kStageTop = 125, kStageBottom = 275;
constexpr int kSquareTop = 125 + 37, kSquareBottom = 125 + 113;  // 162.5 .. 237.5

// A point of the control on the screen.
std::uint32_t At(const drv::Screenshot& s, int x, int y) { return s.At(kWide.left + x, kWide.top + y); }

// The frame whose square the picture shows (its left edge along the middle
// row of the square), or -1 when no red shows.
int ShownFrame(const drv::Screenshot& s) {
    for (int x = 0; x < 600; ++x) {
        if (At(s, x, 200) == 0xFF0000u) {
            double left = (x - 1) / kScale;  // the first fully red pixel follows a blended one
            return int(std::lround((left - SquareLeft(0)) / 30.0));
        }
    }
    return -1;
}

// Waits until the picture shows `frame` (drawn off the window's thread and
// painted when this thread pumps); -1: no square, as before a movie is set.
bool WaitForShown(drv::Screenshot& s, int frame) {
    return drv::WaitUntil([&] { s = drv::CaptureScreen(); return ShownFrame(s) == frame; }, 3000);
}
bool WaitForShown(int frame) {
    drv::Screenshot s;
    return WaitForShown(s, frame);
}

}  // namespace

TEST_CASE(shows_the_whole_stage_between_bars_of_the_background_colour) {
    fw::ScopedOle ole;
    HostWindow host;
    const std::string movie = WriteWorkFile("square.swf", SquareMovie(10, 10));
    struct Row {
        const char* name;
        std::int32_t background;  // -1: not set
        std::uint32_t bars;       // and the stage's background
    };
    // A colour set by the host replaces the movie's own background (blue)
    // everywhere; unset, the movie's own shows.
    const Row rows[] = {
        {"background 0", 0, 0x000000},
        {"background set", 0x203040, 0x203040},
        {"background not set", -1, 0x0000FF},
    };
    for (const Row& r : rows) {
        fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kWide);
        if (r.background >= 0) c.SetIntProperty(standin::kDispBackgroundColor, r.background);
        c.SetStringProperty(standin::kDispMovie, Wide(movie));  // not played: frame 0 stands
        // Square of frame 0: x 30..105, y 162.5..237.5 of the control.
        struct Point {
            const char* what;
            int x, y;
            std::uint32_t color;
        };
        const Point points[] = {
            {"host beside the control", -50, 200, 0x000000},
            {"top bar", 300, 60, r.bars},
            {"top bar at the stage edge", 300, kStageTop - 2, r.bars},
            {"bottom bar", 300, 340, r.bars},
            {"bottom bar at the stage edge", 300, kStageBottom + 1, r.bars},
            {"stage below its top edge", 300, kStageTop + 1, r.bars},
            {"stage right of the square", 300, 200, r.bars},
            {"stage left of the square", 20, 200, r.bars},
            {"stage above the square", 67, kSquareTop - 3, r.bars},
            {"square's middle", 67, 200, 0xFF0000},
            {"square's top left", 32, kSquareTop + 2, 0xFF0000},
            {"square's bottom right", 103, kSquareBottom - 2, 0xFF0000},
            {"stage's right end", 598, 200, r.bars},
        };
        // The picture is drawn off the window's thread, and the last row's
        // may still be on the screen: wait for the whole of this one.
        drv::Screenshot s;
        drv::WaitUntil([&] {
            s = drv::CaptureScreen();
            for (const Point& p : points)
                if (At(s, p.x, p.y) != p.color) return false;
            return true;
        }, 3000);
        drv::SaveBmp(s, drv::WorkDir() + "\\stage-" + std::to_string(r.background) + ".bmp");
        for (const Point& p : points)
            CHECK_EQ_AT(std::string(r.name) + ": " + p.what, At(s, p.x, p.y), p.color);
    }
}

TEST_CASE(picture_follows_the_frames_at_the_movie_rate_and_holds_the_last) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kWide);
    // Slow enough for a few screenshots of every frame.
    const int frames = 10;
    const double fps = 5;
    REQUIRE(WaitForShown(-1));  // nothing left on the screen from before
    const std::string movie = WriteWorkFile("moving.swf", SquareMovie(frames, fps));
    double start = Seconds();
    Start(c, movie);
    // Screenshots while it plays: each shows a frame no later than the one
    // read after it and at most a few behind the one read before.
    drv::Screenshot first;
    REQUIRE(drv::WaitUntil([&] { first = drv::CaptureScreen(); return ShownFrame(first) >= 0; }, 3000));
    int samples = 0, ahead = 0, behind = 0, blank = 0;
    std::vector<bool> seen(frames, false);
    for (;;) {
        drv::Sleep(15);  // lets the window paint
        int before = CurrentFrame(c);
        drv::Screenshot s = drv::CaptureScreen();
        int after = CurrentFrame(c);
        int shown = ShownFrame(s);
        ++samples;
        if (shown < 0) ++blank;
        else {
            seen[std::size_t(shown)] = true;
            if (shown > after) ++ahead;
            if (shown < before - 3) ++behind;
        }
        if (before == frames - 1 || Seconds() - start > 5) break;
    }
    CHECK_EQ(blank, 0);
    CHECK_EQ(ahead, 0);
    CHECK_EQ(behind, 0);
    int distinct = 0;
    for (bool b : seen) distinct += b;
    CHECK_EQ_AT(std::to_string(samples) + " screenshots", distinct >= frames / 2, true);  // it moved with the frames
    CHECK(Seconds() - start >= (frames - 1) / fps);

    // Held: the last frame stays, in the picture too.
    drv::Screenshot s;
    CHECK(WaitForShown(s, frames - 1));
    drv::Sleep(400);
    CHECK_EQ(CurrentFrame(c), frames - 1);
    s = drv::CaptureScreen();
    drv::SaveBmp(s, drv::WorkDir() + "\\moving-end.bmp");
    CHECK_EQ(ShownFrame(s), frames - 1);
    CHECK_EQ(At(s, 67, 200), 0x000000u);  // the first frame's place is empty: the host's black

    // Rewind shows the first frame again.
    Call(c, L"Rewind");
    CHECK(WaitForShown(s, 0));
}

TEST_CASE(a_stop_action_holds_its_frame_while_the_host_polls) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kWide);
    const int frames = 10, stopAt = 4;
    REQUIRE(WaitForShown(-1));
    Start(c, WriteWorkFile("stops.swf", SquareMovie(frames, 20, stopAt)));
    // The host's idle pass, for two seconds: at 20 fps the movie would have
    // reached its last frame long before.
    int last = -1, past = 0;
    double start = Seconds();
    while (Seconds() - start < 2) {
        drv::Sleep(5);
        int total = c.GetIntProperty(standin::kDispTotalFrames);
        last = CurrentFrame(c);
        if (last > stopAt || last == total - 1) ++past;
    }
    CHECK_EQ(past, 0);
    CHECK_EQ(last, stopAt);
    drv::Screenshot s;
    CHECK(WaitForShown(s, stopAt));
    drv::SaveBmp(s, drv::WorkDir() + "\\stopped.bmp");
    // Play goes on from there to the end.
    Call(c, L"Play");
    CHECK(drv::WaitUntil([&] { return CurrentFrame(c) == frames - 1; }, 3000));
    CHECK(WaitForShown(s, frames - 1));
}

TEST_CASE(slow_pictures_drop_frames_not_calls) {
    fw::ScopedOle ole;
    HostWindow host;
    const double fps = 60;
    const int frames = 300;  // five seconds
    const std::vector<std::uint8_t> bytes = HeavyMovie(200, frames, fps);
    // What one picture costs here, drawn on this thread: a few frames' time.
    double pictureMs = 1e9;
    {
        std::string error;
        auto movie = swfmovie::LoadMovie(bytes.data(), bytes.size(), &error);
        REQUIRE(movie != nullptr);
        swfmovie::Player player(movie);
        raster::Image image(1024, 768);
        for (int i = 0; i < 3; ++i) {
            double t0 = Seconds();
            player.render(image.canvas(), raster::IRect{0, 0, 1024, 768});
            pictureMs = std::min(pictureMs, (Seconds() - t0) * 1000);
        }
    }
    REQUIRE(pictureMs > 1000 / fps);

    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), Rect(0, 0, 1024, 768));
    const std::string path = WriteWorkFile("heavy.swf", bytes);
    CurrentFrame(c);  // bind the name before timing
    c.SetIntProperty(standin::kDispBackgroundColor, 0);
    c.SetStringProperty(standin::kDispMovie, Wide(path));
    double played = Seconds();
    Call(c, L"Play");
    // The host's idle pass: each call answers at once, and the frames keep to
    // the clock although the pictures cannot.
    double slowest = 0;
    int lagging = 0, polls = 0;
    while (Seconds() - played < 3) {
        double t0 = Seconds();
        drv::Sleep(2);
        double t1 = Seconds();
        int f = CurrentFrame(c);
        slowest = std::max(slowest, (Seconds() - t1) * 1000);
        ++polls;
        if (f < int(std::floor((t0 - played - 0.35) * fps))) ++lagging;
    }
    CHECK_EQ_AT(std::to_string(polls) + " polls", lagging, 0);
    CHECK_EQ_AT("a picture takes " + std::to_string(pictureMs) + " ms; slowest call " + std::to_string(slowest) + " ms",
                slowest < pictureMs / 2, true);
}

TEST_CASE(failing_calls_raise_errors_naming_the_call) {
    fw::ScopedOle ole;
    HostWindow host;
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const fw::Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    struct Row {
        const char* name;
        std::string got;
        const char* expected;
    };
    const Row rows[] = {
        {"read-only property", message([&] { c.SetIntProperty(standin::kDispTotalFrames, 5); }),
         "Setting property 124 failed (HRESULT 0x80020003)"},
        {"unknown property", message([&] { c.GetIntProperty(999); }),
         "Reading property 999 failed (HRESULT 0x80020003)"},
        {"text for a number", message([&] { c.SetStringProperty(standin::kDispBackgroundColor, L"black"); }),
         "Setting property 123 failed (HRESULT 0x80020005)"},
        {"unknown name", message([&] { Id(c, L"GotoFrame"); }),
         "IShockwaveFlash: looking up GotoFrame failed (HRESULT 0x80020006)"},
        {"missing interface", message([&] { c.Interface(IID_IPersistFile, "IPersistFile"); }),
         "QueryInterface(IPersistFile) failed (HRESULT 0x80004002)"},
    };
    for (const Row& r : rows) CHECK_EQ_AT(r.name, r.got, std::string(r.expected));
    // The interface is queried once and kept.
    CHECK(&c.Interface(standin::kIidMovieControlDual, "IShockwaveFlash") ==
          &c.Interface(standin::kIidMovieControlDual, "IShockwaveFlash"));
}
