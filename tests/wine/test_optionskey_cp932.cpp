// The settings key under code page 932, where the second byte of a
// double-byte character may be 0x5C, the backslash. Copies of this program
// under Japanese names report the key they use ("--options-child" runs one
// read in the copy and writes the key to a file, before main runs).
#include <windows.h>

#include <cstdio>
#include <string>

#include "Application.h"
#include "Options.h"
#include "check.h"
#include "driver.h"

namespace {

// "<exe>" --options-child "<result file>": the result file gets the key.
const int kChildDone = [] {
    const std::string line = ::GetCommandLineA();
    const std::string flag = "--options-child ";
    std::size_t at = line.find(flag);
    if (at == std::string::npos) return 0;
    std::string rest = line.substr(at + flag.size());
    std::size_t q1 = rest.find('"'), q2 = rest.rfind('"');
    std::string out;
    try {
        ReadOptions();  // creates the key on first use
        out = OptionsKey();
    } catch (const std::exception& e) {
        out = std::string("error: ") + e.what();
    }
    drv::WriteFile(rest.substr(q1 + 1, q2 - q1 - 1), out);
    ::ExitProcess(0);
}();

// Shift-JIS: "so", "fu", "to" (a folder name) and "hyou", "ji" (the saver's
// name). "so" and "hyou" end in 0x5C.
const char kSoftware[] = "\x83\x5C\x83\x74\x83\x67";
const char kHyou[] = "\x95\x5C";
const char kHyouji[] = "\x95\x5C\x8E\xA6";

}  // namespace

TEST_CASE(system_lead_bytes_keep_backslash_trail_bytes_in_the_name) {
    REQUIRE(::GetACP() == 932);
    const std::string folder = std::string("C:\\") + kSoftware + "\\";
    CHECK_EQ(OptionsKey(folder + kHyouji + ".scr", fw::AnsiLeadByte), std::string("Software\\qrnsoftware\\") + kHyouji);
    CHECK_EQ(OptionsKey(folder + "x" + kHyou + ".y.scr", fw::AnsiLeadByte),
             std::string("Software\\qrnsoftware\\x") + kHyou + ".y");
}

TEST_CASE(copies_with_backslash_trail_bytes_keep_their_whole_name) {
    REQUIRE(::GetACP() == 932);
    char self[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
    REQUIRE(n > 0 && n < sizeof self);

    struct Row { std::string exe; std::string base; const wchar_t* wideKey; };
    const Row rows[] = {
        {std::string(kHyouji) + ".scr", kHyouji, L"Software\\qrnsoftware\\\u8868\u793A"},
        {std::string("a") + kHyou + ".b.scr", std::string("a") + kHyou + ".b", L"Software\\qrnsoftware\\a\u8868.b"},
    };
    const std::string dir = drv::WorkDir() + "\\" + kSoftware;
    for (const Row& r : rows) {
        const std::string key = "Software\\qrnsoftware\\" + r.base;
        drv::RegDeleteTreeCU(key);
        const std::string exe = drv::CopyTo(self, dir, r.exe);
        if (exe.empty())
            std::fprintf(stderr,
                         "Wine cannot make a file with a Japanese name here: its Unix side needs the ja_JP.UTF-8 "
                         "locale (e.g. localedef -i ja_JP -f UTF-8 <dir>/ja_JP.UTF-8, then LOCPATH=<dir>).\n");
        REQUIRE(!exe.empty());
        const std::string result = drv::WorkDir() + "\\result.txt";
        ::DeleteFileA(result.c_str());
        drv::Process p = drv::Process::Start(exe, "--options-child \"" + result + "\"");
        REQUIRE(p.Wait(60000));
        CHECK_EQ_AT(r.exe, drv::ReadFile(result), key);
        // The key in the registry carries the Japanese characters themselves.
        HKEY k = nullptr;
        CHECK_EQ_AT(r.exe, ::RegOpenKeyExW(HKEY_CURRENT_USER, r.wideKey, 0, KEY_READ, &k), LONG(ERROR_SUCCESS));
        if (k) ::RegCloseKey(k);
    }
}
