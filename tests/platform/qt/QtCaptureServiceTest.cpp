#include "platform/qt/QtCaptureService.h"

#include "ProcessEvents.h"
#include "RecordedMessage.h"
#include "capture/Capture.h"
#include "capture/TestSource.h"
#include "platform/Surface.h"
#include "platform/TopLevelWindow.h"
#include "platform/qt/QtCaptureDialogs.h"
#include "platform/qt/QtPreviewWidget.h"
#include "platform/qt/QtWindowSystem.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace windowStyle;

// Runs whileOpen on the modal dialog once it is up, from inside its loop.
void whenDialogOpens(const std::function<void(QDialog&)>& whileOpen) {
    auto* poll = new QTimer;
    QDeadlineTimer deadline(10000);
    QObject::connect(poll, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            poll->deleteLater();
            whileOpen(*dialog);
        } else if (deadline.hasExpired()) {
            poll->deleteLater();
        }
    });
    poll->start(5);
}

void press(QDialog& dialog, const char* text) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text().remove('&') == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text;
    dialog.reject();
}

// The main window's part: a top-level window with the main window's styles, a capture
// service with the test source whose capture windows are widgets in it, and the capture
// object, whose mouse messages the window procedure records.
class QtCaptureServiceTest : public testing::Test {
protected:
    void SetUp() override {
        window =
            system.createWindow(WS_POPUP | WS_VISIBLE | WS_BORDER, WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                "kavriWebCam", {0, 0, 176, 144}, recorder.procedure());
        window->showInitially(showCommand::SW_SHOWNORMAL);
        service =
            std::make_unique<QtCaptureService>([](PreviewSink& preview, CaptureDialogs& dialogs) {
                std::vector<std::unique_ptr<CaptureDriver>> drivers;
                drivers.push_back(std::make_unique<TestSource>());
                return std::make_unique<DriverCaptureService>(std::move(drivers), preview, dialogs);
            });
        const ParentWindow parent{
            window->nativeHandle(),
            [this](MouseMessage message, std::uintptr_t wParam,
                   std::intptr_t lParam) -> std::intptr_t {
                mouse.push_back({static_cast<std::uint32_t>(message), wParam, lParam});
                return 0;
            }};
        capture = std::make_unique<Capture>(*service, parent);
    }

    void TearDown() override {
        capture.reset();
        service.reset();
    }

    QtPreviewWidget* preview() const {
        return static_cast<QWidget*>(window->nativeHandle())->findChild<QtPreviewWidget*>();
    }

    QtWindowSystem system;
    MessageRecorder recorder;
    std::vector<RecordedMessage> mouse;
    std::unique_ptr<TopLevelWindow> window;
    std::unique_ptr<QtCaptureService> service;
    std::unique_ptr<Capture> capture;
};

TEST_F(QtCaptureServiceTest, ThePreviewShowsTheTestSourceScaledToTheWindow) {
    capture->initialize();
    capture->setFrameRate(30);
    capture->resizeWindow(240, 180);
    capture->resizeWindow(160, 120);
    QtPreviewWidget* widget = preview();
    ASSERT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->geometry(), QRect(0, 0, 160, 120));
    ASSERT_TRUE(processEventsUntil([&] { return !widget->currentFrame().isNull(); }));
    const QImage frame = widget->currentFrame();
    EXPECT_EQ(frame.size(), QSize(320, 240));
    const Surface expected = TestSource::render({320, 240}, 0);
    // The colour bars are the same in every frame.
    for (int x = 10; x < 320; x += 40) {
        const std::uint8_t* bgr = expected.rowFromTop(100) + 3 * x;
        EXPECT_EQ(frame.pixel(x, 100), qRgb(bgr[2], bgr[1], bgr[0])) << x;
    }
    // Painted at half size: the pixel at (x, 100) of the frame is at (x / 2, 50).
    const QImage painted = widget->grab().toImage();
    ASSERT_EQ(painted.size(), QSize(160, 120));
    for (int x = 10; x < 320; x += 40) {
        EXPECT_EQ(painted.pixel(x / 2, 50), frame.pixel(x, 100)) << x;
    }
}

