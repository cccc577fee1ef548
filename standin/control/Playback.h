// Frame position of a playing movie, driven by elapsed time rather than by
// counting timer ticks, so late or merged ticks never slow the movie down.
// Pure code: the caller passes the time in microseconds.
#pragma once
#include <cstdint>

namespace standin {

class PlaybackClock {
public:
    // A movie of `totalFrames` at `rate256` frames per 256 seconds (the file's
    // 8.8 fixed-point rate), stopped on frame 0. A rate of 0 stands still.
    void Load(std::uint32_t rate256, int totalFrames) {
        rate256_ = rate256;
        total_ = totalFrames < 0 ? 0 : totalFrames;
        frame_ = 0;
        playing_ = false;
    }
    void Unload() { Load(0, 0); }

    // Starts or resumes from the current frame. On the last frame (or with no
    // frames) there is nothing to play: the movie holds, and looping is the
    // caller's business.
    void Play(std::int64_t nowUs) {
        if (playing_ || frame_ >= LastFrame() || rate256_ == 0) return;
        playing_ = true;
        startUs_ = nowUs;
        startFrame_ = frame_;
    }
    void Stop() { playing_ = false; }
    // First frame, stopped.
    void Rewind() {
        frame_ = 0;
        playing_ = false;
    }

    // Moves to the frame due at `nowUs`; true when the frame changed.
    bool Tick(std::int64_t nowUs) {
        if (!playing_) return false;
        std::int64_t due = startFrame_ + FramesIn(nowUs - startUs_);
        int last = LastFrame();
        if (due >= last) {
            due = last;
            playing_ = false;  // hold on the last frame
        }
        bool changed = due != frame_;
        frame_ = int(due);
        return changed;
    }

    // Microseconds from `nowUs` until the next frame falls due (at least 0);
    // -1 when not playing.
    std::int64_t UntilNextFrame(std::int64_t nowUs) const {
        if (!playing_) return -1;
        std::int64_t elapsed = nowUs - startUs_;
        std::int64_t next = FramesIn(elapsed) + 1;
        // Smallest time t with t * rate256 >= next * 256e6.
        std::int64_t at = (next * kUsPer256s + std::int64_t(rate256_) - 1) / std::int64_t(rate256_);
        return at > elapsed ? at - elapsed : 0;
    }

    int Frame() const { return frame_; }
    int TotalFrames() const { return total_; }
    bool Playing() const { return playing_; }

private:
    static constexpr std::int64_t kUsPer256s = 256LL * 1000000LL;
    int LastFrame() const { return total_ > 0 ? total_ - 1 : 0; }
    std::int64_t FramesIn(std::int64_t us) const {
        if (us <= 0) return 0;
        return us * std::int64_t(rate256_) / kUsPer256s;
    }

    std::uint32_t rate256_ = 0;
    int total_ = 0;
    int frame_ = 0;
    bool playing_ = false;
    std::int64_t startUs_ = 0;
    int startFrame_ = 0;
};

}  // namespace standin
