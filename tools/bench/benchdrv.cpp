// benchdrv: the timing side of scripts/bench.sh, run under Wine beside the
// programs it measures. Prints one "name value" line per sample; the script
// gathers them over runs.
//
//   benchdrv baseline <runs> <exe>
//       process start -> end of a program that opens a window and exits
//   benchdrv startup <runs> <log> <exe> [args]
//       process start -> the first Play in the control's call log, and
//       process start -> the saver's window visible
//   benchdrv close <runs> <mouse|key> <log|-> <exe> [args]
//       the input that ends the program -> the end of its process
//   benchdrv play <seconds> <fps> <log|-> <exe> [args]
//       while a movie plays: CPU time per second, control calls per idle pass
//       and per frame (from the call log); without a log, the CPU time of a
//       program that shows a window
//
// The control's call log (env SWFSTANDIN_LOG) is the only view into the
// saver; every wait is bounded and every process started here is ended here.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const DWORD kStartTimeoutMs = 30000;
const DWORD kEndTimeoutMs = 20000;
const UINT kMsgClose = WM_USER + 2;  // the saver's private close message

double NowMs() {
    static const double freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / freq;
}

// Processes started here and still running: a failure ends them before
// leaving (exit() runs no destructors of locals).
std::vector<HANDLE> g_children;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "benchdrv: %s\n", what.c_str());
    for (HANDLE h : g_children) {
        ::TerminateProcess(h, 9);
        ::WaitForSingleObject(h, 5000);
    }
    std::exit(1);
}

// A fresh log for each run: a stale Play must not count.
void RemoveLog(const std::string& log) {
    if (!::DeleteFileA(log.c_str()) && ::GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES)
        Fail("cannot remove " + log);
}

