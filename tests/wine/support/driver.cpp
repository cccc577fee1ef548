#include "driver.h"

#include <aclapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

namespace drv {

std::string Env(const char* name) {
    char buf[4096];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    return (n && n < sizeof buf) ? std::string(buf, n) : std::string();
}

std::string WinPath(const std::string& unixPath) {
    if (unixPath.size() > 1 && unixPath[1] == ':') return unixPath;
    std::string p = "Z:" + unixPath;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

std::string WorkDir() {
    std::string w = Env("SWFSAVER_WORK");
    if (w.empty()) {
        char tmp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, tmp);
        w = tmp;
        if (!w.empty() && w.back() == '\\') w.pop_back();
        return w;
    }
    return WinPath(w);
}

std::string SaverExe() { return WinPath(Env("SWFSAVER_EXE")); }

void Sleep(DWORD ms) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG m;
        while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&m);
            ::DispatchMessageA(&m);
        }
        DWORD gone = ::GetTickCount() - start;
        if (gone >= ms) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - gone, 20), QS_ALLINPUT);
    }
}

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (::GetTickCount() - start >= timeoutMs) return cond();
        Sleep(20);
    }
}

Process Process::Start(const std::string& exe, const std::string& args, const std::vector<std::string>& env) {
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string& e : env) {
        std::size_t eq = e.find('=');
        std::string name = e.substr(0, eq), value = eq == std::string::npos ? "" : e.substr(eq + 1);
        saved.emplace_back(name, Env(name.c_str()));
        ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    std::string cmd = "\"" + exe + "\"";
    if (!args.empty()) cmd += " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    BOOL ok = ::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    DWORD err = ::GetLastError();
    for (auto& [name, value] : saved) ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
    Process p;
    if (!ok) {
        std::fprintf(stderr, "driver: cannot start %s (error %lu)\n", exe.c_str(), err);
        return p;
    }
    ::CloseHandle(pi.hThread);
    p.h_ = pi.hProcess;
    p.pid_ = pi.dwProcessId;
    return p;
}

Process::~Process() {
    Kill();
    if (h_) ::CloseHandle(h_);
}

Process::Process(Process&& o) noexcept : h_(o.h_), pid_(o.pid_) {
    o.h_ = nullptr;
    o.pid_ = 0;
}

Process& Process::operator=(Process&& o) noexcept {
    if (this != &o) {
        Kill();
        if (h_) ::CloseHandle(h_);
        h_ = o.h_;
        pid_ = o.pid_;
        o.h_ = nullptr;
        o.pid_ = 0;
    }
    return *this;
}

bool Process::Running() const { return h_ && ::WaitForSingleObject(h_, 0) == WAIT_TIMEOUT; }

