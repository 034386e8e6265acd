#include "qt/QtIcons.h"

#include "QtTestSupport.h"
#include "res/Icons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The tray shows the state by its picture alone, so no two states may look alike.
TEST(QtIconsTest, EveryTrayStateHasAPictureOfItsOwnAndTheApplicationIconEverySize) {
    std::vector<QImage> seen;
    for (const int id : {idleIconId, runningIconId, blinkIconId, grabbingIconId}) {
        const QImage image = iconPixmap(id, 16).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16)) << id;
        EXPECT_TRUE(std::ranges::find(seen, image) == seen.end()) << id;
        seen.push_back(image);
    }
    EXPECT_EQ(
        applicationIcon().availableSizes(),
        (QList<QSize>{
            {16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
}

} // namespace