std::string EnvVar(const char* name) {
    char buf[4096];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string ReadAll(const std::string& path) {
    HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    ::CloseHandle(f);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

bool HasLine(const std::string& text, const std::string& line) {
    for (const std::string& l : Lines(text))
        if (l == line) return true;
    return false;
}

// The calls of the host's teardown: the saver has begun to close.
bool IsTeardown(const std::string& l) {
    return l == "Hide" || l == "InPlaceDeactivate" || l == "Close" || l == "SetClientSite null";
}

class Child {
public:
    Child(const std::string& exe, const std::string& args, const std::string& log) {
        ::SetEnvironmentVariableA("SWFSTANDIN_LOG", log.empty() ? nullptr : log.c_str());
        std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        exe_ = exe;
        started_ = NowMs();
        if (!::CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            Fail("cannot start " + exe + " (error " + std::to_string(::GetLastError()) + ")");
        ::CloseHandle(pi.hThread);
        h_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        g_children.push_back(h_);
    }
    ~Child() {
        if (Running()) {
            ::TerminateProcess(h_, 9);
            ::WaitForSingleObject(h_, 5000);
        }
        g_children.erase(std::find(g_children.begin(), g_children.end(), h_));
        ::CloseHandle(h_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    double Started() const { return started_; }
    bool Running() const { return ::WaitForSingleObject(h_, 0) == WAIT_TIMEOUT; }
    // Waits for the end; the time it ended, or a negative number on timeout.
    double WaitEnd(DWORD timeoutMs) {
        if (::WaitForSingleObject(h_, timeoutMs) != WAIT_OBJECT_0) return -1;
        return NowMs();
    }
    // The first top-level window of this process with class `cls` (any when
    // null), visible ones only unless `hiddenToo`.
    HWND Window(const char* cls, bool hiddenToo = false) const {
        struct Ctx { DWORD pid; const char* cls; bool hidden; HWND found; } ctx{pid_, cls, hiddenToo, nullptr};
        ::EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(lp);
                DWORD p = 0;
                ::GetWindowThreadProcessId(w, &p);
                char name[64] = {};
                ::GetClassNameA(w, name, sizeof name);
                if (p == c->pid && (c->hidden || ::IsWindowVisible(w)) && (!c->cls || std::strcmp(name, c->cls) == 0)) {
                    c->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&ctx));
        return ctx.found;
    }
    // Its top-level windows as "class (visible|hidden)", for messages.
    std::string Describe() const {
        struct Ctx { DWORD pid; std::string out; } ctx{pid_, {}};
        ::EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(lp);
                DWORD p = 0;
                ::GetWindowThreadProcessId(w, &p);
                char name[64] = {};
                ::GetClassNameA(w, name, sizeof name);
                if (p == c->pid)
                    c->out += std::string(c->out.empty() ? "" : ", ") + name +
                              (::IsWindowVisible(w) ? " (visible)" : " (hidden)");
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&ctx));
        return ctx.out.empty() ? "none" : ctx.out;
    }

    // CPU time (user + system, every thread) used so far, in ms, or a
    // negative number when it cannot be read. Wine answers GetProcessTimes
    // for another process with zeros, so this reads the Linux process's
    // /proc entry through drive Z:.
    double CpuMs() {
        if (unixPid_.empty()) unixPid_ = FindUnixPid();
        if (unixPid_.empty()) return -1;
        std::string stat = ReadAll("Z:\\proc\\" + unixPid_ + "\\stat");
        // Fields after the command name, which is in parentheses and may hold spaces.
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos) return -1;
        std::istringstream in(stat.substr(close + 1));
        std::string field;
        double ticks = 0;
        // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
        for (int i = 1; i <= 13 && in >> field; ++i)
            if (i >= 12) ticks += std::atof(field.c_str());
        if (!in) return -1;
        return ticks * 10.0;  // USER_HZ is 100 on Linux
    }
    // Asks the saver to close (its private message) and waits for the end.
    // The control gets Play before the window is shown: the hidden window
    // takes the message as well.
    bool Close() {
        double until = NowMs() + kStartTimeoutMs;
        HWND w = nullptr;
        while (!(w = Window("TForm1", true)) && Running() && NowMs() < until) ::Sleep(5);
        if (w) ::PostMessageA(w, kMsgClose, 0, 0);
        return WaitEnd(kEndTimeoutMs) >= 0;
    }

private:
    // The Linux process of this child: Wine gives it the Windows command line
    // as its own and our WINEPREFIX. Only one program of ours runs at a
    // time in the prefix, so a second match is an error.
    std::string FindUnixPid() const {
        std::string prefix = "WINEPREFIX=" + EnvVar("WINEPREFIX");
        WIN32_FIND_DATAA fd;
        HANDLE find = ::FindFirstFileA("Z:\\proc\\*", &fd);
        if (find == INVALID_HANDLE_VALUE) return {};
        std::vector<std::string> found;
        do {
            std::string name = fd.cFileName;
            if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
            std::string cmd = ReadAll("Z:\\proc\\" + name + "\\cmdline");
            if (cmd.compare(0, exe_.size() + 1, exe_ + '\0') != 0) continue;
            std::string env = '\0' + ReadAll("Z:\\proc\\" + name + "\\environ");
            if (env.find('\0' + prefix + '\0') != std::string::npos) found.push_back(name);
        } while (::FindNextFileA(find, &fd));
        ::FindClose(find);
        if (found.size() > 1) Fail("more than one process runs " + exe_);
        return found.empty() ? std::string() : found[0];
    }

    HANDLE h_ = nullptr;
    DWORD pid_ = 0;
    double started_ = 0;
    std::string exe_;
    std::string unixPid_;
};

// Polls the log every millisecond for a line; the time it was seen or a negative number.
double WaitForLogLine(const std::string& log, const std::string& line, const Child& c, DWORD timeoutMs) {
    double until = NowMs() + timeoutMs;
    std::size_t seen = 0;
    while (NowMs() < until) {
        std::string text = ReadAll(log);
        if (text.size() != seen) {
            seen = text.size();
            if (HasLine(text, line)) return NowMs();
        }
        if (!c.Running()) return -1;
        ::Sleep(1);
    }
    return -1;
}

void Pump(DWORD ms) {
    double until = NowMs() + ms;
    while (NowMs() < until) {
        MSG m;
        while (::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&m);
        ::Sleep(5);
    }
}

void MoveMouseTo(int x, int y) {
    int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = LONG((x * 65535 + (w - 1) / 2) / (w - 1));
    in.mi.dy = LONG((y * 65535 + (h - 1) / 2) / (h - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof in);
}

void KeyPress(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, in, sizeof in[0]);
}

void Print(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
    std::fflush(stdout);
}

std::string Join(int argc, char** argv, int from) {
    std::string s;
    for (int i = from; i < argc; ++i) s += (s.empty() ? "" : " ") + std::string(argv[i]);
    return s;
}

// The visible window of the program (the saver's form when `cls` says so);
// the time it was seen, or a negative number.
double WaitForWindow(const Child& c, const char* cls) {
    double until = NowMs() + kStartTimeoutMs;
    while (NowMs() < until) {
        if (c.Window(cls)) return NowMs();
        if (!c.Running()) return -1;
        ::Sleep(1);
    }
    return -1;
}

// Until the movie plays (with a log) and the program's window shows.
void WaitReady(Child& c, const std::string& log) {
    if (!log.empty() && WaitForLogLine(log, "Play", c, kStartTimeoutMs) < 0) Fail("no Play in " + log);
    if (WaitForWindow(c, log.empty() ? nullptr : "TForm1") < 0)
        Fail("no window appeared; the program's windows: " + c.Describe());
}

// One run of the closing measurement: input until the program starts to close,
// then the time from that input to the end of its process.
double CloseOnce(const std::string& exe, const std::string& args, const std::string& log, bool mouse) {
    if (!log.empty()) RemoveLog(log);
    Child c(exe, args, log);
    WaitReady(c, log);
    // Room for the window to appear and for the moves that follow its
    // appearance to be consumed.
    Pump(1500);
    // The saver's full-screen form, not its hidden application window.
    HWND w = c.Window(log.empty() ? nullptr : "TForm1");
    if (!w) Fail("the program's window is not visible; its windows: " + c.Describe());
    // No window manager gives the new window the focus: ask for it, so that
    // keys reach it.
    {
        double until = NowMs() + 2000;
        while (::GetForegroundWindow() != w && NowMs() < until) {
            ::SetForegroundWindow(w);
            Pump(20);
        }
    }
    const int kMaxInputs = 20;
    for (int i = 0; i < kMaxInputs; ++i) {
        double t0 = NowMs();
        if (mouse) MoveMouseTo(100 + 37 * i, 80 + 29 * i);
        else KeyPress(VK_SPACE);
        // The input counted when the process ends or the control is torn down
        // soon after it; otherwise it was one of those ignored.
        double until = t0 + 700;
        while (NowMs() < until) {
            double end = c.WaitEnd(5);
            if (end >= 0) return end - t0;
            if (!log.empty()) {
                for (const std::string& l : Lines(ReadAll(log)))
                    if (IsTeardown(l)) {
                        end = c.WaitEnd(kEndTimeoutMs);
                        if (end < 0) Fail("closing did not finish");
                        return end - t0;
                    }
            }
        }
    }
    // Where the input went, for the message.
    HWND fg = ::GetForegroundWindow();
    char cls[64] = {};
    ::GetClassNameA(fg, cls, sizeof cls);
    DWORD fgPid = 0;
    ::GetWindowThreadProcessId(fg, &fgPid);
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    char focusCls[64] = {};
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &gti) && gti.hwndFocus)
        ::GetClassNameA(gti.hwndFocus, focusCls, sizeof focusCls);
    std::string where = std::string(" (foreground: ") + cls + (fg == w ? ", the program's window" : "") +
                        "; focus in its thread: " + (focusCls[0] ? focusCls : "none") + ")";
    c.Close();
    Fail(std::string("no ") + (mouse ? "mouse move" : "key") + " ended the program" + where);
}

