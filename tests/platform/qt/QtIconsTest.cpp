#include "platform/qt/QtIcons.h"

#include "res/Icons.h"

#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The tray shows the state by its picture alone, so no two states may look alike.
TEST(QtIconsTest, EveryTrayStateHasAPictureOfItsOwnAndTheProgramIconTwoSizes) {
    std::vector<QImage> seen;
    for (const int id : {idleIconId, runningIconId, blinkIconId, grabbingIconId}) {
        const QImage image = iconPixmap(id, 16).toImage();
        ASSERT_EQ(image.size(), QSize(16, 16)) << id;
        EXPECT_TRUE(std::find(seen.begin(), seen.end(), image) == seen.end()) << id;
        seen.push_back(image);
    }
    EXPECT_EQ(programIcon(programIconId).availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
}

// The PNG files the build writes for the desktop's icon theme show the program's own icon,
// scaled up pixel by pixel from 32 where there is no image of the size.
TEST(QtIconsTest, ThemeIconsAreTheProgramIconScaledWithNearestNeighbour) {
    for (const int sizePx : {16, 32, 48, 64}) {
        const QImage themeIcon =
            QImage(QString(KAVRI_THEME_ICON_DIR "/%1/kavriwebcam.png").arg(sizePx))
                .convertToFormat(QImage::Format_ARGB32);
        const QImage expected =
            iconPixmap(programIconId, std::min(sizePx, 32))
                .toImage()
                .scaled(sizePx, sizePx, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(themeIcon.size(), QSize(sizePx, sizePx));
        EXPECT_TRUE(themeIcon == expected) << sizePx;
    }
}

} // namespace
