#include "PlayerLogic.h"
#include "check.h"

#include <string>

using namespace player;

TEST_CASE(placement_table) {
    struct Row { const char* name; int sw, sh; bool exp; std::optional<int> w, h; Placement want; };
    const Row rows[] = {
        {"550x400 centred on 1024x768", 1024, 768, false, 550, 400, {237, 184, 550, 400}},
        {"larger than the screen", 800, 600, false, 1001, 700, {-100, -50, 1001, 700}},
        {"odd difference truncates toward zero", 800, 600, false, 803, 601, {-1, 0, 803, 601}},
        {"expansion fills the screen", 1024, 768, true, 550, 400, {0, 0, 1024, 768}},
        {"unknown size fills the screen", 1024, 768, false, std::nullopt, std::nullopt, {0, 0, 1024, 768}},
        {"zero size sits at the centre", 1024, 768, false, 0, 0, {512, 384, 0, 0}},
        {"largest header size", 1024, 768, false, 107374182, 107374182, {-53686579, -53686707, 107374182, 107374182}},
    };
    for (const Row& r : rows) {
        Placement p = PlaceMovie(r.sw, r.sh, r.exp, r.w, r.h);
        CHECK_EQ_AT(r.name, p.left, r.want.left);
        CHECK_EQ_AT(r.name, p.top, r.want.top);
        CHECK_EQ_AT(r.name, p.width, r.want.width);
        CHECK_EQ_AT(r.name, p.height, r.want.height);
    }
}

TEST_CASE(move_rule_without_movie_sequences) {
    // Each row: a sequence of moves and the result of the last one.
    struct Row { const char* name; std::vector<std::pair<int, int>> moves; MoveResult last; };
    std::vector<std::pair<int, int>> five(5, {100, 100});
    auto with = [&](std::vector<std::pair<int, int>> tail) {
        auto v = five;
        v.insert(v.end(), tail.begin(), tail.end());
        return v;
    };
    const Row rows[] = {
        {"fifth move ignored", five, MoveResult::Ignored},
        {"sixth records", with({{10, 10}}), MoveResult::Recorded},
        {"diagonal 3 px ends", with({{10, 10}, {13, 13}}), MoveResult::EndSaver},
        {"diagonal 2 px does not", with({{10, 10}, {12, 12}}), MoveResult::Unchanged},
        {"horizontal never ends", with({{10, 10}, {500, 10}}), MoveResult::Unchanged},
        {"vertical never ends", with({{10, 10}, {10, 500}}), MoveResult::Unchanged},
        {"small moves add up", with({{10, 10}, {12, 11}, {13, 13}}), MoveResult::EndSaver},
        {"negative direction", with({{10, 10}, {7, 7}}), MoveResult::EndSaver},
    };
    for (const Row& r : rows) {
        MoveState s{5, -1, -1};
        MoveResult res = MoveResult::Unchanged;
        for (auto [x, y] : r.moves) res = ApplyMouseMove(s, x, y);
        CHECK_EQ_AT(r.name, int(res), int(r.last));
    }
    // The point is kept until a move ends the saver, and then moved there.
    MoveState s{0, -1, -1};
    ApplyMouseMove(s, 10, 10);
    ApplyMouseMove(s, 12, 40);
    CHECK_EQ(s.lastX, 10);
    CHECK_EQ(ApplyMouseMove(s, 20, 20), MoveResult::EndSaver);
    CHECK_EQ(s.lastX, 20);
    CHECK_EQ(s.lastY, 20);
}

TEST_CASE(message_filter) {
    std::int32_t count = 5;
    // Without a movie, moves pass to the handlers and the count is untouched.
    CHECK_EQ(FilterMessage(kWmMouseMove, false, count), FilterResult::Pass);
    CHECK_EQ(count, 5);
    // A right-button press ends at once, movie or not, count untouched.
    CHECK_EQ(FilterMessage(kWmRButtonDown, false, count), FilterResult::SwallowAndEnd);
    CHECK_EQ(FilterMessage(kWmRButtonDown, true, count), FilterResult::SwallowAndEnd);
    CHECK_EQ(count, 5);
    // With a movie: five swallowed, the sixth ends.
    for (int i = 0; i < 5; ++i) CHECK_EQ(FilterMessage(kWmMouseMove, true, count), FilterResult::Swallow);
    CHECK_EQ(count, 0);
    CHECK_EQ(FilterMessage(kWmMouseMove, true, count), FilterResult::SwallowAndEnd);
    // Other messages (left button, keys) pass.
    CHECK_EQ(FilterMessage(0x0201, true, count), FilterResult::Pass);
    CHECK_EQ(FilterMessage(0x0100, true, count), FilterResult::Pass);
}

TEST_CASE(last_frame_test) {
    CHECK(AtLastFrame(10, 9));
    CHECK(!AtLastFrame(10, 8));
    CHECK(AtLastFrame(1, 0));             // one-frame movie: every pass
    CHECK(!AtLastFrame(0, 0));
    CHECK(AtLastFrame(0, -1));
    CHECK(!AtLastFrame(INT32_MIN, INT32_MAX));  // no overflow
}
