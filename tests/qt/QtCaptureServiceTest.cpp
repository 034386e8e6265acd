#include "qt/QtCaptureService.h"

#include "QtTestSupport.h"
#include "capture/Capture.h"
#include "capture/TestSource.h"
#include "image/SharedPictureOptions.h"
#include "platform/TopLevelWindow.h"
#include "qt/QtCaptureDialogs.h"
#include "qt/QtPreviewWidget.h"
#include "qt/QtWindowSystem.h"

#include <QComboBox>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The main window's part: a top-level window, shown, with a capture service on the test
// source whose capture windows are widgets in it, and the capture object.
TEST(QtCaptureServiceTest, ThePreviewShowsTheTestSourceScaledToTheWindowItGoesWith) {
    QtWindowSystem system;
    auto window = system.createWindow(
        windowStyle::WS_POPUP | windowStyle::WS_VISIBLE | windowStyle::WS_BORDER, 0, "kavriWebCam",
        {0, 0, 176, 144}, [](std::uint32_t, std::uintptr_t, std::intptr_t) {
            return std::optional<std::intptr_t>();
        });
    window->showInitially(showCommand::SW_SHOWNORMAL);
    QtCaptureService service([source = std::make_shared<TestSource>()] {
        return std::vector<std::shared_ptr<CaptureDriver>>{source};
    });
    Capture capture(
        service, {window->nativeHandle(),
                  [](MouseMessage, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 0; }});
    auto* preview = static_cast<QWidget*>(window->nativeHandle())->findChild<QtPreviewWidget*>();
    capture.initialize();
    capture.setFrameRate(30);
    capture.resizeWindow(240, 180);
    capture.resizeWindow(160, 120);
    ASSERT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->geometry(), QRect(0, 0, 160, 120));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->currentFrame().isNull(); }, 10000));
    const QImage frame = preview->currentFrame();
    EXPECT_EQ(frame.size(), QSize(320, 240));
    const Surface expected = TestSource::render({320, 240}, 0);
    // The colour bars, the same in every frame, painted at half size.
    const QImage painted = preview->grab().toImage();
    ASSERT_EQ(painted.size(), QSize(160, 120));
    for (int x = 10; x < 320; x += 40) {
        const std::uint8_t* bgr = expected.rowFromTop(100) + 3 * x;
        EXPECT_EQ(frame.pixel(x, 100), qRgb(bgr[2], bgr[1], bgr[0])) << x;
        EXPECT_EQ(painted.pixel(x / 2, 50), frame.pixel(x, 100)) << x;
    }

    // Turned a quarter clockwise, the preview's top row is the frame's left column upwards.
    PictureOptions turned;
    turned.rotate = 90;
    SharedPictureOptions::set(turned);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview->currentFrame().width() == 240; }, 10000));
    const QImage upright = preview->currentFrame();
    SharedPictureOptions::set({});
    EXPECT_EQ(upright.size(), QSize(240, 320));
    for (int x = 10; x < 320; x += 40) {
        const std::uint8_t* bgr = expected.rowFromTop(100) + 3 * x;
        EXPECT_EQ(upright.pixel(239 - 100, x), qRgb(bgr[2], bgr[1], bgr[0])) << x;
    }

    // The capture window goes with its parent: no frame can be grabbed then.
    window.reset();
    EXPECT_FALSE(capture.grabFrame({.jpegFile = "image.jpg", .quality = 70}));
}

// The Source dialog: a number box for a number, a list of the entries for a menu; the camera
// hears of each change as it is made, and OK gives the values.
TEST(QtCaptureDialogsTest, SourceTellsEachChangeAsItIsMadeAndOkGivesTheValues) {
    const std::vector<CameraControl> controls{
        {1, "Brightness", 0, 255, 1, 128, 100, {}},
        {2, "Power Line Frequency", 0, 3, 1, 1, 1, {{0, "Disabled"}, {1, "50 Hz"}, {3, "Auto"}}}};
    std::vector<std::pair<std::size_t, std::int32_t>> told;
    const auto values = withDialog(
        [&](QDialog& dialog) {
            auto* list = dialog.findChild<QComboBox*>();
            EXPECT_EQ(list->currentText().toStdString(), "50 Hz");
            list->setCurrentIndex(2);
            dialog.findChild<QSpinBox*>()->setValue(90);
            dialog.accept();
        },
        [&] {
            return QtCaptureDialogs().editControls(
                "Cam", controls,
                [&](std::size_t at, std::int32_t value) { told.emplace_back(at, value); });
        });
    EXPECT_EQ(told, (std::vector<std::pair<std::size_t, std::int32_t>>{{1, 3}, {0, 90}}));
    EXPECT_EQ(values, (std::vector<std::int32_t>{90, 3}));
}

} // namespace
