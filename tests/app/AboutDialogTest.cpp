#include "app/AboutDialog.h"

#include "tests/support/FakeDialogHost.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(AboutDialogTest, AsksForTheInitialFocus) {
    FakeDialogHost dialog;
    EXPECT_TRUE(dialog.open(aboutDialogProc));
    EXPECT_FALSE(dialog.endResult);
}

struct AboutCase {
    const char* name;
    int commandId;
    bool handled;
    std::optional<int> endResult;
};

class AboutCommand : public testing::TestWithParam<AboutCase> {};

TEST_P(AboutCommand, OkAndCancelEndTheBoxWithTheirId) {
    FakeDialogHost dialog;
    dialog.open(aboutDialogProc);
    EXPECT_EQ(dialog.press(aboutDialogProc, GetParam().commandId), GetParam().handled);
    EXPECT_EQ(dialog.endResult, GetParam().endResult);
}

INSTANTIATE_TEST_SUITE_P(, AboutCommand,
                         testing::Values(AboutCase{"Ok", 1, true, 1},
                                         AboutCase{"Cancel", 2, true, 2},
                                         AboutCase{"Apply", 3, false, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
