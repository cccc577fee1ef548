#include "PlayerLogic.h"

namespace player {

Placement PlaceMovie(std::int32_t screenWidth, std::int32_t screenHeight, bool expansion,
                     std::optional<std::int32_t> movieWidth, std::optional<std::int32_t> movieHeight) {
    if (expansion || !movieWidth || !movieHeight) return {0, 0, screenWidth, screenHeight};
    // 64-bit differences: a 107374182-pixel movie must not overflow.
    std::int64_t left = (std::int64_t(screenWidth) - *movieWidth) / 2;
    std::int64_t top = (std::int64_t(screenHeight) - *movieHeight) / 2;
    return {std::int32_t(left), std::int32_t(top), *movieWidth, *movieHeight};
}

MoveResult ApplyMouseMove(MoveState& s, std::int32_t x, std::int32_t y) {
    if (s.ignoreMoveCount > 0) {
        --s.ignoreMoveCount;
        return MoveResult::Ignored;
    }
    if (s.lastX == -1 && s.lastY == -1) {
        s.lastX = x;
        s.lastY = y;
        return MoveResult::Recorded;
    }
    std::int64_t dx = std::int64_t(x) - s.lastX, dy = std::int64_t(y) - s.lastY;
    if (dx < 0) dx = -dx;
    if (dy < 0) dy = -dy;
    if (dx > 2 && dy > 2) {
        s.lastX = x;
        s.lastY = y;
        return MoveResult::EndSaver;
    }
    return MoveResult::Unchanged;
}

FilterResult FilterMessage(unsigned message, bool movieStarted, std::int32_t& ignoreMoveCount) {
    if (message == kWmRButtonDown) return FilterResult::SwallowAndEnd;
    if (message == kWmMouseMove && movieStarted) {
        if (ignoreMoveCount > 0) {
            --ignoreMoveCount;
            return FilterResult::Swallow;
        }
        return FilterResult::SwallowAndEnd;
    }
    return FilterResult::Pass;
}

bool AtLastFrame(std::int32_t totalFrames, std::int32_t currentFrame) {
    return std::int64_t(totalFrames) - 1 == currentFrame;
}

}  // namespace player
