// One file to install: the saver plays a movie with the stand-in control
// registered (the DLL's class is used), and with nothing registered for the
// class id, from a lone copy of swfsaver.scr (the class it carries is used).
// Screen 1024 x 768.
#include <windows.h>
#include <tlhelp32.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "saver_fixture.h"

namespace {

const char kClassKey[] = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const swfgen::Color kMovieColour{30, 160, 90, 255};
// A 400 x 300 movie, centred at its own size.
const RECT kMovieRect{312, 234, 712, 534};

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string DllPath() { return drv::WinPath(drv::Env("SWFSTANDIN_DLL")); }

// The server file registered for the class in HKEY_CLASSES_ROOT; empty when none.
std::string RegisteredServer() {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(), 0, KEY_READ,
                        &k) != ERROR_SUCCESS)
        return {};
    char buf[1024] = {};
    DWORD size = sizeof buf - 1, type = 0;
    LONG rc = ::RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    ::RegCloseKey(k);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(buf) : std::string();
}

DWORD Regsvr32(const std::string& args) {
    drv::Process p = drv::Process::Start("C:\\windows\\system32\\regsvr32.exe", args + " \"" + DllPath() + "\"");
    if (!p.Wait(60000)) return DWORD(-1);
    return p.ExitCode();
}

// Takes the class id's registration away for its lifetime; the next test
// finds the control registered as the harness left it.
class WithoutRegistration {
public:
    WithoutRegistration() { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey); }
    ~WithoutRegistration() {
        Regsvr32("/s");
        CHECK(Lower(RegisteredServer()) == Lower(DllPath()));
    }
    WithoutRegistration(const WithoutRegistration&) = delete;
    WithoutRegistration& operator=(const WithoutRegistration&) = delete;
};

// File names (lower case) of the modules loaded in process `pid`.
std::vector<std::string> Modules(DWORD pid) {
    std::vector<std::string> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return out;
    MODULEENTRY32 m{};
    m.dwSize = sizeof m;
    for (BOOL ok = ::Module32First(snap, &m); ok; ok = ::Module32Next(snap, &m)) out.push_back(Lower(m.szModule));
    ::CloseHandle(snap);
    return out;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
    for (const std::string& x : v)
        if (x == s) return true;
    return false;
}

bool Inside(int x, int y, const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// Pixels of the movie's colour inside its rectangle, and pixels that are not
// black outside it (every second pixel each way).
struct Picture {
    int movieColoured = 0, litOutside = 0;
};

Picture Look(const drv::Screenshot& s) {
    const std::uint32_t colour = (std::uint32_t(kMovieColour.r) << 16) | (kMovieColour.g << 8) | kMovieColour.b;
    Picture p;
    for (int y = 0; y < s.height; y += 2)
        for (int x = 0; x < s.width; x += 2) {
            std::uint32_t px = s.At(x, y) & 0xFFFFFF;
            bool in = Inside(x, y, kMovieRect);
            if (!in && px != 0) ++p.litOutside;
            if (in && px == colour) ++p.movieColoured;
        }
    return p;
}

}  // namespace

TEST_CASE(the_saver_plays_with_and_without_the_control_registered) {
    REQUIRE(!drv::Env("SWFSTANDIN_DLL").empty());
    REQUIRE(Lower(RegisteredServer()) == Lower(DllPath()));
    std::string movie = saver::WriteMovie("onefile.swf", 400, 300, 60, 30, kMovieColour);
    saver::SetOptions(movie, "0");
    // The lone copy: nothing of the project beside it.
    std::string lone = drv::CopyTo(drv::SaverExe(), drv::WorkDir() + "\\lone", "swfsaver.scr");
    REQUIRE(!lone.empty());

    struct Row {
        const char* name;
        bool registered;
    };
    const Row rows[] = {{"stand-in registered", true}, {"nothing registered", false}};
    const int total = (kMovieRect.right - kMovieRect.left) / 2 * ((kMovieRect.bottom - kMovieRect.top) / 2);
    for (const Row& row : rows) {
        std::unique_ptr<WithoutRegistration> unregistered;
        if (!row.registered) {
            unregistered = std::make_unique<WithoutRegistration>();
            REQUIRE(RegisteredServer().empty());
        }
        std::string log = drv::WorkDir() + "\\calls-" + (row.registered ? "registered" : "carried") + ".log";
        ::DeleteFileA(log.c_str());
        drv::Process p =
            drv::Process::Start(row.registered ? drv::SaverExe() : lone, "/s", {"SWFSTANDIN_LOG=" + log});
        HWND form = drv::WaitForWindow(p.Pid(), "TForm1", saver::kTimeout);
        CHECK_EQ_AT(row.name, form != nullptr, true);
        if (!form) continue;

        // The control gets the movie and plays it, whichever class serves it.
        std::vector<std::string> calls;
        drv::WaitUntil([&] { return (calls = saver::Calls(log)).size() >= 3; }, saver::kTimeout);
        REQUIRE(calls.size() >= 3u);
        CHECK_EQ_AT(row.name, calls[0], std::string("BackgroundColor=0"));
        CHECK_EQ_AT(row.name, calls[1], "Movie=" + movie);
        CHECK_EQ_AT(row.name, calls[2], std::string("Play"));

        // Which class: the registered server's DLL is loaded only on its road.
        CHECK_EQ_AT(row.name, Has(Modules(p.Pid()), "swfstandin.dll"), row.registered);
        CHECK_EQ_AT(row.name, Has(Modules(p.Pid()), "swfsaver.scr"), true);  // the listing works

        // The movie's stage on screen, black around it.
        Picture pic;
        drv::Screenshot shot;
        drv::WaitUntil(
            [&] {
                shot = drv::CaptureScreen();
                pic = Look(shot);
                return pic.movieColoured * 10 >= total * 9;
            },
            saver::kTimeout);
        drv::SaveBmp(shot, drv::WorkDir() + "\\" + (row.registered ? "registered" : "carried") + ".bmp");
        CHECK_EQ_AT(row.name, pic.movieColoured * 10 >= total * 9, true);
        CHECK_EQ_AT(row.name, pic.litOutside, 0);

        ::PostMessageA(form, WM_USER + 2, 0, 0);
        CHECK_EQ_AT(row.name, p.Wait(saver::kTimeout), true);
        CHECK_EQ_AT(row.name, p.ExitCode(), DWORD(0));
    }
    // Put back for the tests after this one.
    CHECK(Lower(RegisteredServer()) == Lower(DllPath()));
}
