#include "qt/QtIcons.h"

#include "QtTestSupport.h"
#include "res/Icons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The tray shows the state by its picture alone, so no two states may look alike.
TEST(QtIconsTest, EveryTrayStateHasAPictureOfItsOwnAndTheProgramIconTwoSizes) {
    std::vector<QImage> seen;
    for (const int id : {idleIconId, runningIconId, blinkIconId, grabbingIconId}) {
        const QImage image = iconPixmap(id, 16).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16)) << id;
        EXPECT_TRUE(std::ranges::find(seen, image) == seen.end()) << id;
        seen.push_back(image);
    }
    EXPECT_EQ(programIcon(programIconId).availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
}

} // namespace
