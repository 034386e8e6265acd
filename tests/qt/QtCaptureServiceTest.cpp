#include "qt/QtCaptureService.h"

#include "QtTestSupport.h"
#include "capture/Capture.h"
#include "capture/TestSource.h"
#include "image/SharedPictureOptions.h"
#include "platform/TopLevelWindow.h"
#include "qt/QtPreviewWidget.h"
#include "qt/QtWindowSystem.h"

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

} // namespace
