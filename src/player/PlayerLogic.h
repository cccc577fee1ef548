// The player window's rules that need no window: where the movie control
// goes, and how mouse moves and messages decide that the user is back.
#pragma once
#include <cstdint>
#include <optional>

namespace player {

struct Placement {
    std::int32_t left, top, width, height;
};

// The control's place inside the screen-sized panel: the whole screen when
// `expansion` is set or the movie's size is unknown; otherwise the movie's
// own size, centred (signed division truncating toward zero, so a movie
// larger than the screen gets a negative left or top).
Placement PlaceMovie(std::int32_t screenWidth, std::int32_t screenHeight, bool expansion,
                     std::optional<std::int32_t> movieWidth, std::optional<std::int32_t> movieHeight);

// Mouse moves that reach the form or panel handlers (no movie started).
enum class MoveResult { Ignored, Recorded, Unchanged, EndSaver };
struct MoveState {
    std::int32_t ignoreMoveCount;
    std::int32_t lastX;  // -1, -1: no point recorded
    std::int32_t lastY;
};
MoveResult ApplyMouseMove(MoveState& state, std::int32_t x, std::int32_t y);

// What the application-wide message filter does with a message taken from
// the queue.
enum class FilterResult { Pass, Swallow, SwallowAndEnd };
constexpr unsigned kWmMouseMove = 0x0200;
constexpr unsigned kWmRButtonDown = 0x0204;
FilterResult FilterMessage(unsigned message, bool movieStarted, std::int32_t& ignoreMoveCount);

// Whether the movie stands on its last frame (so the idle pass restarts it).
bool AtLastFrame(std::int32_t totalFrames, std::int32_t currentFrame);

}  // namespace player
