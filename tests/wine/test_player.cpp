// The player window: placement of the movie control, the order of calls to
// it, restarts at the last frame, the failure roads and a black first paint. Screen 1024 x 768.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "saver_fixture.h"

using saver::Calls;

namespace {

void CloseSaver(saver::Running& r) {
    if (r.form) ::PostMessageA(r.form, WM_USER + 2, 0, 0);
    CHECK(r.process.Wait(saver::kTimeout));
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}

}  // namespace

TEST_CASE(movie_placement_table) {
    struct Row { const char* name; int w, h; const char* expansion; const char* rect; };
    const Row rows[] = {
        {"550x400 centred", 550, 400, "0", "(237,184 550x400)"},
        {"expansion fills the screen", 550, 400, "1", "(0,0 1024x768)"},
        {"larger than the screen", 1100, 900, "0", "(-38,-66 1100x900)"},
    };
    for (const Row& row : rows) {
        std::string movie = saver::WriteMovie("place.swf", row.w, row.h, 30);
        saver::SetOptions(movie, row.expansion);
        saver::Running r = saver::Start("/s");
        REQUIRE(r.form != nullptr);
        HWND control = nullptr;
        drv::WaitUntil([&] { return (control = saver::ControlWindow(r.form)) != nullptr; }, 5000);
        REQUIRE(control != nullptr);
        CHECK_EQ_AT(row.name, drv::Describe(drv::RectInParent(saver::Panel(r.form))), std::string("(0,0 1024x768)"));
        CHECK_EQ_AT(row.name, drv::Describe(drv::RectInParent(control)), std::string(row.rect));
        if (std::string(row.name) == "550x400 centred") {
            drv::Sleep(700);
            drv::Screenshot shot = drv::CaptureScreen();
            drv::SaveBmp(shot, drv::WorkDir() + "\\placed.bmp");
            // The control shows something inside its rectangle; outside it
            // the screen is black.
            int inside = 0, outside = 0;
            for (int y = 0; y < shot.height; y += 2)
                for (int x = 0; x < shot.width; x += 2) {
                    bool in = x >= 237 && x < 787 && y >= 184 && y < 584;
                    if (!saver::Black(shot.At(x, y))) ++(in ? inside : outside);
                }
            CHECK(inside > 0);
            CHECK_EQ(outside, 0);
        }
        CloseSaver(r);
    }
}

TEST_CASE(calls_in_order_and_restart_at_the_last_frame) {
    std::string movie = saver::WriteMovie("short.swf", 200, 100, 3, 30);
    saver::SetOptions(movie, "0");
    saver::Running r = saver::Start("/s");
    REQUIRE(r.form != nullptr);
    drv::Sleep(1500);  // 3 frames at 30 fps: several restarts
    std::vector<std::string> calls = Calls(r.log);
    REQUIRE(calls.size() >= 5u);
    CHECK_EQ(calls[0], std::string("BackgroundColor=0"));
    CHECK_EQ(calls[1], std::string("Movie=") + movie);
    CHECK_EQ(calls[2], std::string("Play"));
    // After that only restarts: Rewind then Play, in pairs.
    for (std::size_t i = 3; i + 1 < calls.size(); i += 2) {
        CHECK_EQ(calls[i], std::string("Rewind"));
        CHECK_EQ(calls[i + 1], std::string("Play"));
    }
    CloseSaver(r);
}

TEST_CASE(one_frame_movie_restarts_on_every_idle_pass) {
    std::string movie = saver::WriteMovie("one.swf", 200, 100, 1, 12);
    saver::SetOptions(movie, "0");
    saver::Running r = saver::Start("/s");
    REQUIRE(r.form != nullptr);
    drv::Sleep(500);
    // Every idle pass restarts it: each message the loop takes (here the
    // ignored private message) is followed by one more pass.
    std::vector<std::string> first = Calls(r.log);
    std::size_t before = std::count(first.begin(), first.end(), std::string("Rewind"));
    for (int i = 0; i < 5; ++i) {
        ::PostMessageA(r.form, WM_USER + 1, 0, 0);
        drv::Sleep(100);
    }
    std::vector<std::string> calls = Calls(r.log);
    std::size_t rewinds = std::count(calls.begin(), calls.end(), std::string("Rewind"));
    CHECK(rewinds >= before + 5);
    CHECK(r.process.Running());
    CloseSaver(r);
}

