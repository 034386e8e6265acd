#include "settings/Settings.h"
#include "tests/support/SettingsSnapshot.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The store is process-wide; each test puts back what it changes.
class SettingsTest : public testing::Test {
protected:
    SettingsSnapshot keepSettings;
};

TEST_F(SettingsTest, ColourKeepsThreeComponentsAndDropsTheFourthByte) {
    Settings::setTextColor(0x12345678); // bytes from the lowest: 120, 86, 52, 18
    EXPECT_EQ(Settings::getTextColor(), 120u + 86u * 256u + 52u * 65536u);
    Settings::setBackColor(0xFFFFFFFF);
    EXPECT_EQ(Settings::getBackColor(), 0x00FFFFFFu);
    EXPECT_EQ(Settings::getTextColor(), 0x00345678u) << "colours are independent";
}

TEST_F(SettingsTest, BooleansReadBackWhatWasSet) {
    Settings::setActive(false);
    Settings::setStopOnError(true);
    EXPECT_FALSE(Settings::getActive());
    EXPECT_TRUE(Settings::getStopOnError());
    Settings::setActive(true);
    EXPECT_TRUE(Settings::getActive());
}

struct ClampRow {
    std::int32_t typed;
    std::uint8_t component;
};

class ClampComponentTest : public testing::TestWithParam<ClampRow> {};

TEST_P(ClampComponentTest, TypedNumberBecomesComponent) {
    EXPECT_EQ(Settings::clampComponent(GetParam().typed), GetParam().component);
}

INSTANTIATE_TEST_SUITE_P(Values, ClampComponentTest,
                         testing::Values(ClampRow{0, 0}, ClampRow{128, 128}, ClampRow{255, 255},
                                         ClampRow{256, 255}, ClampRow{1000, 255}, ClampRow{-2, 254},
                                         ClampRow{-256, 0}));

} // namespace
