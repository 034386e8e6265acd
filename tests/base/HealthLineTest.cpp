#include "base/HealthLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Reports at seconds from the start, a failure with its reason or (null) a success, and the
// lines they print: one per change; a failure within a minute of the last line only once it
// has lasted 10 s, so that close outages get a pair of lines each and flapping folds.
TEST(HealthLineTest, PrintsAPairOfLinesPerOutageAndFoldsFlapping) {
    const char* const ok = nullptr;
    using Reports = std::vector<std::pair<int, const char*>>;
    const std::string up = "kavriWebCam: upload working again after ";
    const std::string down = "kavriWebCam: upload failing: ";
    for (const auto& [reports, expected] :
         std::vector<std::pair<Reports, std::vector<std::string>>>{
             {{{0, ok}, {5, "550 x\r\nkavriWebCam: \x1b[2J"}, {7, "b"}, {300, "c"}},
              {down + "550 x??kavriWebCam: ?[2J"}},
             {{{0, "a"}, {60, "b"}, {125, ok}, {126, ok}, {4000, ok}},
              {down + "a", up + "2 failures in 2 min 5 s"}},
             {{{0, "a"}, {3720, ok}}, {down + "a", up + "1 failure in 1 h 2 min"}},
             {{{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {40, "c"}, {71, "d"}},
              {down + "a", up + "1 failure in 10 s", down + "d (3 changes since the last line)"}},
             {{{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {100, ok}},
              {down + "a", up + "1 failure in 10 s",
               up + "1 failure in 10 s (2 changes since the last line)"}},
             {{{0, "a"}, {5, "b"}, {10, ok}, {40, "c"}, {45, "d"}, {50, "e"}, {55, ok}},
              {down + "a", up + "2 failures in 10 s", down + "e", up + "3 failures in 15 s"}},
             {{{0, "a"}, {61, ok}, {70, "b"}, {100, "c"}, {121, "d"}, {200, ok}},
              {down + "a", up + "1 failure in 1 min 1 s", down + "c",
               up + "3 failures in 2 min 10 s"}}}) {
        const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
        auto now = start;
        std::vector<std::string> lines;
        HealthLine health(
            {"upload", "failing", "working again"}, [&] { return now; },
            [&](const std::string& line) { lines.push_back(line); });
        for (const auto& [atS, failure] : reports) {
            now = start + std::chrono::seconds(atS);
            failure != nullptr ? health.failed(failure) : health.succeeded();
        }
        EXPECT_EQ(lines, expected);
    }
}

} // namespace