// Clicks on the preview reach the main window's procedure through the capture object, with
// their buttons, keys and position; the right button's release stays with the preview.
TEST_F(QtCaptureServiceTest, MouseMessagesReachTheParentExceptTheRightButtonsRelease) {
    QtPreviewWidget* widget = preview();
    const QPoint at = widget->mapTo(widget->window(), QPoint(30, 40));
    QTest::mouseDClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseClick(widget->window()->windowHandle(), Qt::RightButton, Qt::ControlModifier, at);
    std::erase_if(
        mouse, [](const RecordedMessage& m) { return m.message == windowMessage::WM_MOUSEMOVE; });
    using namespace windowMessage;
    using namespace mouseKey;
    const std::intptr_t lParam = packMousePosition(30, 40);
    EXPECT_EQ(mouse,
              (std::vector<RecordedMessage>{{WM_LBUTTONDOWN, MK_LBUTTON, lParam},
                                            {WM_LBUTTONUP, 0, lParam},
                                            {WM_LBUTTONDBLCLK, MK_LBUTTON, lParam},
                                            {WM_LBUTTONUP, 0, lParam},
                                            {WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, lParam}}));
    EXPECT_TRUE(recorder.only(WM_RBUTTONUP).empty() && recorder.only(WM_LBUTTONDOWN).empty())
        << "nothing went to the window's own procedure";
}

TEST_F(QtCaptureServiceTest, TheCaptureWindowGoesWithItsParent) {
    capture->initialize();
    ASSERT_TRUE(processEventsUntil([&] { return !preview()->currentFrame().isNull(); }));
    window.reset();
    // Every capture message is skipped now: no frame can be grabbed.
    EXPECT_FALSE(capture->grabFrame());
    capture->showFormatDialog();
    EXPECT_EQ(capture->status.uiImageWidth, 320u);
}

TEST_F(QtCaptureServiceTest, TheFormatDialogChangesTheImageSizeUnlessCancelled) {
    capture->initialize();
    whenDialogOpens([](QDialog& dialog) {
        dialog.findChild<QListWidget*>()->setCurrentRow(0);
        press(dialog, "Cancel");
    });
    capture->showFormatDialog();
    ASSERT_EQ(capture->status.uiImageWidth, 320u);
    whenDialogOpens([](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), 5);
        EXPECT_EQ(list->currentItem()->text(), "320 x 240");
        list->setCurrentRow(2);
        press(dialog, "OK");
    });
    capture->showFormatDialog();
    EXPECT_EQ(capture->status.uiImageWidth, 640u);
    EXPECT_EQ(capture->status.uiImageHeight, 480u);
}

TEST(QtCaptureDialogsTest, TheSourceDialogReturnsTheValuesInOrder) {
    QtCaptureDialogs dialogs;
    const std::vector<CameraControl> controls{
        {1, "Brightness", 0, 255, 1, 128, 100},
        {2, "Contrast", -10, 10, 2, 0, 4},
    };
    whenDialogOpens([](QDialog& dialog) {
        const auto boxes = dialog.findChildren<QSpinBox*>();
        ASSERT_EQ(boxes.size(), 2);
        EXPECT_EQ(boxes[0]->value(), 100);
        EXPECT_EQ(boxes[1]->minimum(), -10);
        boxes[0]->setValue(200);
        boxes[1]->setValue(-6);
        press(dialog, "OK");
    });
    EXPECT_EQ(dialogs.editControls("Camera", controls), (std::vector<std::int32_t>{200, -6}));

    whenDialogOpens([](QDialog& dialog) { press(dialog, "Cancel"); });
    EXPECT_EQ(dialogs.editControls("Camera", controls), std::nullopt);
}

} // namespace
