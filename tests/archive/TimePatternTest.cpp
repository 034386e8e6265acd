#include "base/TimePattern.h"

#include "tests/support/LocalTime.h"

#include <gtest/gtest.h>

namespace {

// A pattern, whether it is usable, its root, and a name with the moment it stands for
// (2026-12-07 at the hour, minute and second given; nothing for a name it did not make).
struct PatternCase {
    const char* name;
    const char* pattern;
    bool usable;
    const char* root;
    const char* file;
    std::optional<int> hhmmss;
};

class TimePatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(TimePatternTest, MakesAndRecognisesItsNames) {
    const PatternCase& row = GetParam();
    const TimePattern pattern(row.pattern);
    EXPECT_EQ(pattern.usable(), row.usable);
    EXPECT_EQ(pattern.root(), row.root);
    std::optional<std::time_t> expected;
    if (row.hhmmss) {
        expected =
            localTime(2026, 12, 7, *row.hhmmss / 10000, *row.hhmmss / 100 % 100, *row.hhmmss % 100);
        EXPECT_EQ(pattern.withSuffix(pattern.expand(*expected), 0), pattern.expand(*expected));
    }
    EXPECT_EQ(pattern.match(row.file), expected);
}

const char* const usual = "archive/%Y-%m-%d/%H%M%S.jpg";

// clang-format off
INSTANTIATE_TEST_SUITE_P(, TimePatternTest, testing::Values(
    PatternCase{"Default", usual, true, "archive", "archive/2026-12-07/013005.jpg", 13005},
    PatternCase{"Suffixed", usual, true, "archive", "archive/2026-12-07/013005-12.jpg", 13005},
    PatternCase{"SuffixFromZeroIsNotOurs", usual, true, "archive", "archive/2026-12-07/013005-0.jpg", std::nullopt},
    PatternCase{"OtherFile", usual, true, "archive", "archive/2026-12-07/notes.jpg", std::nullopt},
    PatternCase{"NoExtensionAndPercent", "cam/%Y%m%d-%H%%", true, "cam", "cam/20261207-11%-3", 110000},
    PatternCase{"InTheWorkingDirectory", "%Y-%m-%d.mp4", true, ".", "2026-12-07.mp4", 0},
    PatternCase{"UnknownConversion", "a/%Y/%Q.jpg", false, "a", "x", std::nullopt},
    PatternCase{"ParentFolder", "../%Y.jpg", false, "..", "x", std::nullopt},
    PatternCase{"EndsInAFolder", "a/%Y/", false, "a", "x", std::nullopt},
    PatternCase{"Empty", "", false, ".", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
