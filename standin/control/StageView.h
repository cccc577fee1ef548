// The control's in-place window. A worker thread keeps the movie's picture
// (StagePicture) in step with the commands the window's thread hands over,
// draws each changed picture into a 32-bit buffer, and the window presents
// the finished buffer with one blit per paint. The window's thread only ever
// waits for the short hand-over of commands and buffers, never for drawing,
// so a slow picture drops frames, not input (the host closes on the first).
#pragma once
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "StagePicture.h"
#include "StageScript.h"

namespace standin {

class StageOwner {
public:
    virtual void OnStageTimer() = 0;

protected:
    ~StageOwner() = default;
};

class StageView {
public:
    // Creates the child window of `parent` at `pos` and its worker, which
    // draws `picture` (owned by the caller, used by the worker while this
    // view lives); throws fw::Error.
    StageView(HWND parent, const RECT& pos, StageOwner& owner, StagePicture& picture, const StageLook& look);
    // Stops the worker; commands it had not taken are run on the picture
    // here, so a later view goes on from the same state.
    ~StageView();
    StageView(const StageView&) = delete;
    StageView& operator=(const StageView&) = delete;

    HWND Window() const { return hwnd_; }
    void Move(const RECT& pos);
    // Hands over the commands the timeline ran. The worker wakes for them only
    // when they change the picture; otherwise they wait for the next wake.
    void Post(const StageScript& script, bool pictureChanged);
    void SetLook(const StageLook& look);
    // Calls the owner's OnStageTimer once after `ms`; a negative value cancels.
    void ScheduleTimer(long long ms);

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT, WPARAM, LPARAM);
    void Paint();
    void WakeLocked();
    void RenderLoop();

    HWND hwnd_ = nullptr;
    StageOwner& owner_;
    StagePicture& picture_;  // the worker's alone while it runs

    std::mutex mu_;
    std::condition_variable cv_;
    bool quit_ = false;
    bool wake_ = false;        // something for the worker to draw
    StageScript pending_;      // commands not yet taken by the worker
    StageLook look_;
    int wantedW_ = 0, wantedH_ = 0;
    std::vector<std::uint32_t> front_;  // the latest finished picture
    int frontW_ = 0, frontH_ = 0;
    std::thread worker_;
};

}  // namespace standin
