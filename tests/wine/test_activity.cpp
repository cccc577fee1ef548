// Closing the saver: mouse moves (with and without a movie), buttons, keys,
// the private messages, and the password routine on the way out.
#include <windows.h>

#include <cstdio>

#include "saver_fixture.h"

namespace {

bool Ends(saver::Running& r, DWORD ms = 3000) { return r.process.Wait(ms); }

std::string g_movie;

saver::Running StartWithMovie(const char* args = "/s") {
    if (g_movie.empty()) g_movie = saver::WriteMovie("activity.swf", 300, 200, 600, 30);
    saver::SetOptions(g_movie, "0");
    drv::MoveMouseTo(50, 50);
    drv::Sleep(200);
    saver::Running r = saver::Start(args);
    drv::Sleep(800);  // let it settle (its own first mouse move included)
    return r;
}

saver::Running StartWithoutMovie() {
    saver::SetOptions(drv::WorkDir() + "\\none.swf", "0");
    drv::MoveMouseTo(100, 100);
    drv::Sleep(200);
    saver::Running r = saver::Start("/s");
    drv::Sleep(800);
    return r;
}

}  // namespace

TEST_CASE(with_a_movie_the_sixth_mouse_move_closes) {
    // Mouse moves posted to the window go through the queue like the
    // hardware's. The window's own first move at the pointer may already
    // have used one of the five.
    saver::Running r = StartWithMovie();
    REQUIRE(r.form != nullptr);
    HWND panel = saver::Panel(r.form);
    REQUIRE(panel != nullptr);
    int sent = 0;
    auto open = [&] { return r.process.Running() && ::IsWindowVisible(r.form); };
    while (open() && sent < 8) {
        ++sent;
        ::PostMessageA(panel, WM_MOUSEMOVE, 0, MAKELPARAM(60 + sent * 40, 60 + sent * 40));
        drv::Sleep(300);
        if (sent == 4) CHECK(open());
    }
    std::printf("closed after %d posted moves\n", sent);
    CHECK(r.process.Wait(10000));
    CHECK(sent == 5 || sent == 6);
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}

TEST_CASE(with_a_movie_real_pointer_moves_close_it) {
    saver::Running r = StartWithMovie();
    REQUIRE(r.form != nullptr);
    int sent = 0;
    auto open = [&] { return r.process.Running() && ::IsWindowVisible(r.form); };
    while (open() && sent < 16) {
        ++sent;
        drv::MoveMouseTo(60 + sent * 40, 60 + sent * 30);
        drv::Sleep(300);
        if (sent == 4) CHECK(open());
    }
    std::printf("closed after %d pointer moves\n", sent);
    CHECK(sent == 5 || sent == 6);
    CHECK(r.process.Wait(10000));
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}

TEST_CASE(without_a_movie_moves_must_reach_three_pixels_on_both_axes) {
    saver::Running r = StartWithoutMovie();
    REQUIRE(r.form != nullptr);
    // Purely horizontal moves: ignored, then the point is recorded, and no
    // number of them closes the saver.
    for (int i = 1; i <= 10; ++i) {
        drv::MoveMouseTo(100 + i * 30, 100);
        drv::Sleep(150);
    }
    CHECK(r.process.Running());
    // Purely vertical from there: still running.
    for (int i = 1; i <= 3; ++i) {
        drv::MoveMouseTo(400, 100 + i * 30);
        drv::Sleep(150);
    }
    CHECK(r.process.Running());
    // Small diagonal steps add up from the recorded point until both reach 3.
    drv::MoveMouseTo(401, 191);
    drv::Sleep(300);
    bool stillAfterSmall = r.process.Running();
    drv::MoveMouseTo(520, 300);
    CHECK(Ends(r));
    CHECK(stillAfterSmall);
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}

