// The player window's typed wrapper over the hosted stand-in control: the
// calls it makes, in order, with the interface and member ids fetched once,
// and the restart at the last frame the way the idle handler does it.
#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ShockwaveFlash.h"
#include "check.h"
#include "driver.h"
#include "test_standin_support.h"

using namespace standin_test;

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream is(drv::ReadFile(path));
    for (std::string l; std::getline(is, l);) out.push_back(l);
    return out;
}

}  // namespace

TEST_CASE(wrapper_calls_in_order_and_restarts_at_the_last_frame) {
    fw::ScopedOle ole;
    HostWindow host;
    const std::string logPath = drv::WorkDir() + "\\wrapper.log";
    ::DeleteFileA(logPath.c_str());
    ::SetEnvironmentVariableA("SWFSTANDIN_LOG", logPath.c_str());
    const std::string movie = WriteWorkFile("wrapped.swf", Movie('C', 550, 400, 30, 10));
    int restarts = 0, passes = 0, badFrames = 0;
    {
        TShockwaveFlash flash(host.get(), StoredBlock(), Rect(16, 0, 193, 169));
        flash.SetBackgroundColor(0);
        flash.Control().SetBounds(Rect(237, 184, 550, 400));
        flash.SetMovie(Wide(movie));
        flash.Play();
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 1500) {
            drv::Sleep(5);
            ++passes;
            std::int32_t total = flash.TotalFrames();
            std::int32_t current = flash.CurrentFrame();
            if (current < 0 || current >= total) ++badFrames;
            if (total - 1 == current) {
                flash.Rewind();
                flash.Play();
                ++restarts;
            }
        }
    }
    ::SetEnvironmentVariableA("SWFSTANDIN_LOG", nullptr);
    CHECK_EQ(badFrames, 0);
    // Ten frames at 30 fps take a third of a second: several loops in 1.5 s.
    CHECK(restarts >= 2);

    std::vector<std::string> log = ReadLines(logPath);
    const std::vector<std::string> head = {"GetMiscStatus",
                                           "SetClientSite",
                                           "Load ok",
                                           "SetExtent 5106,4471",
                                           "InPlaceActivate 16,0,193,169",
                                           "ScreenSaverRunning=0",
                                           "BackgroundColor=0",
                                           "SetExtent 14552,10583",
                                           "SetObjectRects 237,184,550,400",
                                           "Movie=" + movie,
                                           "GetIDsOfNames Play",
                                           "Play"};
    REQUIRE(log.size() > head.size());
    for (std::size_t i = 0; i < head.size(); ++i) CHECK_EQ_AT(std::to_string(i), log[i], head[i]);
    for (const char* name : {"GetIDsOfNames Play", "GetIDsOfNames Rewind", "GetIDsOfNames CurrentFrame"})
        CHECK_EQ_AT(name, std::count(log.begin(), log.end(), std::string(name)), 1);
    // Every rewind is followed by a play, and there is one of each per restart.
    int rewinds = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] != "Rewind") continue;
        ++rewinds;
        CHECK_EQ_AT(std::to_string(i), i + 1 < log.size() ? log[i + 1] : std::string(), std::string("Play"));
    }
    CHECK_EQ(rewinds, restarts);
    // The reads of all passes are all in the counts.
    long long total = 0, current = 0;
    for (const std::string& l : log) {
        long long t = 0, c = 0;
        if (std::sscanf(l.c_str(), "reads TotalFrames x%lld CurrentFrame x%lld", &t, &c) == 2) {
            total += t;
            current += c;
        }
    }
    CHECK_EQ(total, passes);
    CHECK_EQ(current, passes);
    CHECK_EQ(log.back(), std::string("SetClientSite null"));
}