bool Process::Wait(DWORD timeoutMs) {
    if (!h_) return false;
    return WaitUntil([&] { return ::WaitForSingleObject(h_, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

DWORD Process::ExitCode() const {
    DWORD code = 0xDEADBEEF;
    if (h_) ::GetExitCodeProcess(h_, &code);
    return code;
}

void Process::Kill() {
    if (Running()) {
        ::TerminateProcess(h_, 9);
        ::WaitForSingleObject(h_, 5000);
    }
}

std::vector<HWND> TopWindows(DWORD pid) {
    struct Ctx { DWORD pid; std::vector<HWND> out; } ctx{pid, {}};
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(lp);
            DWORD p = 0;
            ::GetWindowThreadProcessId(w, &p);
            if (p == c->pid) c->out.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

std::string ClassName(HWND w) {
    char buf[256] = {};
    int n = ::GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

HWND WaitForWindow(DWORD pid, const char* cls, DWORD timeoutMs, bool visibleOnly) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopWindows(pid)) {
                if (visibleOnly && !::IsWindowVisible(w)) continue;
                if (cls && ClassName(w) != cls) continue;
                found = w;
                return true;
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> out;
    ::EnumChildWindows(
        parent,
        [](HWND w, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

std::wstring TextW(HWND w) {
    int n = ::GetWindowTextLengthW(w);
    std::wstring s(std::size_t(n) + 1, L'\0');
    n = ::GetWindowTextW(w, s.data(), n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

RECT WindowRectOf(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    return r;
}

RECT RectInParent(HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    HWND parent = ::GetParent(child);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "(%ld,%ld %ldx%ld)", long(r.left), long(r.top), long(r.right - r.left),
                  long(r.bottom - r.top));
    return buf;
}

static Box ReadBox(HWND w) {
    Box b;
    b.hwnd = w;
    b.title = TextW(w);
    for (HWND c : Descendants(w)) {
        std::string cls = ClassName(c);
        if (cls == "Static") {
            LONG style = ::GetWindowLongA(c, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON) {
                if (::IsWindowVisible(c) && ::SendMessageA(c, STM_GETICON, 0, 0)) b.hasIcon = true;
            } else {
                std::wstring t = TextW(c);
                if (!t.empty()) b.text = t;
            }
        } else if (cls == "Button") {
            b.buttons.push_back(TextW(c));
        }
    }
    return b;
}

Box WaitForBox(DWORD pid, DWORD timeoutMs) {
    HWND w = WaitForWindow(pid, "#32770", timeoutMs);
    if (!w) return Box{};
    // The text is set right after creation; give it a moment.
    Sleep(100);
    return ReadBox(w);
}

void DismissBox(const Box& b) {
    if (b.hwnd) ::PostMessageA(b.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::vector<Box> DismissAllBoxes(DWORD pid) {
    std::vector<Box> out;
    for (HWND w : TopWindows(pid)) {
        if (ClassName(w) == "#32770" && ::IsWindowVisible(w)) {
            out.push_back(ReadBox(w));
            DismissBox(out.back());
        }
    }
    return out;
}

void MoveMouseTo(int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = LONG((x * 65535 + (w - 1) / 2) / (w - 1));
    in.mi.dy = LONG((y * 65535 + (h - 1) / 2) / (h - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof in);
}

void MouseButton(DWORD downFlag, DWORD upFlag) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = downFlag;
    in[1].mi.dwFlags = upFlag;
    ::SendInput(2, in, sizeof(INPUT));
}

void Click(HWND w) {
    RECT r = WindowRectOf(w);
    MoveMouseTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Sleep(50);
    MouseButton(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    Sleep(150);
}

void KeyPress(WORD vk, WORD modifier) {
    std::vector<INPUT> in;
    auto key = [&](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (modifier) key(modifier, false);
    key(vk, false);
    key(vk, true);
    if (modifier) key(modifier, true);
    ::SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

Screenshot CaptureScreen() {
    Screenshot s;
    s.width = ::GetSystemMetrics(SM_CXSCREEN);
    s.height = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.width;
    bi.bmiHeader.biHeight = -s.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* px = static_cast<const std::uint32_t*>(bits);
    s.pixels.assign(px, px + std::size_t(s.width) * s.height);
    for (auto& p : s.pixels) p &= 0x00FFFFFF;
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return s;
}

bool SaveBmp(const Screenshot& s, const std::string& path) {
    int stride = (s.width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = s.width;
    ih.biHeight = s.height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = DWORD(stride * s.height);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::string data(reinterpret_cast<char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<char*>(&ih), sizeof ih);
    std::string row(std::size_t(stride), '\0');
    for (int y = s.height - 1; y >= 0; --y) {
        for (int x = 0; x < s.width; ++x) {
            std::uint32_t p = s.At(x, y);
            row[std::size_t(x) * 3 + 0] = char(p & 0xFF);
            row[std::size_t(x) * 3 + 1] = char((p >> 8) & 0xFF);
            row[std::size_t(x) * 3 + 2] = char((p >> 16) & 0xFF);
        }
        data += row;
    }
    return WriteFile(path, data);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream os;
    os << f.rdbuf();
    return os.str();
}

bool WriteFile(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), std::streamsize(data.size()));
    return bool(f);
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    return WriteFile(path, std::string(data.begin(), data.end()));
}

std::string CopyTo(const std::string& src, const std::string& dir, const std::string& name) {
    ::CreateDirectoryA(dir.c_str(), nullptr);
    std::string dst = dir + "\\" + name;
    if (!::CopyFileA(src.c_str(), dst.c_str(), FALSE)) {
        std::fprintf(stderr, "driver: copy %s -> %s failed (%lu)\n", src.c_str(), dst.c_str(), ::GetLastError());
        return std::string();
    }
    return dst;
}

std::size_t LogSize() { return ReadFile(WinPath(Env("SWFSAVER_STDERR_LOG"))).size(); }

std::string LogSince(std::size_t offset) {
    std::string all = ReadFile(WinPath(Env("SWFSAVER_STDERR_LOG")));
    return offset < all.size() ? all.substr(offset) : std::string();
}

std::vector<std::string> PasswordCalls(const std::string& log) {
    std::vector<std::string> out;
    std::regex re("PwdChangePasswordA \"([^\"]*)\" ([0-9A-Fa-f]+) ([0-9A-Fa-f]+) ([0-9A-Fa-f]+)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), re); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s %llX %llX %llX", m[1].str().c_str(), std::stoull(m[2].str(), nullptr, 16),
                      std::stoull(m[3].str(), nullptr, 16), std::stoull(m[4].str(), nullptr, 16));
        out.push_back(buf);
    }
    return out;
}

void RegDeleteTreeCU(const std::string& path) { ::RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }

bool RegKeyExistsCU(const std::string& path) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    ::RegCloseKey(k);
    return true;
}

bool RegSetCU(const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) {
    HKEY k = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = ::RegSetValueExA(k, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

bool RegSetStringCU(const std::string& path, const std::string& name, const std::string& value) {
    return RegSetCU(path, name, REG_SZ, value.c_str(), DWORD(value.size() + 1));
}

bool RegGetCU(const std::string& path, const std::string& name, DWORD* type, std::string* data) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG rc = ::RegQueryValueExA(k, name.c_str(), nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data->assign(size, '\0');
        rc = ::RegQueryValueExA(k, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
        data->resize(size);
    }
    ::RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

bool SetKeyAccessCU(const std::string& path, DWORD mask) {
    HKEY k = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &k) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    bool ok = false;
    if (::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
        EXPLICIT_ACCESSA ea{};
        ea.grfAccessPermissions = mask;
        ea.grfAccessMode = SET_ACCESS;
        ea.grfInheritance = NO_INHERITANCE;
        ea.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        ea.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        ea.Trustee.ptstrName = static_cast<LPSTR>(everyone);
        PACL acl = nullptr;
        if (::SetEntriesInAclA(1, &ea, nullptr, &acl) == ERROR_SUCCESS) {
            ok = ::SetSecurityInfo(k, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
            ::LocalFree(acl);
        }
        ::FreeSid(everyone);
    }
    ::RegCloseKey(k);
    return ok;
}

std::wstring Utf8ToWide(const std::string& s) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string WideToUtf8(const std::wstring& w) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace drv
