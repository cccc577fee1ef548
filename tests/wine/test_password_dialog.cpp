// The password routine on the way out, seen from inside: a password library
// of the tests' own beside a copy of the saver records each call, the cursor
// and the taskbar window as it finds them, and keeps a message loop running
// as the real routine's dialog does. Input during that loop must not call the
// routine a second time.
#include <windows.h>

#include "saver_fixture.h"

namespace {

struct Copy {
    std::string exe;
    std::string log;
};

Copy MakeCopy() {
    Copy c;
    std::string dir = drv::WorkDir() + "\\pw";
    c.exe = drv::CopyTo(drv::SaverExe(), dir, "swfsaver.scr");
    std::string dll = drv::CopyTo(drv::WinPath(drv::Env("FAKE_MPR_DLL")), dir, "mpr.dll");
    c.log = dir + "\\mpr.log";
    ::DeleteFileA(c.log.c_str());
    if (c.exe.empty() || dll.empty()) c.exe.clear();
    return c;
}

drv::Process StartCopy(const Copy& c, const std::string& args) {
    // This Wine loads its own MPR.DLL before the program asks for one; tell
    // it to prefer the library in the program's folder, for this program only.
    drv::RegSetStringCU("Software\\Wine\\AppDefaults\\swfsaver.scr\\DllOverrides", "mpr", "native,builtin");
    return drv::Process::Start(c.exe, args, {"FAKE_MPR_LOG=" + c.log});
}

}  // namespace

TEST_CASE(one_call_with_the_cursor_shown_and_the_taskbar_window_hidden) {
    Copy c = MakeCopy();
    REQUIRE(!c.exe.empty());
    saver::SetOptions(saver::WriteMovie("pw.swf", 200, 100, 300), "0");
    drv::Process p = StartCopy(c, "/s 4660");
    HWND form = drv::WaitForWindow(p.Pid(), "TForm1", saver::kTimeout);
    REQUIRE(form != nullptr);
    drv::Sleep(500);
    ::PostMessageA(form, WM_USER + 2, 0, 0);
    // Wait until the routine runs, then come back while its loop is going.
    REQUIRE(drv::WaitUntil([&] { return drv::ReadFile(c.log).find("enter") != std::string::npos; }, 5000));
    ::PostMessageA(form, WM_USER + 2, 0, 0);
    ::PostMessageA(form, WM_KEYDOWN, 'A', 0);
    ::PostMessageA(saver::Panel(form), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    CHECK(p.Wait(saver::kTimeout));
    CHECK_EQ(p.ExitCode(), DWORD(0));
    std::vector<std::string> lines = saver::Lines(drv::ReadFile(c.log));
    REQUIRE(lines.size() == 2u);
    CHECK_EQ(lines[0], std::string("enter SCRSAVE 4660 0 0 cursor=0 appvisible=0"));
    CHECK_EQ(lines[1], std::string("leave"));
    drv::RegDeleteTreeCU("Software\\Wine\\AppDefaults\\swfsaver.scr");
}

TEST_CASE(parent_window_from_the_second_argument_as_given) {
    Copy c = MakeCopy();
    REQUIRE(!c.exe.empty());
    saver::SetOptions(drv::WorkDir() + "\\none.swf", "0");
    struct Row { const char* args; long long parent; };
    const Row rows[] = {{"/s -5", -5}, {"/s", 0}, {"/s 0x10", 16}, {"/s 12abc", 0}};
    for (const Row& row : rows) {
        ::DeleteFileA(c.log.c_str());
        drv::Process p = StartCopy(c, row.args);
        HWND form = drv::WaitForWindow(p.Pid(), "TForm1", saver::kTimeout);
        REQUIRE(form != nullptr);
        ::PostMessageA(form, WM_USER + 2, 0, 0);
        CHECK_EQ_AT(row.args, p.Wait(saver::kTimeout), true);
        std::vector<std::string> lines = saver::Lines(drv::ReadFile(c.log));
        REQUIRE(!lines.empty());
        CHECK_EQ_AT(row.args, lines[0],
                    "enter SCRSAVE " + std::to_string(row.parent) + " 0 0 cursor=0 appvisible=0");
    }
    drv::RegDeleteTreeCU("Software\\Wine\\AppDefaults\\swfsaver.scr");
}
