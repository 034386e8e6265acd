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
    // clang-format off
    for (const auto& [reports, expected] : std::vector<std::pair<Reports, std::vector<std::string>>>{
             {{{0, ok}, {5, "550 x\r\nkavriWebCam: \x1b[2J"}, {7, "b"}, {300, "c"}}, {down + "550 x??kavriWebCam: ?[2J"}},
             {{{0, "a"}, {60, "b"}, {125, ok}, {126, ok}, {4000, ok}}, {down + "a", up + "2 failures in 2 min 5 s"}},
             {{{0, "a"}, {3720, ok}}, {down + "a", up + "1 failure in 1 h 2 min"}},
             {{{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {40, "c"}, {71, "d"}},
              {down + "a", up + "1 failure in 10 s", down + "d (3 changes since the last line)"}},
             {{{0, "a"}, {10, ok}, {20, "b"}, {30, ok}, {100, ok}},
              {down + "a", up + "1 failure in 10 s", up + "1 failure in 10 s (2 changes since the last line)"}},
             {{{0, "a"}, {5, "b"}, {10, ok}, {40, "c"}, {45, "d"}, {50, "e"}, {55, ok}},
              {down + "a", up + "2 failures in 10 s", down + "e", up + "3 failures in 15 s"}},
             {{{0, "a"}, {61, ok}, {70, "b"}, {100, "c"}, {121, "d"}, {200, ok}},
              {down + "a", up + "1 failure in 1 min 1 s", down + "c", up + "3 failures in 2 min 10 s"}}}) {
        // clang-format on
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

// The journal hears of each change at once, also within the quiet minute, and keeps the state.
TEST(HealthLineTest, TellsTheJournalOfEveryChangeAtOnce) {
    HealthJournal journal;
    int told = 0;
    journal.setListener([&] { ++told; });
    HealthLine health(
        {"upload", "failing", "working again"}, [] { return std::chrono::steady_clock::now(); },
        [](const std::string&) {}, &journal);
    health.succeeded();
    health.failed("a\x01");
    health.failed("b");
    health.succeeded();
    health.failed("c");
    std::vector<std::string> texts;
    for (const HealthJournal::Entry& entry : journal.entries(0)) {
        texts.push_back(entry.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"upload failing: a?", "upload working again",
                                               "upload failing: c"}));
    EXPECT_EQ(told, 3);
    EXPECT_EQ(journal.entries(2).size(), 1u);
    const HealthJournal::State upload = journal.state("upload");
    EXPECT_TRUE(upload.failing && upload.reason == "c" && upload.lastWorked);
    EXPECT_FALSE(journal.state("camera").failing || journal.state("camera").lastWorked);
    // Only the newest 500 entries are kept.
    for (int change = 0; change < 600; ++change) {
        change % 2 == 0 ? health.succeeded() : health.failed("d");
    }
    EXPECT_EQ(journal.number(), 603u);
    EXPECT_EQ(journal.entries(0).size(), 500u);
    EXPECT_EQ(journal.entries(602).size(), 1u);
}

} // namespace
