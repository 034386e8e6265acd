#include "platform/qt/QtIcons.h"

#include "res/Icons.h"

#include <QIcon>
#include <QImage>
#include <QString>

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

// The PNG files the build writes for the desktop's icon theme (KAVRI_THEME_ICON_DIR) must
// show the picture the program itself shows for icon 107: its own images where the size
// exists, scaled up pixel by pixel where it does not.
struct ThemeIconCase {
    const char* name;
    int sizePx;
    int sourceSizePx;
};

class ThemeIconTest : public testing::TestWithParam<ThemeIconCase> {};

TEST_P(ThemeIconTest, IsTheProgramIconScaledWithNearestNeighbour) {
    const int sizePx = GetParam().sizePx;
    const QString path = QString(KAVRI_THEME_ICON_DIR "/%1/kavriwebcam.png").arg(sizePx);
    const QImage themeIcon = QImage(path).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(themeIcon.isNull()) << path.toStdString();
    ASSERT_EQ(themeIcon.size(), QSize(sizePx, sizePx));

    const QImage expected =
        iconPixmap(programIconId, GetParam().sourceSizePx)
            .toImage()
            .scaled(sizePx, sizePx, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(themeIcon == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ThemeIconTest,
    testing::Values(ThemeIconCase{"Native16", 16, 16}, ThemeIconCase{"Native32", 32, 32},
                    ThemeIconCase{"From32To48", 48, 32}, ThemeIconCase{"From32To64", 64, 32}),
    [](const testing::TestParamInfo<ThemeIconCase>& info) { return info.param.name; });

} // namespace
