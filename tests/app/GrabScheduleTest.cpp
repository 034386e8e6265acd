#include "app/GrabSchedule.h"

#include "res/Icons.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One row: the interval setting and, tick by tick, the icons the tray is to show (an empty
// list is a tick that changes nothing): running, blinking, grabbing.
constexpr int run = runningIconId, blink = blinkIconId, grab = grabbingIconId;

struct TickRow {
    unsigned update;
    std::vector<std::vector<int>> icons;
};

class TickSequenceTest : public testing::TestWithParam<TickRow> {};

TEST_P(TickSequenceTest, TheTrayFollowsTheCountdownAndGrabsAtZero) {
    GrabSchedule schedule([](bool) { return true; });
    ASSERT_TRUE(schedule.start(GrabSchedule::intervalFor(GetParam().update)));
    const auto& icons = GetParam().icons;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t tick = 0; tick < icons.size(); ++tick) {
            const GrabSchedule::Tick next = schedule.tick();
            EXPECT_EQ(next.icon ? std::vector{*next.icon} : std::vector<int>{}, icons[tick])
                << "round " << round << ", tick " << tick;
            EXPECT_EQ(next.grab, tick + 1 == icons.size()) << "round " << round;
        }
    }
}

// An interval of 0 is taken as 1 second instead of never grabbing.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Intervals, TickSequenceTest, testing::Values(
    TickRow{0, {{run}, {grab}}}, TickRow{2, {{run}, {blink}, {run}, {grab}}},
    TickRow{5, {{run}, {}, {}, {blink}, {run}, {blink}, {run}, {blink}, {run}, {grab}}}));
// clang-format on

} // namespace