TEST_CASE(buttons_close_except_a_left_click_on_the_movie) {
    struct Row { const char* name; bool movie; int x, y; DWORD down, up; bool closes; };
    const Row rows[] = {
        {"right button, movie", true, 500, 380, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, true},
        {"right button, no movie", false, 500, 380, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, true},
        {"left click on the movie", true, 512, 384, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, false},
        {"left click on the background", true, 20, 20, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
        {"middle click on the background", true, 20, 700, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, true},
        {"left click, no movie", false, 300, 300, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
    };
    for (const Row& row : rows) {
        // Put the pointer in place before the saver starts: moving it later
        // would count as activity.
        saver::SetOptions(row.movie ? (g_movie.empty() ? (g_movie = saver::WriteMovie("activity.swf", 300, 200, 600, 30))
                                                       : g_movie)
                                    : drv::WorkDir() + "\\none.swf",
                          "0");
        drv::MoveMouseTo(row.x, row.y);
        drv::Sleep(200);
        saver::Running r = saver::Start("/s");
        REQUIRE(r.form != nullptr);
        drv::Sleep(800);
        drv::MouseButton(row.down, row.up);
        bool ended = Ends(r, row.closes ? 3000 : 1500);
        CHECK_EQ_AT(row.name, ended, row.closes);
        if (!ended) {
            ::PostMessageA(r.form, WM_USER + 2, 0, 0);
            CHECK(Ends(r));
        }
        CHECK_EQ_AT(row.name, r.process.ExitCode(), DWORD(0));
    }
}

TEST_CASE(keys_close_system_keys_included) {
    struct Row { const char* name; WORD vk; bool alt; };
    const Row rows[] = {{"A", 'A', false}, {"Space", VK_SPACE, false}, {"Alt+X", 'X', true}, {"F10", VK_F10, false}};
    for (const Row& row : rows) {
        saver::Running r = StartWithMovie();
        REQUIRE(r.form != nullptr);
        ::SetForegroundWindow(r.form);
        drv::Sleep(200);
        drv::KeyPress(row.vk, row.alt ? VK_MENU : 0);
        CHECK_EQ_AT(row.name, Ends(r), true);
        CHECK_EQ_AT(row.name, r.process.ExitCode(), DWORD(0));
    }
}

TEST_CASE(private_messages) {
    saver::Running r = StartWithMovie();
    REQUIRE(r.form != nullptr);
    ::PostMessageA(r.form, WM_USER + 1, 0, 0);
    CHECK(!Ends(r, 1000));
    ::PostMessageA(r.form, WM_USER + 2, 0, 0);
    CHECK(Ends(r));
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}

TEST_CASE(closing_calls_the_password_routine_with_the_second_argument) {
    struct Row { const char* args; unsigned long long parent; };
    const Row rows[] = {{"/s 1234", 0x4D2}, {"/s", 0}, {"/s abc", 0}, {"-S $7F", 0x7F}};
    for (const Row& row : rows) {
        std::size_t before = drv::LogSize();
        saver::Running r = StartWithMovie(row.args);
        REQUIRE(r.form != nullptr);
        ::PostMessageA(r.form, WM_USER + 2, 0, 0);
        CHECK_EQ_AT(row.args, Ends(r), true);
        drv::Sleep(200);
        std::vector<std::string> calls = drv::PasswordCalls(drv::LogSince(before));
        char want[64];
        std::snprintf(want, sizeof want, "SCRSAVE %llX 0 0", row.parent);
        CHECK_EQ_AT(row.args, calls.size(), std::size_t(1));
        if (!calls.empty()) CHECK_EQ_AT(row.args, calls[0], std::string(want));
        CHECK_EQ_AT(row.args, r.process.ExitCode(), DWORD(0));
    }
    // The mutex was released: a new saver starts without the second-instance box.
    saver::Running again = StartWithMovie();
    REQUIRE(again.form != nullptr);
    CHECK(drv::WaitForWindow(again.process.Pid(), "#32770", 300) == nullptr);
    ::PostMessageA(again.form, WM_USER + 2, 0, 0);
    CHECK(Ends(again));
}

TEST_CASE(no_password_call_when_the_desktop_key_does_not_open) {
    const char* desktop = "Control Panel\\Desktop";
    REQUIRE(drv::SetKeyAccessCU(desktop, KEY_READ));
    std::size_t before = drv::LogSize();
    saver::Running r = StartWithMovie("/s 1234");
    bool started = r.form != nullptr;
    if (started) ::PostMessageA(r.form, WM_USER + 2, 0, 0);
    bool ended = Ends(r);
    drv::Sleep(200);
    std::size_t calls = drv::PasswordCalls(drv::LogSince(before)).size();
    CHECK(drv::SetKeyAccessCU(desktop, KEY_ALL_ACCESS));
    CHECK(started);
    CHECK(ended);
    CHECK_EQ(calls, std::size_t(0));
    CHECK_EQ(r.process.ExitCode(), DWORD(0));
}
