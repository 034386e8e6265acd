#include "platform/qt/QtIcons.h"

#include "QtTestSupport.h"
#include "res/Icons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The tray shows the state by its picture alone, so no two states may look alike. The PNG
// files the build writes for the desktop's icon theme show the program's own icon, scaled
// up pixel by pixel from 32 where it has no image of the size.
TEST(QtIconsTest, EveryTrayStateHasAPictureOfItsOwnAndTheThemeHasTheProgramIcon) {
    std::vector<QImage> seen;
    for (const int id : {idleIconId, runningIconId, blinkIconId, grabbingIconId}) {
        const QImage image = iconPixmap(id, 16).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16)) << id;
        EXPECT_TRUE(std::ranges::find(seen, image) == seen.end()) << id;
        seen.push_back(image);
    }
    EXPECT_EQ(programIcon(programIconId).availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
    for (const int sizePx : {16, 32, 48, 64}) {
        const QImage scaled = iconPixmap(programIconId, std::min(sizePx, 32))
                                  .toImage()
                                  .scaled(sizePx, sizePx, Qt::IgnoreAspectRatio);
        const QString theme = QString(KAVRI_THEME_ICON_DIR "/%1/kavriwebcam.png").arg(sizePx);
        EXPECT_EQ(QImage(theme).convertToFormat(QImage::Format_ARGB32),
                  scaled.convertToFormat(QImage::Format_ARGB32))
            << sizePx;
    }
}

} // namespace
