// The drawing thread's side of a playing movie: its own player of the movie,
// kept in step by the commands the window's thread ran (StageScript.h), and
// the picture of the control's window drawn from it into a 32-bit top-down
// buffer, the layout of a 32-bit DIB.
//
// The movie's stage is placed by the scale mode; the bars beside it take the
// control's background colour (the movie's own until one is set), the stage
// itself the movie's background. A picture that would come out the same as
// the last one is not drawn again. Pure code.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "Raster.h"
#include "Stage.h"
#include "StageScript.h"
#include "SwfPlayer.h"

namespace standin {

// The control's settings that shape the picture.
struct StageLook {
    std::optional<std::uint32_t> background;  // 0xRRGGBB; none: the movie's own
    ScaleMode scale = ScaleMode::ShowAll;
};

inline bool operator==(const StageLook& a, const StageLook& b) {
    return a.background == b.background && a.scale == b.scale;
}

// The stage of `frame` (twips) in a window of w x h pixels, in whole pixels;
// it may reach past the window (NoBorder, NoScale). The renderer keeps the
// movie's aspect, so ExactFit shows it all.
inline raster::IRect StageViewport(ScaleMode mode, int w, int h, const swfmovie::TwipsRect& frame) {
    long long tw = (long long)frame.xmax - frame.xmin, th = (long long)frame.ymax - frame.ymin;
    if (w <= 0 || h <= 0) return {};
    if (tw <= 0 || th <= 0 || tw > 0x7FFFFFFF || th > 0x7FFFFFFF) return {0, 0, w, h};
    StageRect r;
    if (mode == ScaleMode::NoScale)
        r = FitMovie(mode, w, h, int(std::max(1LL, (tw + 10) / 20)), int(std::max(1LL, (th + 10) / 20)));
    else
        r = FitMovie(mode == ScaleMode::ExactFit ? ScaleMode::ShowAll : mode, w, h, int(tw), int(th));
    if (r.w <= 0 || r.h <= 0) return {0, 0, w, h};
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

class StagePicture {
public:
    // Runs what the window's thread ran since the last script.
    void Run(const StageScript& script) {
        script.RunOn(player_);
        if (player_) {
            player_->setAbortFlag(&abort_);
            player_->setDeviceTextRenderer(text_);
        }
    }

    // Draws edit fields without a font of their own; not owned, may be null.
    void SetTextRenderer(swfmovie::DeviceTextRenderer* text) {
        text_ = text;
        if (player_) player_->setDeviceTextRenderer(text_);
    }

    // Draws the picture into `canvas` (the whole of it) unless the last
    // picture drawn is the same; true when it drew.
    bool Draw(const raster::Canvas& canvas, const StageLook& look) {
        if (!canvas.pixels || canvas.width <= 0 || canvas.height <= 0) return false;
        Drawn now;
        now.w = canvas.width;
        now.h = canvas.height;
        now.look = look;
        now.movie = player_ != nullptr;
        raster::Rgba bg{0, 0, 0, 255};
        if (look.background) {
            std::uint32_t c = *look.background;
            bg = raster::Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255};
        } else if (player_) {
            bg = player_->movie().background;
        }
        const std::uint32_t barPixel = raster::PackBgrx(bg.r, bg.g, bg.b);
        if (!player_) {
            if (last_ && *last_ == now) return false;
            raster::FillRect(canvas, raster::IRect{0, 0, canvas.width, canvas.height}, barPixel);
            last_ = now;
            return true;
        }
        // A colour set by the host replaces the movie's background on the
        // stage too, as the real control does (the saver sets black).
        player_->setBackgroundOverride(look.background ? std::optional<raster::Rgba>(bg) : std::nullopt);
        now.stage = StageViewport(look.scale, canvas.width, canvas.height, player_->movie().info.frameRect);
        if (last_ && *last_ == now && !player_->needsRender(now.stage)) return false;
        FillBars(canvas, now.stage, barPixel);
        player_->render(canvas, now.stage);
        if (abort_.load(std::memory_order_relaxed)) {
            last_.reset();  // unfinished: not a picture to show or to compare with
            return false;
        }
        last_ = now;
        return true;
    }

    // The next Draw draws whatever the last one drew (a new buffer to fill).
    void Invalidate() { last_.reset(); }

    // From any thread: cuts a picture being drawn short (its window is
    // closing), and Draw draws nothing until Resume.
    void Abort() { abort_.store(true, std::memory_order_relaxed); }
    void Resume() { abort_.store(false, std::memory_order_relaxed); }

    const swfmovie::Player* Player() const { return player_.get(); }

private:
    struct Drawn {
        int w = 0, h = 0;
        StageLook look;
        raster::IRect stage;
        bool movie = false;  // a new movie's player asks for its first picture itself
        bool operator==(const Drawn& o) const {
            return w == o.w && h == o.h && look == o.look && stage.x0 == o.stage.x0 && stage.y0 == o.stage.y0 &&
                   stage.x1 == o.stage.x1 && stage.y1 == o.stage.y1 && movie == o.movie;
        }
    };

    // The window outside the stage.
    static void FillBars(const raster::Canvas& c, const raster::IRect& s, std::uint32_t pixel) {
        const int x0 = std::clamp(s.x0, 0, c.width), x1 = std::clamp(s.x1, 0, c.width);
        const int y0 = std::clamp(s.y0, 0, c.height), y1 = std::clamp(s.y1, 0, c.height);
        raster::FillRect(c, raster::IRect{0, 0, c.width, y0}, pixel);
        raster::FillRect(c, raster::IRect{0, y1, c.width, c.height}, pixel);
        raster::FillRect(c, raster::IRect{0, y0, x0, y1}, pixel);
        raster::FillRect(c, raster::IRect{x1, y0, c.width, y1}, pixel);
    }

    std::unique_ptr<swfmovie::Player> player_;
    std::optional<Drawn> last_;
    std::atomic<bool> abort_{false};
    swfmovie::DeviceTextRenderer* text_ = nullptr;
};

}  // namespace standin
