#include "platform/HealthLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One report at a time in seconds from the start: a failure with its reason, or a success
// (no reason).
struct Report {
    int atS;
    const char* failure;
};

struct Sequence {
    const char* name;
    std::vector<Report> reports;
    std::vector<std::string> lines;
};

class HealthLineTest : public testing::TestWithParam<Sequence> {};

TEST_P(HealthLineTest, PrintsOneLinePerChangeAtMostOneAMinute) {
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    auto now = start;
    std::vector<std::string> lines;
    HealthLine health(
        {"upload", "failing", "working again"}, [&] { return now; },
        [&](const std::string& line) { lines.push_back(line); });
    for (const Report& report : GetParam().reports) {
        now = start + std::chrono::seconds(report.atS);
        if (report.failure != nullptr) {
            health.failed(report.failure);
        } else {
            health.succeeded();
        }
    }
    EXPECT_THAT(lines, testing::ElementsAreArray(GetParam().lines));
}

const char* const ok = nullptr;

INSTANTIATE_TEST_SUITE_P(
    Sequences, HealthLineTest,
    testing::Values(Sequence{"FirstFailurePrintsItsReasonOnOneLineAndRepeatsPrintNothing",
                             {{0, ok}, {5, "550 x\r\nkavriWebCam: \x1b[2J"}, {7, "b"}, {300, "c"}},
                             {"kavriWebCam: upload failing: 550 x??kavriWebCam: ?[2J"}},
                    Sequence{"RecoveryTellsHowManyFailuresAndHowLong",
                             {{0, "a"}, {60, "b"}, {125, ok}, {126, ok}, {4000, ok}},
                             {"kavriWebCam: upload failing: a",
                              "kavriWebCam: upload working again after 2 failures in 2 min 5 s"}},
                    Sequence{"OneFailureAfterAnHourSpeaksOfOneFailure",
                             {{0, "a"}, {3720, ok}},
                             {"kavriWebCam: upload failing: a",
                              "kavriWebCam: upload working again after 1 failure in 1 h 2 min"}},
                    Sequence{"RecoveryIsToldAtOnceAndLaterFlappingIsSummedUpAfterAMinute",
                             {{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {40, "c"}, {71, "d"}},
                             {"kavriWebCam: upload failing: a",
                              "kavriWebCam: upload working again after 1 failure in 10 s",
                              "kavriWebCam: upload failing: d (3 changes since the last line)"}},
                    Sequence{"FlappingBackToWhatTheLastLineSaidPrintsNothing",
                             {{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {100, ok}},
                             {"kavriWebCam: upload failing: a",
                              "kavriWebCam: upload working again after 1 failure in 10 s"}},
                    Sequence{"AFailureSoonAfterARecoveryWaitsForTheMinute",
                             {{0, "a"}, {61, ok}, {70, "b"}, {100, "c"}, {121, "d"}, {200, ok}},
                             {"kavriWebCam: upload failing: a",
                              "kavriWebCam: upload working again after 1 failure in 1 min 1 s",
                              "kavriWebCam: upload failing: d",
                              "kavriWebCam: upload working again after 3 failures in 2 min 10 s"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