// Counts of the control calls in the call log between the first Play and the
// teardown: "reads TotalFrames xN CurrentFrame xM" lines stand for N + M calls.
struct CallCounts {
    long long calls = 0;
    long long totalFramesReads = 0;
};

CallCounts CountCalls(const std::string& text) {
    CallCounts out;
    bool playing = false;
    for (const std::string& l : Lines(text)) {
        if (!playing) {
            playing = l == "Play";
            continue;
        }
        if (IsTeardown(l)) break;
        long long tf = 0, cf = 0;
        if (std::sscanf(l.c_str(), "reads TotalFrames x%lld CurrentFrame x%lld", &tf, &cf) == 2) {
            out.calls += tf + cf;
            out.totalFramesReads += tf;
        } else if (!l.empty()) {
            ++out.calls;
        }
    }
    return out;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: benchdrv baseline <runs> <exe>\n"
                 "       benchdrv startup <runs> <log> <exe> [args]\n"
                 "       benchdrv close <runs> <mouse|key> <log|-> <exe> [args]\n"
                 "       benchdrv play <seconds> <fps> <log|-> <exe> [args]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    std::string cmd = argv[1];
    if (cmd == "baseline") {
        int runs = std::atoi(argv[2]);
        for (int i = 0; i < runs; ++i) {
            Child c(argv[3], Join(argc, argv, 4), "");
            double end = c.WaitEnd(kStartTimeoutMs);
            if (end < 0) Fail("baseline did not end");
            Print("startup_ms", end - c.Started());
        }
        return 0;
    }
    if (cmd == "startup" && argc >= 5) {
        int runs = std::atoi(argv[2]);
        std::string log = argv[3];
        for (int i = 0; i < runs; ++i) {
            RemoveLog(log);
            Child c(argv[4], Join(argc, argv, 5), log);
            double play = WaitForLogLine(log, "Play", c, kStartTimeoutMs);
            if (play < 0) Fail("no Play in " + log);
            Print("startup_ms", play - c.Started());
            // Play comes before the form is shown: how long the screen waits for it.
            double shown = WaitForWindow(c, "TForm1");
            if (shown < 0) Fail("the saver's window did not show; its windows: " + c.Describe());
            Print("visible_ms", shown - c.Started());
            if (!c.Close()) Fail("the saver did not close");
        }
        return 0;
    }
    if (cmd == "close" && argc >= 6) {
        int runs = std::atoi(argv[2]);
        std::string how = argv[3], log = argv[4];
        if (how != "mouse" && how != "key") return Usage();
        if (log == "-") log.clear();
        for (int i = 0; i < runs; ++i)
            Print(how == "mouse" ? "close_mouse_ms" : "close_key_ms",
                  CloseOnce(argv[5], Join(argc, argv, 6), log, how == "mouse"));
        return 0;
    }
    if (cmd == "play" && argc >= 6) {
        double seconds = std::atof(argv[2]), fps = std::atof(argv[3]);
        std::string log = argv[4];
        if (!(seconds > 0) || !(fps > 0)) return Usage();
        if (log == "-") log.clear();
        if (!log.empty()) RemoveLog(log);
        Child c(argv[5], Join(argc, argv, 6), log);
        WaitReady(c, log);
        double t0 = NowMs();
        double cpu0 = c.CpuMs();
        ::Sleep(DWORD(seconds * 1000));
        double cpu1 = c.CpuMs();
        double t1 = NowMs();
        if (cpu0 < 0 || cpu1 < 0) Fail("cannot read the CPU time of the program's Linux process");
        double secs = (t1 - t0) / 1000.0;
        Print("cpu_ms_per_s", (cpu1 - cpu0) / secs);
        // Without a log the program is the baseline window: it is simply ended.
        if (log.empty()) return 0;
        if (!c.Close()) Fail("the saver did not close");
        CallCounts n = CountCalls(ReadAll(log));
        Print("idle_passes_per_s", double(n.totalFramesReads) / secs);
        // Each idle pass reads TotalFrames once; that read counts the passes.
        Print("calls_per_idle_pass", n.totalFramesReads ? double(n.calls) / double(n.totalFramesReads) : 0.0);
        Print("calls_per_frame", double(n.calls) / (secs * fps));
        return 0;
    }
    return Usage();
}