TEST_CASE(no_movie_roads_leave_the_control_at_its_designed_place) {
    ::CreateDirectoryA((drv::WorkDir() + "\\folder.swf").c_str(), nullptr);
    const std::string names[] = {drv::WorkDir() + "\\missing.swf", "", drv::WorkDir() + "\\folder.swf"};
    for (const std::string& name : names) {
        saver::SetOptions(name, "0");
        saver::Running r = saver::Start("/s");
        REQUIRE(r.form != nullptr);
        HWND control = nullptr;
        drv::WaitUntil([&] { return (control = saver::ControlWindow(r.form)) != nullptr; }, 5000);
        REQUIRE(control != nullptr);
        CHECK_EQ_AT(name.c_str(), drv::Describe(drv::RectInParent(control)), std::string("(16,0 193x169)"));
        CHECK_EQ_AT(name.c_str(), drv::WaitForWindow(r.process.Pid(), "#32770", 300) == nullptr, true);
        drv::Sleep(300);
        CHECK_EQ_AT(name.c_str(), Calls(r.log).empty(), true);
        // No movie: the whole screen is black.
        drv::Screenshot shot = drv::CaptureScreen();
        CHECK_EQ_AT(name.c_str(), std::all_of(shot.pixels.begin(), shot.pixels.end(), saver::Black), true);
        CloseSaver(r);
    }
}

TEST_CASE(short_file_shows_the_error_box_after_setting_the_background) {
    std::string path = drv::WorkDir() + "\\short.swf";
    drv::WriteFile(path, std::string(24, 'F'));
    for (const char* expansion : {"0", "1"}) {
        saver::SetOptions(path, expansion);
        saver::Running r = saver::Start("/s");
        REQUIRE(r.process.Handle() != nullptr);
        drv::Box box = drv::WaitForBox(r.process.Pid(), saver::kTimeout);
        REQUIRE(box.hwnd != nullptr);
        CHECK_EQ_AT(expansion, box.title, std::wstring(L"swfsaver"));
        CHECK_EQ_AT(expansion, box.hasIcon, true);
        CHECK_EQ_AT(expansion, box.text.find(drv::Utf8ToWide(path)) != std::wstring::npos, true);
        drv::DismissBox(box);
        r.form = drv::WaitForWindow(r.process.Pid(), "TForm1", saver::kTimeout);
        CHECK(r.form != nullptr);
        std::vector<std::string> calls = Calls(r.log);
        CHECK_EQ_AT(expansion, calls.size(), std::size_t(1));
        if (!calls.empty()) CHECK_EQ_AT(expansion, calls[0], std::string("BackgroundColor=0"));
        CloseSaver(r);
    }
}

TEST_CASE(screen_saver_flag_set_while_running_and_withdrawn_before_the_end) {
    // The flag is kept per process here, so the movie control (in the saver's
    // process) reports what it sees: after creation, while the movie is
    // handed over, and when it is closed at the end.
    std::string movie = saver::WriteMovie("flag.swf", 100, 100, 10);
    saver::SetOptions(movie, "0");
    saver::Running r = saver::Start("/s");
    REQUIRE(r.form != nullptr);
    drv::Sleep(300);
    CloseSaver(r);
    std::vector<std::string> seen;
    for (const std::string& l : saver::Lines(drv::ReadFile(r.log)))
        if (l.rfind("ScreenSaverRunning=", 0) == 0 || l == "BackgroundColor=0" || l == "Close") seen.push_back(l);
    std::vector<std::string> want = {"ScreenSaverRunning=0", "ScreenSaverRunning=1", "BackgroundColor=0", "Close",
                                     "ScreenSaverRunning=0"};
    CHECK(seen == want);
    if (seen != want)
        for (const std::string& l : seen) std::printf("  seen: %s\n", l.c_str());
}

TEST_CASE(first_paint_is_black) {
    // A movie smaller than the screen: everything outside it must be black
    // from the first frame the window shows, never white or grey.
    std::string movie = saver::WriteMovie("paint.swf", 100, 100, 10);
    saver::SetOptions(movie, "0");
    drv::Process p = drv::Process::Start(drv::SaverExe(), "/s");
    HWND form = nullptr;
    drv::WaitUntil([&] { return (form = drv::WaitForWindow(p.Pid(), "TForm1", 0)) != nullptr; }, saver::kTimeout);
    REQUIRE(form != nullptr);
    for (int i = 0; i < 5; ++i) {
        drv::Screenshot shot = drv::CaptureScreen();
        int nonBlack = 0;
        for (int y = 0; y < shot.height; y += 4)
            for (int x = 0; x < shot.width; x += 4) {
                bool inMovie = x >= 462 && x < 562 && y >= 334 && y < 434;
                if (!inMovie && !saver::Black(shot.At(x, y))) ++nonBlack;
            }
        if (nonBlack) drv::SaveBmp(shot, drv::WorkDir() + "\\flash.bmp");
        CHECK_EQ(nonBlack, 0);
        drv::Sleep(50);
    }
    ::PostMessageA(form, WM_USER + 2, 0, 0);
    CHECK(p.Wait(saver::kTimeout));
}
