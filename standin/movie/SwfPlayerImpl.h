// Internal state of the Player: display lists and timelines, shared by the
// timeline code (SwfPlayer.cpp) and the drawing code (SwfRender.cpp).
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "Raster.h"
#include "SwfMovie.h"
#include "SwfPlayer.h"

namespace swfmovie {

// Hostile movies place sprites inside themselves; these bound the tree.
constexpr int kMaxNesting = 24;
constexpr size_t kMaxInstances = 20000;

struct TimelineState;

struct Instance {
    uint16_t depth = 0;
    uint16_t characterId = 0;
    const Character* character = nullptr;
    raster::Matrix matrix;
    raster::ColorTransform cxform;
    uint16_t ratio = 0;
    uint16_t clipDepth = 0;
    raster::BlendMode blend = raster::BlendMode::Normal;
    bool visible = true;
    std::string name;
    uint64_t bornTick = 0;
    std::unique_ptr<TimelineState> sprite;  // for sprite characters
};

struct TimelineState {
    const Timeline* timeline = nullptr;
    uint32_t frame = UINT32_MAX;  // nothing applied yet
    bool playing = true;
    int nesting = 0;
    std::map<uint16_t, Instance> list;  // by depth, drawn in order
    uint32_t frames() const { return timeline ? uint32_t(timeline->frames.size()) : 0; }
};

struct Player::Impl {
    const Movie* movie = nullptr;
    TimelineState root;
    uint64_t version = 1;
    uint64_t tick = 0;
    size_t instances = 0;
    std::optional<raster::Rgba> bgOverride;

    // What the last render drew, so a still frame is not drawn again.
    uint64_t renderedVersion = 0;
    bool redrawWanted = false;  // a drawing setting changed since the last render
    int renderedW = -1, renderedH = -1;
    raster::Rgba renderedBg{0, 0, 0, 0};

    // Drawing resources kept between frames.
    raster::Rasterizer rasterizer;
    std::vector<std::vector<uint8_t>> maskPool;
    std::vector<std::vector<uint32_t>> layerPool;
    std::vector<uint32_t> edgeBuffer;  // see raster::Composite
    std::vector<raster::EdgeSpan> edgeSpans;
    // Halved copies of bitmaps drawn much smaller than they are, made when first needed.
    std::map<const raster::Bitmap*, std::vector<std::unique_ptr<raster::Bitmap>>> mips;
    DeviceTextRenderer* deviceText = nullptr;
    const std::atomic<bool>* abort = nullptr;

    // Moves to frame n and runs its actions.
    void gotoFrame(TimelineState& ts, uint32_t n, int actionDepth);
    // Moves to frame n: the display list only.
    void moveTo(TimelineState& ts, uint32_t n);
    void applyFrame(TimelineState& ts, uint32_t f);
    void rewindTo(TimelineState& ts, uint32_t n);
    void place(TimelineState& ts, const PlaceCommand& c);
    void initSprite(Instance& inst, int nesting);
    void runActions(TimelineState& ts, uint32_t f, int actionDepth);
    void perform(TimelineState& ts, const Action& a);
    void drainRootQueue();
    std::vector<Action> rootQueue;  // actions of sprites aimed at the movie's timeline
    void tickTimeline(TimelineState& ts, bool isRoot);
    void clear(TimelineState& ts);
    size_t countInstances(const TimelineState& ts) const;

    void render(const raster::Canvas& canvas, const raster::IRect& viewport);
};

}  // namespace swfmovie
