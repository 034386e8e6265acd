#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SwitchCase {
    const char* name;
    std::string commandLine;
    std::vector<std::string> found;
};

class ParseSwitchesTest : public testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitchesTest, FindsTheKnownSwitchesInListOrder) {
    EXPECT_EQ(parseSwitches(GetParam().commandLine, knownSwitches), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseSwitchesTest,
    testing::Values(
        SwitchCase{"Empty", "", {}}, SwitchCase{"Run", "/run", {"/run"}},
        SwitchCase{"Minimized", "/minimized", {"/minimized"}},
        SwitchCase{"NoBlankBetween", "/run/minimized", {"/run", "/minimized"}},
        SwitchCase{"ReportedInListOrder", "/minimized /run", {"/run", "/minimized"}},
        SwitchCase{"CapitalsFindNothing", "/RUN /Minimized /TESTSOURCE", {}},
        SwitchCase{"LongerWordCountsAsRun", "/running", {"/run"}},
        SwitchCase{"InsideOtherText", "x/runy", {"/run"}},
        SwitchCase{"TestSource", "/testsource /run", {"/run", "/testsource"}},
        SwitchCase{"AllThree", "/testsource/minimized/run", {"/run", "/minimized", "/testsource"}},
        SwitchCase{"WithoutSlash", "run minimized", {}},
        SwitchCase{"RepeatedOnce", "/run /run", {"/run"}}),
    [](const testing::TestParamInfo<SwitchCase>& info) { return info.param.name; });

TEST(HasSwitchTest, ComparesWholeSwitchesByteForByte) {
    const std::vector<std::string> found = {"/run"};
    EXPECT_TRUE(hasSwitch(found, "/run"));
    EXPECT_FALSE(hasSwitch(found, "/ru"));
    EXPECT_FALSE(hasSwitch(found, "/RUN"));
    EXPECT_FALSE(hasSwitch(found, "/minimized"));
    EXPECT_FALSE(hasSwitch({}, "/run"));
}

TEST(JoinArgumentsTest, JoinsTheArgumentsAfterTheProgramNameWithSingleBlanks) {
    const char* const argv[] = {"kavriwebcam", "/run", "two words", "/minimized"};
    EXPECT_EQ(joinArguments(4, argv), "/run two words /minimized");
    EXPECT_EQ(joinArguments(1, argv), "");
}

} // namespace
