// Plays a Movie: the root timeline, the display list with nested sprite timelines,
// and drawing of the current frame into a 32-bit buffer. No Windows calls; the
// control owns the window, the timer and the DIB and calls in here.
//
// Typical use by the control:
//   auto movie = swfmovie::LoadMovie(bytes, size, &err, opts);
//   swfmovie::Player player(movie);
//   player.play();
//   every 1/frameRate s:  player.advance();
//   on paint/timer:       if (player.needsRender(vp)) player.render(canvas, vp); present canvas
//
// A Player is not thread-safe: advance, render and the rest must not run at the
// same time (a worker thread that both ticks and draws needs no lock). The Movie
// it plays is immutable and may be shared between players and threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Raster.h"
#include "SwfMovie.h"

namespace swfmovie {

// Draws the text of an edit field that has no embedded font, in a system font
// (the Windows side supplies one; without it such fields show nothing).
class DeviceTextRenderer {
public:
    struct Request {
        std::string text;       // UTF-8, HTML tags removed, lines split by '\n'
        std::string fontName;   // from the field's font definition, or empty
        bool bold = false, italic = false;
        double heightPx = 12;   // font height in canvas pixels
        raster::Rgba color;     // after the colour transform
        uint8_t align = 0;      // 0 left, 1 right, 2 centre, 3 justify
        raster::Matrix matrix;  // field twips -> canvas pixels
        TwipsRect bounds;       // the field, twips
        raster::IRect clip;     // canvas pixels the text may touch
    };
    virtual ~DeviceTextRenderer() = default;
    virtual void draw(const raster::Canvas& canvas, const Request& request) = 0;
};

class Player {
public:
    // Shows frame 0 and plays, as a movie does when loaded; frame 0's actions have
    // run by the time this returns (a stop() there leaves isPlaying() false).
    // A null movie plays as an empty one.
    explicit Player(std::shared_ptr<const Movie> movie);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const Movie& movie() const { return *movie_; }
    uint32_t totalFrames() const;
    uint32_t currentFrame() const;  // 0-based
    bool isPlaying() const;

    void play();
    void stop();
    void rewind();              // frame 0, stopped
    void gotoFrame(uint32_t n);  // clamped to the last frame; keeps playing state
    // One tick at the movie's frame rate: the root moves on one frame and holds at
    // the last frame (stopping there); nested sprites advance on their own timelines,
    // looping, whether or not the root plays. Frame actions (stop, play, goto) run.
    void advance();

    // The colour behind the movie: SetBackgroundColor, or the override when set
    // (the control's BackgroundColor property; 0 is black).
    raster::Rgba backgroundColor() const;
    void setBackgroundOverride(std::optional<raster::Rgba> color);

    // Draws the current frame scaled by "show all" into viewport (pixels of the
    // canvas): aspect kept, centred, the rest of the viewport filled with the
    // background colour; content is clipped to the stage.
    void render(const raster::Canvas& canvas, const raster::IRect& viewport);
    // Whether the picture differs from the last render() into this viewport size.
    // A still frame after a render returns false, so the control draws nothing.
    bool needsRender(const raster::IRect& viewport) const;
    // Used for edit fields without an embedded font; not owned, may be null.
    void setDeviceTextRenderer(DeviceTextRenderer* renderer);

    // A flag another thread may set to cut a render short (the host is closing):
    // render() then returns soon, leaving the picture unfinished. Not owned; null
    // turns the check off.
    void setAbortFlag(const std::atomic<bool>* flag);

    // Counts display changes (placements, removals, sprite frames); for the host's logs.
    uint64_t displayVersion() const;

    // Where the stage lands in a viewport under "show all" (pixels).
    static raster::Matrix StageToViewport(const TwipsRect& stage, const raster::IRect& viewport);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::shared_ptr<const Movie> movie_;
};

}  // namespace swfmovie
