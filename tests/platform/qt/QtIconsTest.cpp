#include "platform/qt/QtIcons.h"

#include "res/Icons.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

namespace {

// The colours of one icon image, and the look of a few of its pixels.
struct IconCase {
    const char* name;
    int id;
    int sizePx;
};

void PrintTo(const IconCase& c, std::ostream* out) {
    *out << c.name;
}

class QtIconImageTest : public testing::TestWithParam<IconCase> {};

TEST_P(QtIconImageTest, LoadsAtItsSizeWithAtMost16Colours) {
    const QPixmap pixmap = iconPixmap(GetParam().id, GetParam().sizePx);
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.size(), QSize(GetParam().sizePx, GetParam().sizePx));
    const QImage image = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            EXPECT_EQ(qAlpha(image.pixel(x, y)), 255) << x << "," << y;
            colours.insert(image.pixel(x, y));
        }
    }
    EXPECT_LE(colours.size(), 16);
}

INSTANTIATE_TEST_SUITE_P(Icons, QtIconImageTest,
                         testing::Values(IconCase{"Program32", 107, 32},
                                         IconCase{"Program16", 107, 16}, IconCase{"Idle", 108, 16},
                                         IconCase{"Running", 140, 16}, IconCase{"Blink", 141, 16},
                                         IconCase{"Grabbing", 142, 16}),
                         [](const testing::TestParamInfo<IconCase>& info) {
                             return info.param.name;
                         });

// Grey, give or take a slight tint.
bool isGrey(QRgb c) {
    return std::abs(qRed(c) - qGreen(c)) <= 8 && std::abs(qGreen(c) - qBlue(c)) <= 8;
}

// The tray pictures: the same lens on light grey, and the status light in the top-left
// corner in its colour.
struct TrayCase {
    const char* name;
    int id;
    bool lit;
    QRgb light;
};

void PrintTo(const TrayCase& c, std::ostream* out) {
    *out << c.name;
}

class QtTrayPictureTest : public testing::TestWithParam<TrayCase> {};

TEST_P(QtTrayPictureTest, ShowsTheLensAndTheStatusLight) {
    const QImage image = iconPixmap(GetParam().id, 16).toImage();
    const QImage idle = iconPixmap(idleIconId, 16).toImage();
    ASSERT_FALSE(image.isNull());
    // Light grey background at the corners away from the light.
    for (const QPoint corner : {QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)}) {
        const QRgb c = image.pixel(corner);
        EXPECT_TRUE(isGrey(c) && qRed(c) >= 160) << corner.x() << "," << corner.y();
    }
    // A black lens in the middle of a dark grey ring.
    EXPECT_EQ(image.pixel(9, 9), qRgb(0, 0, 0));
    const QRgb ring = image.pixel(9, 3);
    EXPECT_TRUE(isGrey(ring) && qRed(ring) > 0 && qRed(ring) < 128);
    // Outside the top-left corner every picture is the idle one.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (x > 3 || y > 3) {
                ASSERT_EQ(image.pixel(x, y), idle.pixel(x, y)) << x << "," << y;
            }
        }
    }
    if (GetParam().lit) {
        EXPECT_EQ(image.pixel(1, 1), GetParam().light);
    } else {
        EXPECT_EQ(image.pixel(1, 1), image.pixel(15, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(Tray, QtTrayPictureTest,
                         testing::Values(TrayCase{"Idle", idleIconId, false, 0},
                                         TrayCase{"Green", runningIconId, true, qRgb(0, 224, 0)},
                                         TrayCase{"White", blinkIconId, true, qRgb(255, 255, 255)},
                                         TrayCase{"Red", grabbingIconId, true, qRgb(255, 32, 32)}),
                         [](const testing::TestParamInfo<TrayCase>& info) {
                             return info.param.name;
                         });

TEST(QtProgramIconTest, IsAPurpleLensInAGreyCameraOnBlack) {
    for (const int sizePx : {16, 32}) {
        const QImage image = iconPixmap(programIconId, sizePx).toImage();
        const int middle = sizePx / 2;
        EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0)) << sizePx;
        const QRgb lens = image.pixel(middle + sizePx / 8, middle + sizePx / 16);
        EXPECT_GT(qBlue(lens), qGreen(lens) + 40) << sizePx;
        EXPECT_GT(qRed(lens), qGreen(lens) + 20) << sizePx;
        const QRgb body = image.pixel(sizePx / 8, middle);
        EXPECT_TRUE(isGrey(body)) << sizePx;
        EXPECT_GT(qRed(body), 64) << sizePx;
    }
    const QIcon icon = programIcon(programIconId);
    EXPECT_EQ(icon.availableSizes().size(), 2);
}

TEST(QtIconLookupTest, UnknownIconsAndSizesAreEmpty) {
    EXPECT_TRUE(iconPixmap(109, 16).isNull());
    EXPECT_TRUE(iconPixmap(idleIconId, 32).isNull());
    EXPECT_TRUE(iconPixmap(programIconId, 24).isNull());
    EXPECT_TRUE(programIcon(4711).isNull());
}

} // namespace
