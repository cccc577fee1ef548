// Timelines and display lists.
#include "SwfPlayer.h"
#include "SwfPlayerImpl.h"

#include <algorithm>

namespace swfmovie {

size_t Player::Impl::countInstances(const TimelineState& ts) const {
    size_t n = 0;
    for (const auto& kv : ts.list) {
        ++n;
        if (kv.second.sprite) n += countInstances(*kv.second.sprite);
    }
    return n;
}

void Player::Impl::clear(TimelineState& ts) {
    size_t n = countInstances(ts);
    instances -= std::min(instances, n);
    if (!ts.list.empty()) ++version;
    ts.list.clear();
}

void Player::Impl::initSprite(Instance& inst, int nesting) {
    inst.sprite.reset();
    if (!inst.character || inst.character->kind != Character::Kind::Sprite) return;
    inst.sprite = std::make_unique<TimelineState>();
    inst.sprite->nesting = nesting;
    // Past the nesting limit a sprite stays empty: that ends cycles of sprites
    // placing themselves.
    if (nesting > kMaxNesting) return;
    inst.sprite->timeline = &inst.character->as<Sprite>()->timeline;
    inst.sprite->playing = true;
    if (inst.sprite->frames() > 0) gotoFrame(*inst.sprite, 0, 0);
}

void Player::Impl::place(TimelineState& ts, const PlaceCommand& c) {
    if (c.kind == PlaceCommand::Kind::Remove) {
        auto it = ts.list.find(c.depth);
        if (it != ts.list.end()) {
            size_t n = 1 + (it->second.sprite ? countInstances(*it->second.sprite) : 0);
            instances -= std::min(instances, n);
            ts.list.erase(it);
            ++version;
        }
        return;
    }
    auto it = ts.list.find(c.depth);
    Instance* inst = nullptr;
    bool fresh = false;
    if (c.move) {
        if (it == ts.list.end()) {
            if (!c.characterId) return;
            fresh = true;
        } else {
            inst = &it->second;
            if (c.characterId && *c.characterId != inst->characterId) {
                // Swap the character, keep the placement.
                const Character* ch = movie->find(*c.characterId);
                if (ch) {
                    size_t n = inst->sprite ? countInstances(*inst->sprite) : 0;
                    instances -= std::min(instances, n);
                    inst->characterId = *c.characterId;
                    inst->character = ch;
                    inst->bornTick = tick;
                    initSprite(*inst, ts.nesting + 1);
                }
            }
        }
    } else {
        if (!c.characterId) return;
        if (it != ts.list.end()) {
            size_t n = 1 + (it->second.sprite ? countInstances(*it->second.sprite) : 0);
            instances -= std::min(instances, n);
            ts.list.erase(it);
        }
        fresh = true;
    }
    if (fresh) {
        const Character* ch = movie->find(*c.characterId);
        if (!ch || instances >= kMaxInstances) return;
        Instance& n = ts.list[c.depth];
        n.depth = c.depth;
        n.characterId = *c.characterId;
        n.character = ch;
        n.bornTick = tick;
        ++instances;
        inst = &n;
    }
    if (c.matrix) inst->matrix = *c.matrix;
    if (c.cxform) inst->cxform = *c.cxform;
    if (c.ratio) inst->ratio = *c.ratio;
    if (c.clipDepth) inst->clipDepth = *c.clipDepth;
    if (c.blend) inst->blend = *c.blend;
    if (c.visible) inst->visible = *c.visible;
    if (!c.name.empty()) inst->name = c.name;
    ++version;
    if (fresh) initSprite(*inst, ts.nesting + 1);
}

namespace {

// What a depth holds after some frames, without instances: used to work out the
// display list of an earlier frame.
struct Placement {
    uint16_t characterId = 0;
    raster::Matrix matrix;
    raster::ColorTransform cxform;
    uint16_t ratio = 0, clipDepth = 0;
    raster::BlendMode blend = raster::BlendMode::Normal;
    bool visible = true;
    std::string name;
};

// Applies a command to placements the way Player::Impl::place applies it to instances.
void Replay(std::map<uint16_t, Placement>& list, const PlaceCommand& c, const Movie& movie) {
    if (c.kind == PlaceCommand::Kind::Remove) {
        list.erase(c.depth);
        return;
    }
    auto it = list.find(c.depth);
    Placement* p = nullptr;
    if (c.move && it != list.end()) {
        p = &it->second;
        if (c.characterId && movie.find(*c.characterId)) p->characterId = *c.characterId;
    } else {
        if (!c.characterId || !movie.find(*c.characterId)) {
            if (!c.move) list.erase(c.depth);
            return;
        }
        Placement fresh;
        fresh.characterId = *c.characterId;
        p = &(list[c.depth] = fresh);
    }
    if (c.matrix) p->matrix = *c.matrix;
    if (c.cxform) p->cxform = *c.cxform;
    if (c.ratio) p->ratio = *c.ratio;
    if (c.clipDepth) p->clipDepth = *c.clipDepth;
    if (c.blend) p->blend = *c.blend;
    if (c.visible) p->visible = *c.visible;
    if (!c.name.empty()) p->name = c.name;
}

bool SameMatrix(const raster::Matrix& a, const raster::Matrix& b) {
    return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.tx == b.tx && a.ty == b.ty;
}

bool SameCx(const raster::ColorTransform& a, const raster::ColorTransform& b) {
    return a.rm == b.rm && a.gm == b.gm && a.bm == b.bm && a.am == b.am && a.ra == b.ra && a.ga == b.ga &&
           a.ba == b.ba && a.aa == b.aa;
}

}  // namespace

// Going back: the list of frame n is worked out from the first frame; objects that
// hold the same character at the same depth there stay (nested timelines go on, as
// when the movie loops), the rest are removed or placed afresh.
void Player::Impl::rewindTo(TimelineState& ts, uint32_t n) {
    std::map<uint16_t, Placement> want;
    for (uint32_t f = 0; f <= n; ++f)
        for (const PlaceCommand& c : ts.timeline->frames[f].commands) Replay(want, c, *movie);
    for (auto it = ts.list.begin(); it != ts.list.end();) {
        auto w = want.find(it->first);
        if (w == want.end() || w->second.characterId != it->second.characterId) {
            size_t k = 1 + (it->second.sprite ? countInstances(*it->second.sprite) : 0);
            instances -= std::min(instances, k);
            it = ts.list.erase(it);
            ++version;
        } else {
            ++it;
        }
    }
    for (const auto& [depth, p] : want) {
        auto it = ts.list.find(depth);
        if (it != ts.list.end()) {
            Instance& inst = it->second;
            if (SameMatrix(inst.matrix, p.matrix) && SameCx(inst.cxform, p.cxform) && inst.ratio == p.ratio &&
                inst.clipDepth == p.clipDepth && inst.blend == p.blend && inst.visible == p.visible)
                continue;
        }
        PlaceCommand c;
        c.depth = depth;
        c.move = it != ts.list.end();
        if (!c.move) c.characterId = p.characterId;
        c.matrix = p.matrix;
        c.cxform = p.cxform;
        c.ratio = p.ratio;
        c.clipDepth = p.clipDepth;
        c.blend = p.blend;
        c.visible = p.visible;
        c.name = p.name;
        place(ts, c);
    }
}

void Player::Impl::applyFrame(TimelineState& ts, uint32_t f) {
    for (const PlaceCommand& c : ts.timeline->frames[f].commands) place(ts, c);
}

void Player::Impl::gotoFrame(TimelineState& ts, uint32_t n, int actionDepth) {
    if (ts.frames() == 0) return;
    n = std::min(n, ts.frames() - 1);
    if (n == ts.frame) return;
    moveTo(ts, n);
    runActions(ts, n, actionDepth);
}

void Player::Impl::moveTo(TimelineState& ts, uint32_t n) {
    uint32_t total = ts.frames();
    if (total == 0) return;
    n = std::min(n, total - 1);
    if (n == ts.frame) return;
    if (ts.frame == UINT32_MAX) {
        clear(ts);
        for (uint32_t f = 0; f <= n; ++f) applyFrame(ts, f);
    } else if (n < ts.frame) {
        rewindTo(ts, n);
    } else {
        for (uint32_t f = ts.frame + 1; f <= n; ++f) applyFrame(ts, f);
    }
    ts.frame = n;  // the picture changes only through the list, counted there
}

void Player::Impl::perform(TimelineState& ts, const Action& a) {
    switch (a.op) {
        case Action::Op::Stop: ts.playing = false; break;
        case Action::Op::Play: ts.playing = true; break;
        case Action::Op::NextFrame:
            ts.playing = false;
            if (ts.frame + 1 < ts.frames()) moveTo(ts, ts.frame + 1);
            break;
        case Action::Op::PrevFrame:
            ts.playing = false;
            if (ts.frame > 0 && ts.frame != UINT32_MAX) moveTo(ts, ts.frame - 1);
            break;
        case Action::Op::GotoFrame:
        case Action::Op::GotoLabel: {
            std::optional<uint32_t> target;
            if (a.op == Action::Op::GotoFrame) target = a.frame;
            else target = ts.timeline->findLabel(a.label);
            if (!target) break;
            if (a.playState >= 0) ts.playing = a.playState == 1;
            moveTo(ts, *target);
            break;
        }
    }
}

void Player::Impl::runActions(TimelineState& ts, uint32_t f, int actionDepth) {
    // A frame whose actions jump to a frame whose actions jump... ends here.
    if (actionDepth > 8) return;
    // The frame's actions all run; a jump among them moves the timeline at once,
    // and the actions of the frame it lands on run after them.
    const Frame& frame = ts.timeline->frames[f];
    const uint32_t start = ts.frame;
    for (const auto& block : frame.actions) {
        for (const Action& a : block) {
            // The movie's own timeline is moved once the tick is over: moving it
            // now could remove the sprite whose actions these are.
            if (a.target == Action::Target::Root && &ts != &root) {
                if (rootQueue.size() < 256) rootQueue.push_back(a);
                continue;
            }
            perform(ts, a);
        }
    }
    if (ts.frame != start) runActions(ts, ts.frame, actionDepth + 1);
}

void Player::Impl::drainRootQueue() {
    // Rounds bound actions that keep asking for more.
    for (int round = 0; round < 8 && !rootQueue.empty(); ++round) {
        std::vector<Action> q;
        q.swap(rootQueue);
        for (const Action& a : q) {
            if (root.frames() == 0) break;
            uint32_t start = root.frame;
            perform(root, a);
            if (root.frame != start) runActions(root, root.frame, 1);
        }
    }
    rootQueue.clear();
}

void Player::Impl::tickTimeline(TimelineState& ts, bool isRoot) {
    if (ts.playing && ts.frames() > 1) {
        if (ts.frame + 1 < ts.frames()) {
            gotoFrame(ts, ts.frame + 1, 0);
        } else if (isRoot) {
            ts.playing = false;  // the host loops the movie itself
        } else {
            gotoFrame(ts, 0, 0);
        }
    } else if (isRoot && ts.playing && ts.frames() <= 1) {
        ts.playing = false;
    }
    for (auto& kv : ts.list) {
        Instance& inst = kv.second;
        // An instance placed in this tick shows its first frame until the next one.
        if (inst.sprite && inst.bornTick != tick) tickTimeline(*inst.sprite, false);
    }
}

Player::Player(std::shared_ptr<const Movie> movie) : impl_(new Impl), movie_(std::move(movie)) {
    if (!movie_) movie_ = std::make_shared<Movie>();
    impl_->movie = movie_.get();
    impl_->root.timeline = &movie_->timeline;
    impl_->root.playing = true;
    if (impl_->root.frames() > 0) impl_->gotoFrame(impl_->root, 0, 0);
    impl_->drainRootQueue();
}

Player::~Player() = default;

uint32_t Player::totalFrames() const { return impl_->root.frames(); }
uint32_t Player::currentFrame() const { return impl_->root.frame == UINT32_MAX ? 0 : impl_->root.frame; }
bool Player::isPlaying() const { return impl_->root.playing; }
void Player::play() { impl_->root.playing = true; }
void Player::stop() { impl_->root.playing = false; }

void Player::rewind() {
    impl_->root.playing = false;
    gotoFrame(0);
    impl_->root.playing = false;
}

void Player::gotoFrame(uint32_t n) {
    if (totalFrames() == 0) return;
    bool playing = impl_->root.playing;
    impl_->gotoFrame(impl_->root, n, 0);
    impl_->drainRootQueue();
    // The host's goto keeps its own play state rather than the frame's actions'.
    impl_->root.playing = playing;
}

void Player::advance() {
    ++impl_->tick;
    impl_->tickTimeline(impl_->root, true);
    impl_->drainRootQueue();
}

raster::Rgba Player::backgroundColor() const {
    return impl_->bgOverride ? *impl_->bgOverride : movie_->background;
}

void Player::setBackgroundOverride(std::optional<raster::Rgba> color) { impl_->bgOverride = color; }

bool Player::needsRender(const raster::IRect& vp) const {
    raster::Rgba bg = backgroundColor();
    return impl_->redrawWanted || impl_->renderedVersion != impl_->version || impl_->renderedW != vp.x1 - vp.x0 ||
           impl_->renderedH != vp.y1 - vp.y0 || !(impl_->renderedBg == bg);
}

void Player::setDeviceTextRenderer(DeviceTextRenderer* renderer) {
    // The picture changes (device text appears or goes) though the display list
    // does not: the next needsRender says so without counting a display change.
    if (renderer != impl_->deviceText) impl_->redrawWanted = true;
    impl_->deviceText = renderer;
}

void Player::setAbortFlag(const std::atomic<bool>* flag) { impl_->abort = flag; }

uint64_t Player::displayVersion() const { return impl_->version; }

void Player::render(const raster::Canvas& canvas, const raster::IRect& viewport) {
    impl_->render(canvas, viewport);
    // A cut-short picture is not the frame: the next call draws it again.
    if (impl_->abort && impl_->abort->load(std::memory_order_relaxed)) return;
    impl_->renderedVersion = impl_->version;
    impl_->redrawWanted = false;
    impl_->renderedW = viewport.x1 - viewport.x0;
    impl_->renderedH = viewport.y1 - viewport.y0;
    impl_->renderedBg = backgroundColor();
}

raster::Matrix Player::StageToViewport(const TwipsRect& stage, const raster::IRect& vp) {
    double sw = stage.width() / 20.0, sh = stage.height() / 20.0;
    double vw = vp.x1 - vp.x0, vh = vp.y1 - vp.y0;
    if (sw <= 0 || sh <= 0 || vw <= 0 || vh <= 0) return raster::Matrix{0, 0, 0, 0, double(vp.x0), double(vp.y0)};
    double s = std::min(vw / sw, vh / sh);
    double ox = vp.x0 + (vw - sw * s) / 2, oy = vp.y0 + (vh - sh * s) / 2;
    double k = s / 20.0;
    return raster::Matrix{k, 0, 0, k, ox - stage.xmin * k, oy - stage.ymin * k};
}

}  // namespace swfmovie
