// Command-line roads of the saver: which window each switch opens, the silent
// roads, the preview's mutex, the password routine's arguments, exit codes.
#include <windows.h>

#include <cstdio>
#include <string>

#include "check.h"
#include "driver.h"

namespace {

const DWORD kStartTimeout = 20000;

// Closes the main window the way its close box would, then waits for the end.
bool CloseAndWait(drv::Process& p, HWND w) {
    ::PostMessageA(w, WM_CLOSE, 0, 0);
    return p.Wait(kStartTimeout);
}

// The process ends by itself; true when no visible window of it was seen.
bool EndsWithoutWindow(drv::Process& p) {
    bool sawWindow = false;
    bool ended = drv::WaitUntil(
        [&] {
            for (HWND w : drv::TopWindows(p.Pid()))
                if (::IsWindowVisible(w)) sawWindow = true;
            return !p.Running();
        },
        kStartTimeout);
    return ended && !sawWindow;
}


}  // namespace

TEST_CASE(switches_that_open_the_settings_dialog) {
    const char* args[] = {"", "/c", "-c", "c", "/c:1234", "/C", "C:\\x"};
    for (const char* a : args) {
        drv::Process p = drv::Process::Start(drv::SaverExe(), a);
        HWND w = drv::WaitForWindow(p.Pid(), "TForm3", kStartTimeout);
        CHECK_EQ_AT(a, w != nullptr, true);
        CHECK_EQ_AT(a, drv::WaitForWindow(p.Pid(), "TForm1", 0, false) == nullptr, true);
        if (w) CHECK_EQ_AT(a, CloseAndWait(p, w), true);
        CHECK_EQ_AT(a, p.ExitCode(), DWORD(0));
    }
}

TEST_CASE(switches_that_start_the_saver) {
    const char* args[] = {"/s", "-S", "s", "saver", "Screen", "/s 1234"};
    for (const char* a : args) {
        drv::Process p = drv::Process::Start(drv::SaverExe(), a);
        HWND w = drv::WaitForWindow(p.Pid(), "TForm1", kStartTimeout);
        CHECK_EQ_AT(a, w != nullptr, true);
        if (w) {
            RECT r = drv::WindowRectOf(w);
            CHECK_EQ_AT(a, drv::Describe(r), std::string("(0,0 1024x768)"));
            CHECK_EQ_AT(a, CloseAndWait(p, w), true);
        }
        CHECK_EQ_AT(a, p.ExitCode(), DWORD(0));
    }
}

TEST_CASE(unrecognised_switches_end_silently) {
    const char* args[] = {"/x", "/", "-", "x", "/?", "\"/x\" /s"};
    for (const char* a : args) {
        drv::Process p = drv::Process::Start(drv::SaverExe(), a);
        CHECK_EQ_AT(a, EndsWithoutWindow(p), true);
        CHECK_EQ_AT(a, p.ExitCode(), DWORD(0));
    }
}

TEST_CASE(preview_takes_and_releases_the_mutex) {
    const char* args[] = {"/p 1234", "-p", "p"};
    for (const char* a : args) {
        drv::Process p = drv::Process::Start(drv::SaverExe(), a);
        CHECK_EQ_AT(a, EndsWithoutWindow(p), true);
        CHECK_EQ_AT(a, p.ExitCode(), DWORD(0));
    }
    // Released: a saver starts after it without the second-instance box.
    drv::Process saver = drv::Process::Start(drv::SaverExe(), "/s");
    HWND w = drv::WaitForWindow(saver.Pid(), "TForm1", kStartTimeout);
    CHECK(w != nullptr);
    CHECK(drv::WaitForWindow(saver.Pid(), "#32770", 500) == nullptr);
    if (w) CHECK(CloseAndWait(saver, w));
}

TEST_CASE(password_mode_calls_the_routine_with_the_parent_window) {
    struct Row { const char* args; const char* call; };
    const Row rows[] = {
        {"/a 1234", "SCRSAVE 4D2 0 0"},
        {"-A 1234", "SCRSAVE 4D2 0 0"},
        {"/a", "SCRSAVE 0 0 0"},
        {"/a window", "SCRSAVE 0 0 0"},
        {"/a 12x", "SCRSAVE 0 0 0"},
        {"/a $10", "SCRSAVE 10 0 0"},
        {"/a 0x1f", "SCRSAVE 1F 0 0"},
        {"a -1", "SCRSAVE FFFFFFFFFFFFFFFF 0 0"},
    };
    for (const Row& r : rows) {
        std::size_t before = drv::LogSize();
        drv::Process p = drv::Process::Start(drv::SaverExe(), r.args);
        CHECK_EQ_AT(r.args, EndsWithoutWindow(p), true);
        CHECK_EQ_AT(r.args, p.ExitCode(), DWORD(0));
        drv::Sleep(200);  // let the trace reach the log
        std::vector<std::string> calls = drv::PasswordCalls(drv::LogSince(before));
        REQUIRE(calls.size() == 1u);
        CHECK_EQ_AT(r.args, calls[0], std::string(r.call));
    }
}

TEST_CASE(password_mode_works_while_a_saver_runs) {
    drv::Process saver = drv::Process::Start(drv::SaverExe(), "/s");
    HWND w = drv::WaitForWindow(saver.Pid(), "TForm1", kStartTimeout);
    REQUIRE(w != nullptr);
    std::size_t before = drv::LogSize();
    drv::Process p = drv::Process::Start(drv::SaverExe(), "/a 77");
    CHECK(EndsWithoutWindow(p));
    CHECK_EQ(p.ExitCode(), DWORD(0));
    drv::Sleep(200);
    std::vector<std::string> calls = drv::PasswordCalls(drv::LogSince(before));
    REQUIRE(calls.size() == 1u);
    CHECK_EQ(calls[0], std::string("SCRSAVE 4D 0 0"));
    CHECK(saver.Running());
    CHECK(CloseAndWait(saver, w));
}
