// A second start while a saver or a settings dialog runs: the Japanese
// message in a plain box titled after the executable, exit 0, the first
// instance undisturbed. Runs under code page 932.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "check.h"
#include "driver.h"

namespace {

const DWORD kTimeout = 20000;
// "ERROR - 複数アプリケーションの起動は制限されています。"
const std::wstring kMessage =
    L"ERROR - \u8907\u6570\u30A2\u30D7\u30EA\u30B1\u30FC\u30B7\u30E7\u30F3\u306E\u8D77\u52D5\u306F\u5236\u9650"
    L"\u3055\u308C\u3066\u3044\u307E\u3059\u3002";

// Starts `exe args`, expects the second-instance box, dismisses it, expects exit 0.
void ExpectRefused(const std::string& exe, const char* args, const std::wstring& title) {
    drv::Process p = drv::Process::Start(exe, args);
    drv::Box box = drv::WaitForBox(p.Pid(), kTimeout);
    REQUIRE(box.hwnd != nullptr);
    CHECK_EQ_AT(args, box.text, kMessage);
    CHECK_EQ_AT(args, box.title, title);
    CHECK_EQ_AT(args, box.hasIcon, false);
    CHECK_EQ_AT(args, box.buttons.size(), std::size_t(1));
    // Centred on the screen.
    RECT r = drv::WindowRectOf(box.hwnd);
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    CHECK_EQ_AT(args, std::abs(cx - 512) <= 2 && std::abs(cy - 384) <= 2, true);
    // No other window of its own besides the box.
    CHECK_EQ_AT(args, drv::WaitForWindow(p.Pid(), "TForm1", 0) == nullptr, true);
    CHECK_EQ_AT(args, drv::WaitForWindow(p.Pid(), "TForm3", 0) == nullptr, true);
    drv::DismissBox(box);
    CHECK_EQ_AT(args, p.Wait(kTimeout), true);
    CHECK_EQ_AT(args, p.ExitCode(), DWORD(0));
}

}  // namespace

TEST_CASE(second_start_while_the_saver_runs) {
    drv::Process first = drv::Process::Start(drv::SaverExe(), "/s");
    HWND w = drv::WaitForWindow(first.Pid(), "TForm1", kTimeout);
    REQUIRE(w != nullptr);
    // Each box that comes and goes over the saver moves the pointer over it
    // as far as the window system is concerned, and moves count as activity:
    // keep to two starts here, the rest are tried against the dialog.
    for (const char* args : {"/s", "/p 1234"}) ExpectRefused(drv::SaverExe(), args, L"swfsaver");
    CHECK(first.Running());
    CHECK(::IsWindowVisible(w));
    ::PostMessageA(w, WM_CLOSE, 0, 0);
    CHECK(first.Wait(kTimeout));
    CHECK_EQ(first.ExitCode(), DWORD(0));
}

TEST_CASE(second_start_while_the_dialog_runs) {
    drv::Process first = drv::Process::Start(drv::SaverExe(), "/c");
    HWND w = drv::WaitForWindow(first.Pid(), "TForm3", kTimeout);
    REQUIRE(w != nullptr);
    for (const char* args : {"/s", "/c", "/p 1234", "", "/c:99"}) ExpectRefused(drv::SaverExe(), args, L"swfsaver");
    CHECK(first.Running());
    CHECK(::IsWindowVisible(w));
    ::PostMessageA(w, WM_CLOSE, 0, 0);
    CHECK(first.Wait(kTimeout));
}

TEST_CASE(copies_under_other_names_share_the_mutex_and_title_by_their_name) {
    drv::Process first = drv::Process::Start(drv::SaverExe(), "/c");
    HWND w = drv::WaitForWindow(first.Pid(), "TForm3", kTimeout);
    REQUIRE(w != nullptr);
    struct Row { const char* name; const wchar_t* title; };
    const Row rows[] = {
        {"my.saver.scr", L"my"},
        {"SWFSAVER.SCR", L"Swfsaver"},
        {"Flash Saver.SCR", L"Flash saver"},
        {"NoDot", L"Nodot"},
    };
    for (const Row& r : rows) {
        std::string copy = drv::CopyTo(drv::SaverExe(), drv::WorkDir() + "\\copies", r.name);
        REQUIRE(!copy.empty());
        ExpectRefused(copy, "/s", r.title);
    }
    ::PostMessageA(w, WM_CLOSE, 0, 0);
    CHECK(first.Wait(kTimeout));
}
