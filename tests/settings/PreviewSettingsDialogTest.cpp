#include "settings/PreviewSettingsDialog.h"

#include "settings/Settings.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/SettingsSnapshot.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class PreviewSettingsDialogTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;

    FakeDialogHost dialog;
};

TEST_F(PreviewSettingsDialogTest, OpeningShowsTheFrameRate) {
    Settings::setFps(12);
    EXPECT_TRUE(dialog.open(previewSettingsDialogProc));
    EXPECT_EQ(dialog.texts[previewSettingsItem::fps], "12");
}

struct FpsCase {
    const char* name;
    int maxFps;
    const char* typed;
    int stored;
};

class PreviewFps : public PreviewSettingsDialogTest, public testing::WithParamInterface<FpsCase> {};

TEST_P(PreviewFps, OkStoresTheRateBetween1AndMaxFps) {
    Settings::setFps(7);
    Settings::setMaxFps(GetParam().maxFps);
    dialog.open(previewSettingsDialogProc);
    dialog.texts[previewSettingsItem::fps] = GetParam().typed;

    EXPECT_TRUE(dialog.press(previewSettingsDialogProc, dialogOk));

    EXPECT_EQ(dialog.endResult, dialogOk);
    EXPECT_EQ(Settings::getFps(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    , PreviewFps,
    testing::Values(FpsCase{"AboveMaxIsMax", 30, "45", 30}, FpsCase{"MaxStays", 30, "30", 30},
                    FpsCase{"InRangeStays", 30, "15", 15}, FpsCase{"ZeroIs1", 30, "0", 1},
                    FpsCase{"EmptyIs1", 30, "", 1}, FpsCase{"TextIs1", 30, "fast", 1},
                    FpsCase{"Beyond32BitsIsMax", 30, "99999999999", 30},
                    FpsCase{"MaxFps0MakesAnyEntry1", 0, "45", 1},
                    FpsCase{"MaxFps0MakesZero1", 0, "0", 1},
                    // maxfps -1 from the settings file compares as the largest unsigned.
                    FpsCase{"NegativeMaxFpsIsNoLimit", -1, "500", 500}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PreviewSettingsDialogTest, CancelAfterEditKeepsTheRate) {
    Settings::setFps(25);
    dialog.open(previewSettingsDialogProc);
    dialog.texts[previewSettingsItem::fps] = "5";

    EXPECT_TRUE(dialog.press(previewSettingsDialogProc, dialogCancel));

    EXPECT_EQ(dialog.endResult, dialogCancel);
    EXPECT_EQ(Settings::getFps(), 25);
}

} // namespace
