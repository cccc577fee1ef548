// Playing a movie on two threads without sharing its player.
//
// The window's thread owns the movie's timeline (MovieTimeline): it answers
// CurrentFrame and TotalFrames at once, runs Play and Rewind and the frame
// ticks, and records each of these as a command. The drawing thread keeps a
// second player of the same movie and runs the same commands on it before it
// draws (StagePicture). A player's state follows from its movie and the
// commands it ran, frame actions included, so both players agree, and the
// window's thread never waits for a picture to be drawn.
// Pure code: the caller passes the time in microseconds.
#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "Playback.h"
#include "SwfMovie.h"
#include "SwfPlayer.h"

namespace standin {

struct StageCommand {
    enum class Op : std::uint8_t {
        Load,     // a new player of `movie` (none when null), stopped on its first frame
        Play,
        Rewind,
        Advance,  // `count` frame ticks
    };
    Op op = Op::Advance;
    std::uint32_t count = 1;
    std::shared_ptr<const swfmovie::Movie> movie;
};

// Runs one command on `player` (replaced by Load).
inline void RunCommand(const StageCommand& c, std::unique_ptr<swfmovie::Player>& player) {
    if (c.op == StageCommand::Op::Load) {
        player.reset();
        if (c.movie) {
            player = std::make_unique<swfmovie::Player>(c.movie);
            // Frame actions of the first frame have run; playing waits for the
            // host's Play, as it does for a movie set through the property.
            player->stop();
        }
        return;
    }
    if (!player) return;
    switch (c.op) {
    case StageCommand::Op::Play: player->play(); break;
    case StageCommand::Op::Rewind: player->rewind(); break;
    case StageCommand::Op::Advance:
        for (std::uint32_t i = 0; i < c.count; ++i) player->advance();
        break;
    case StageCommand::Op::Load: break;
    }
}

// Commands in order, kept short where a later command makes an earlier one
// pointless: a host that restarts a movie on every idle pass, while the
// drawing thread sleeps over a still picture, adds nothing.
class StageScript {
public:
    void Add(StageCommand c) {
        using Op = StageCommand::Op;
        switch (c.op) {
        case Op::Load:
            // A new player: nothing before it matters.
            cmds_.clear();
            break;
        case Op::Play:
            if (!cmds_.empty() && cmds_.back().op == Op::Play) return;
            break;
        case Op::Rewind:
            // Rewind stops and goes to the first frame whatever the play state
            // was, and a second Rewind finds the first frame already there.
            while (!cmds_.empty() && (cmds_.back().op == Op::Play || cmds_.back().op == Op::Rewind)) cmds_.pop_back();
            break;
        case Op::Advance:
            if (c.count == 0) return;
            if (!cmds_.empty() && cmds_.back().op == Op::Advance) {
                StageCommand& last = cmds_.back();
                if (last.count <= std::numeric_limits<std::uint32_t>::max() - c.count) {
                    last.count += c.count;
                    return;
                }
            }
            break;
        }
        cmds_.push_back(std::move(c));
    }
    void Append(const StageScript& later) {
        for (const StageCommand& c : later.cmds_) Add(c);
    }
    void RunOn(std::unique_ptr<swfmovie::Player>& player) const {
        for (const StageCommand& c : cmds_) RunCommand(c, player);
    }
    const std::vector<StageCommand>& Commands() const { return cmds_; }
    bool Empty() const { return cmds_.empty(); }

private:
    std::vector<StageCommand> cmds_;
};

// The window thread's side: the timeline the host sees.
class MovieTimeline {
public:
    // Starts a movie (none when null) stopped on its first frame.
    void Load(std::shared_ptr<const swfmovie::Movie> movie, std::int64_t nowUs) {
        ticker_.SetRate(movie ? movie->info.frameRate : 0);
        ticker_.Restart(nowUs);
        animatedSprites_ = movie && HasAnimatedSprites(*movie);
        StageCommand c;
        c.op = StageCommand::Op::Load;
        c.movie = std::move(movie);
        Run(std::move(c));
        loaded_ = true;
    }

    bool HasMovie() const { return player_ != nullptr; }
    bool Playing() const { return player_ && player_->isPlaying(); }
    std::uint64_t DisplayVersion() const { return player_ ? player_->displayVersion() : 0; }
    int TotalFrames() const { return player_ ? int(player_->totalFrames()) : 0; }
    int CurrentFrame() const { return player_ ? int(player_->currentFrame()) : 0; }

    // Runs the frame ticks that fell due by `nowUs`.
    void Sync(std::int64_t nowUs) {
        if (!Ticking()) {
            ticker_.Restart(nowUs);
            return;
        }
        for (std::int64_t n = ticker_.TakeDue(nowUs); n > 0; --n) {
            Run(StageCommand{});
            if (!Ticking()) {
                ticker_.Restart(nowUs);
                break;
            }
        }
    }

    void Play(std::int64_t nowUs) {
        Sync(nowUs);
        bool wasTicking = Ticking();
        StageCommand c;
        c.op = StageCommand::Op::Play;
        Run(std::move(c));
        // A movie that stood still starts its first frame a whole period on.
        if (!wasTicking) ticker_.Restart(nowUs);
    }

    void Rewind(std::int64_t nowUs) {
        Sync(nowUs);
        StageCommand c;
        c.op = StageCommand::Op::Rewind;
        Run(std::move(c));
    }

    // Microseconds until time alone changes the timeline; -1 when it will
    // not (no movie, stopped or held with nothing inside it moving).
    std::int64_t UntilNextTick(std::int64_t nowUs) const { return Ticking() ? ticker_.UntilNext(nowUs) : -1; }

    // The commands run since the last call, for the drawing thread's player;
    // `pictureChanged` tells whether they change what is shown.
    StageScript TakeScript(bool* pictureChanged) {
        std::uint64_t version = player_ ? player_->displayVersion() : 0;
        if (pictureChanged) *pictureChanged = loaded_ || version != shownVersion_;
        loaded_ = false;
        shownVersion_ = version;
        return std::exchange(script_, StageScript{});
    }

private:
    static bool HasAnimatedSprites(const swfmovie::Movie& m) {
        for (const auto& kv : m.dictionary) {
            const swfmovie::Character& ch = kv.second;
            if (ch.kind == swfmovie::Character::Kind::Sprite && ch.as<swfmovie::Sprite>() &&
                ch.as<swfmovie::Sprite>()->timeline.frames.size() > 1)
                return true;
        }
        return false;
    }

    // Whether a frame tick can change anything: the main timeline plays
    // towards its last frame, or some sprite may run its own timeline.
    bool Ticking() const {
        if (!player_ || ticker_.Rate() == 0) return false;
        if (animatedSprites_) return true;
        return player_->isPlaying() && player_->currentFrame() + 1 < player_->totalFrames();
    }

    void Run(StageCommand c) {
        RunCommand(c, player_);
        script_.Add(std::move(c));
    }

    std::unique_ptr<swfmovie::Player> player_;
    FrameTicker ticker_;
    bool animatedSprites_ = false;
    StageScript script_;
    bool loaded_ = false;
    std::uint64_t shownVersion_ = 0;
};

}  // namespace standin
