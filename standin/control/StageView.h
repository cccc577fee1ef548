// The control's in-place window. Pictures are drawn into a 32-bit buffer on a
// worker thread and presented with one StretchDIBits per paint, so drawing
// never holds up the window's messages (the host closes on the first input).
#pragma once
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "Stage.h"

namespace standin {

class StageOwner {
public:
    virtual void OnStageTimer() = 0;

protected:
    ~StageOwner() = default;
};

class StageView {
public:
    // Creates the child window of `parent` at `pos`; throws fw::Error.
    StageView(HWND parent, const RECT& pos, StageOwner& owner, const PlaceholderFrame& first);
    ~StageView();
    StageView(const StageView&) = delete;
    StageView& operator=(const StageView&) = delete;

    HWND Window() const { return hwnd_; }
    void Move(const RECT& pos);
    // Draws `f` next; the window repaints once the picture is ready.
    void Present(const PlaceholderFrame& f);
    // Calls the owner's OnStageTimer once after `ms`; a negative value cancels.
    void ScheduleTimer(long long ms);

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT, WPARAM, LPARAM);
    void Paint();
    void RequestLocked();
    void RenderLoop();

    HWND hwnd_ = nullptr;
    StageOwner& owner_;

    std::mutex mu_;
    std::condition_variable cv_;
    bool quit_ = false;
    bool pending_ = false;     // a request waits for the worker
    PlaceholderFrame wanted_;  // what to draw next
    int wantedW_ = 0, wantedH_ = 0;
    std::vector<std::uint32_t> front_;  // the latest finished picture
    int frontW_ = 0, frontH_ = 0;
    std::thread worker_;
};

}  // namespace standin
