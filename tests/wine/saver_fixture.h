// Shared setup of the player-window tests: settings, movies, the running
// saver and its windows, the stand-in control's call log.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "SwfWriter.h"
#include "check.h"
#include "driver.h"

namespace saver {

const char kOptions[] = "Software\\qrnsoftware\\swfsaver\\OPTION";
const DWORD kTimeout = 20000;

inline void SetOptions(const std::string& file, const char* expansion) {
    drv::RegDeleteTreeCU("Software\\qrnsoftware\\swfsaver");
    drv::RegSetStringCU(kOptions, "FileName", file);
    drv::RegSetStringCU(kOptions, "Expansion", expansion);
}

// A movie whose whole stage is one solid colour, so it shows on a screenshot.
inline std::string WriteMovie(const std::string& name, int w, int h, int frames, double fps = 30,
                              swfgen::Color color = swfgen::Color{200, 40, 40, 255}) {
    swfgen::MovieWriter m(w, h, fps, 8);
    swfgen::ShapeBuilder s;
    uint16_t fill = s.addSolid(color);
    s.rect(0, 0, w * 20, h * 20, fill);
    m.defineShape(1, s, 3);
    swfgen::Place p;
    p.id = 1;
    p.depth = 1;
    m.place(p);
    for (int i = 0; i < frames; ++i) m.showFrame();
    std::string path = drv::WorkDir() + "\\" + name;
    drv::WriteFile(path, m.finish(false));
    return path;
}

struct Running {
    drv::Process process;
    HWND form = nullptr;
    std::string log;
};

// Starts the saver with `args`, its control logging to a fresh file.
inline Running Start(const std::string& args, const std::string& logName = "calls.log") {
    Running r;
    r.log = drv::WorkDir() + "\\" + logName;
    ::DeleteFileA(r.log.c_str());
    r.process = drv::Process::Start(drv::SaverExe(), args, {"SWFSTANDIN_LOG=" + r.log});
    r.form = drv::WaitForWindow(r.process.Pid(), "TForm1", kTimeout);
    return r;
}

inline HWND Panel(HWND form) {
    for (HWND c : drv::Descendants(form))
        if (drv::ClassName(c) == "TPanel") return c;
    return nullptr;
}

// The movie control's window: the panel's child.
inline HWND ControlWindow(HWND form) {
    HWND panel = Panel(form);
    if (!panel) return nullptr;
    for (HWND c : drv::Descendants(panel))
        if (::GetParent(c) == panel) return c;
    return nullptr;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

// The calls that change the control, in order (reads and site traffic left out).
inline std::vector<std::string> Calls(const std::string& logPath) {
    std::vector<std::string> out;
    for (const std::string& l : Lines(drv::ReadFile(logPath)))
        if (l.rfind("BackgroundColor=", 0) == 0 || l.rfind("Movie=", 0) == 0 || l == "Play" || l == "Rewind")
            out.push_back(l);
    return out;
}

inline bool Black(std::uint32_t px) { return (px & 0xFFFFFF) == 0; }

}  // namespace saver
