#include "platform/qt/QtTopLevelWindow.h"

#include "ProcessEvents.h"
#include "RecordedMessage.h"
#include "platform/qt/QtWindowSystem.h"

#include <QDialog>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace windowMessage;
using namespace windowStyle;

class QtTopLevelWindowTest : public testing::Test {
protected:
    std::unique_ptr<TopLevelWindow> create(Rect rect = {0, 0, 176, 144}) {
        return system.createWindow(WS_POPUP | WS_VISIBLE | WS_BORDER,
                                   WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "kavriWebCam", rect,
                                   recorder.procedure());
    }
    static QWidget* frameOf(const TopLevelWindow& window) {
        return static_cast<QWidget*>(window.nativeHandle())->window();
    }

    QtWindowSystem system;
    MessageRecorder recorder;
};

TEST_F(QtTopLevelWindowTest, TheMainWindowIsAFramelessStayOnTopToolWindowWithABorder) {
    const auto window = create({100, 50, 276, 194});
    const Qt::WindowFlags flags = frameOf(*window)->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    window->showInitially(showCommand::SW_SHOWNORMAL);
    window->resize(240, 180);
    EXPECT_EQ(window->windowRect(), (Rect{100, 50, 340, 230}));
    EXPECT_EQ(window->clientRect(), (Rect{0, 0, 238, 178}));
    EXPECT_EQ(window->clientToScreen({5, 7}), (Point{106, 58}));
}

TEST_F(QtTopLevelWindowTest, PostedMessagesArriveInTheOrderPostedAlsoFromAWorker) {
    const auto window = create();
    const auto post = [&](std::uintptr_t from, std::uintptr_t to) {
        for (std::uintptr_t i = from; i < to; ++i) {
            window->postMessage(WM_COMMAND, i, static_cast<std::intptr_t>(i));
        }
    };
    post(0, 10);
    std::thread(post, 10, 20).join();
    ASSERT_TRUE(processEventsUntil([&] { return recorder.messages.size() == 20; }));
    for (std::uintptr_t i = 0; i < 20; ++i) {
        EXPECT_EQ(recorder.messages[i].wParam, i);
    }
}

// The grab timer ticks with its id until killed, also while a dialog or a menu runs its
// own loop on top of the program's.
TEST_F(QtTopLevelWindowTest, TimerTicksUntilKilledAlsoInsideOtherLoops) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    ASSERT_TRUE(window->setTimer(303, 20));
    const auto threeMoreTicks = [&](QWidget& loop) {
        const std::size_t enough = recorder.only(WM_TIMER).size() + 3;
        auto* poll = new QTimer(&loop);
        QObject::connect(poll, &QTimer::timeout, [&, enough] {
            if (recorder.only(WM_TIMER).size() >= enough) {
                loop.close();
            }
        });
        poll->start(5);
        return enough;
    };
    QDialog dialog(frameOf(*window));
    const std::size_t afterDialog = threeMoreTicks(dialog);
    dialog.exec();
    EXPECT_GE(recorder.only(WM_TIMER).size(), afterDialog);
    QMenu menu;
    menu.addAction("Hide");
    const std::size_t afterMenu = threeMoreTicks(menu);
    menu.exec(QPoint(10, 10));
    EXPECT_GE(recorder.only(WM_TIMER).size(), afterMenu);
    for (const RecordedMessage& tick : recorder.only(WM_TIMER)) {
        EXPECT_EQ(tick, (RecordedMessage{WM_TIMER, 303, 0}));
    }
    EXPECT_TRUE(window->killTimer(303));
    const std::size_t ticks = recorder.only(WM_TIMER).size();
    QTest::qWait(100);
    EXPECT_EQ(recorder.only(WM_TIMER).size(), ticks);
}

} // namespace
