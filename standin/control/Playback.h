// The frame clock of a movie: how many frame ticks fell due, counted from
// elapsed time rather than from timer messages, so late or merged timer
// messages never slow the movie down. Pure code: the caller passes the time
// in microseconds.
#pragma once
#include <algorithm>
#include <cstdint>

namespace standin {

class FrameTicker {
public:
    // `rate256` frames per 256 seconds (the file's 8.8 fixed-point rate); a
    // rate of 0 stands still.
    void SetRate(std::uint32_t rate256) { rate256_ = rate256; }
    std::uint32_t Rate() const { return rate256_; }

    // Counts from `nowUs`: the first tick falls due one period later.
    void Restart(std::int64_t nowUs) {
        startUs_ = nowUs;
        taken_ = 0;
    }

    // The ticks that fell due since the last call or Restart. After a stall
    // of more than a second's worth of ticks the clock starts afresh and only
    // that second's worth is handed out, so one very late pass (a suspended
    // machine) never runs a long burst of frames.
    std::int64_t TakeDue(std::int64_t nowUs) {
        if (rate256_ == 0) return 0;
        std::int64_t due = TicksIn(nowUs - startUs_) - taken_;
        if (due <= 0) return 0;
        const std::int64_t cap = std::max<std::int64_t>(1, std::int64_t(rate256_) / 256);
        if (due > cap) {
            Restart(nowUs);
            return cap;
        }
        taken_ += due;
        return due;
    }

    // Microseconds from `nowUs` until the next tick falls due (at least 0);
    // -1 when the clock stands still.
    std::int64_t UntilNext(std::int64_t nowUs) const {
        if (rate256_ == 0) return -1;
        std::int64_t elapsed = nowUs - startUs_;
        std::int64_t next = std::max(TicksIn(elapsed), taken_) + 1;
        // Smallest time t with t * rate256 >= next * 256e6.
        std::int64_t at = (next * kUsPer256s + std::int64_t(rate256_) - 1) / std::int64_t(rate256_);
        return at > elapsed ? at - elapsed : 0;
    }

private:
    static constexpr std::int64_t kUsPer256s = 256LL * 1000000LL;
    std::int64_t TicksIn(std::int64_t us) const {
        if (us <= 0) return 0;
        return us * std::int64_t(rate256_) / kUsPer256s;
    }

    std::uint32_t rate256_ = 0;
    std::int64_t startUs_ = 0;
    std::int64_t taken_ = 0;
};

}  // namespace standin
