// Test driver for the Windows-side tests: starts the programs under test with
// bounded waits, finds and reads their windows, sends input, dismisses modal
// boxes, and kills whatever it started when a test ends.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace drv {

// Environment set by the harness.
std::string Env(const char* name);
// Unix path -> Windows path on drive Z:.
std::string WinPath(const std::string& unixPath);
// The per-test work folder (Windows path, ends without a backslash).
std::string WorkDir();
// The x86_64 saver under test (Windows path).
std::string SaverExe();

// Polls `cond` every 20 ms until it holds or `timeoutMs` passes.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs);
// Pumps this thread's messages for `ms` milliseconds.
void Sleep(DWORD ms);

// A process started by a test. The destructor kills it if it still runs, so a
// failing test leaves nothing of its own behind.
class Process {
public:
    Process() = default;
    // Starts `exe` with `args` appended to the quoted program name.
    // `env` entries ("NAME=value") are added to this process's environment for the child.
    static Process Start(const std::string& exe, const std::string& args,
                         const std::vector<std::string>& env = {});
    ~Process();
    Process(Process&& o) noexcept;
    Process& operator=(Process&& o) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return h_; }
    bool Running() const;
    // Waits for the end; false on timeout.
    bool Wait(DWORD timeoutMs);
    DWORD ExitCode() const;
    void Kill();

private:
    HANDLE h_ = nullptr;
    DWORD pid_ = 0;
};

// Top-level windows of a process (visible or not).
std::vector<HWND> TopWindows(DWORD pid);
// First top-level window of `pid` with class `cls` (nullptr: any) and, when
// `visibleOnly`, visible; waits up to timeoutMs. Null when none appears.
HWND WaitForWindow(DWORD pid, const char* cls, DWORD timeoutMs, bool visibleOnly = true);
// Child windows (all descendants) of `parent`.
std::vector<HWND> Descendants(HWND parent);
std::string ClassName(HWND w);
std::wstring TextW(HWND w);
RECT WindowRectOf(HWND w);
// Client rectangle of a child in its parent's client coordinates.
RECT RectInParent(HWND child);
std::string Describe(const RECT& r);

// A message box (class #32770) of `pid`: its title and its static text.
struct Box {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    bool hasIcon = false;
    std::vector<std::wstring> buttons;
};
// Waits for a box of `pid`; hwnd is null on timeout.
Box WaitForBox(DWORD pid, DWORD timeoutMs);
// Closes a box with OK (posted WM_COMMAND IDOK).
void DismissBox(const Box& b);
// Dismisses every box of `pid` present now; returns them.
std::vector<Box> DismissAllBoxes(DWORD pid);

// Input through SendInput (reaches the Xvfb display).
void MoveMouseTo(int x, int y);
void MouseButton(DWORD downFlag, DWORD upFlag);
// Moves to the middle of a window and clicks it with the left button, then lets it react.
void Click(HWND w);
// A key press and release, with `modifier` (VK_MENU, VK_SHIFT ...) held when not 0.
void KeyPress(WORD vk, WORD modifier = 0);

// The whole screen as 0x00RRGGBB pixels, read back from the display.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};
Screenshot CaptureScreen();
// Saves as a 24-bit BMP (a test artifact).
bool SaveBmp(const Screenshot& s, const std::string& path);

// Files.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& data);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data);
// Copies the saver (or any file) to `dir\name`; returns the new path.
std::string CopyTo(const std::string& src, const std::string& dir, const std::string& name);

// The stderr log that the harness tees Wine's trace into; Tail(offset) reads what
// came after `offset` (use LogSize() before an action).
std::size_t LogSize();
std::string LogSince(std::size_t offset);

// Calls of the password routine in a piece of that log, as Wine's mpr trace
// prints them: "SCRSAVE 4D2 0 0" (key, parent window and the two reserved
// arguments, numbers in hex without leading zeros).
std::vector<std::string> PasswordCalls(const std::string& log);

// Registry under HKEY_CURRENT_USER.
void RegDeleteTreeCU(const std::string& path);
bool RegKeyExistsCU(const std::string& path);
bool RegSetCU(const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size);
bool RegSetStringCU(const std::string& path, const std::string& name, const std::string& value);
// Value data and type; false when missing.
bool RegGetCU(const std::string& path, const std::string& name, DWORD* type, std::string* data);

// Replaces a key's access list with one entry for everyone (e.g. KEY_READ to
// make writes and full-access opens fail, KEY_ALL_ACCESS to restore).
bool SetKeyAccessCU(const std::string& path, DWORD mask);

// UTF-16 <-> text helpers.
std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& w);

}  // namespace drv
