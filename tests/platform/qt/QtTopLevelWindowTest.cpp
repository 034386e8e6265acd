#include "platform/qt/QtTopLevelWindow.h"

#include "ProcessEvents.h"
#include "RecordedMessage.h"
#include "platform/qt/QtWindowSystem.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

using namespace windowMessage;
using namespace windowStyle;

constexpr std::uint32_t mainStyle = WS_POPUP | WS_VISIBLE | WS_BORDER;
constexpr std::uint32_t mainExtStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;

class QtTopLevelWindowTest : public testing::Test {
protected:
    std::unique_ptr<TopLevelWindow> create(Rect rect = {0, 0, 176, 144}) {
        return system.createWindow(mainStyle, mainExtStyle, "kavriWebCam", rect,
                                   recorder.procedure());
    }
    static QWidget* clientOf(const TopLevelWindow& window) {
        return static_cast<QWidget*>(window.nativeHandle());
    }
    static QWidget* frameOf(const TopLevelWindow& window) { return clientOf(window)->window(); }

    QtWindowSystem system;
    MessageRecorder recorder;
};

TEST_F(QtTopLevelWindowTest, MainWindowStylesMakeAFramelessStayOnTopToolWindowWithABorder) {
    const auto window = create();
    const Qt::WindowFlags flags = frameOf(*window)->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(frameOf(*window)->windowTitle(), "kavriWebCam");
    EXPECT_FALSE(frameOf(*window)->isVisible());
    EXPECT_EQ(window->windowRect(), (Rect{0, 0, 176, 144}));
    EXPECT_EQ(window->clientRect(), (Rect{0, 0, 174, 142}));
    EXPECT_EQ(clientOf(*window)->pos(), QPoint(1, 1));
}

TEST_F(QtTopLevelWindowTest, WithoutBorderTheClientIsTheWholeWindow) {
    const auto window =
        system.createWindow(WS_POPUP, 0, "", {10, 20, 110, 70}, recorder.procedure());
    EXPECT_EQ(frameOf(*window)->windowFlags() & Qt::WindowType_Mask, Qt::Window);
    EXPECT_FALSE(frameOf(*window)->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->clientRect(), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(window->clientToScreen({0, 0}), (Point{10, 20}));
}

TEST_F(QtTopLevelWindowTest, ShowInitiallyHonoursTheShowCommand) {
    const auto hidden = create();
    hidden->showInitially(showCommand::SW_HIDE);
    EXPECT_FALSE(frameOf(*hidden)->isVisible());
    const auto shown = create();
    shown->showInitially(showCommand::SW_SHOWNORMAL);
    EXPECT_TRUE(frameOf(*shown)->isVisible());
}

TEST_F(QtTopLevelWindowTest, HideAndShowKeepPlaceAndSize) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    window->setGeometry(300, 200, 240, 180);
    for (int round = 0; round < 2; ++round) {
        window->hide();
        EXPECT_FALSE(frameOf(*window)->isVisible());
        EXPECT_EQ(window->windowRect(), (Rect{300, 200, 540, 380}));
        window->show();
        EXPECT_TRUE(frameOf(*window)->isVisible());
        EXPECT_EQ(window->windowRect(), (Rect{300, 200, 540, 380}));
    }
}

TEST_F(QtTopLevelWindowTest, MoveResizeAndGeometryWorkOnTheOuterRectangle) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    window->move(848, 624);
    EXPECT_EQ(window->windowRect(), (Rect{848, 624, 1024, 768}));
    window->resize(240, 180);
    EXPECT_EQ(window->windowRect(), (Rect{848, 624, 1088, 804}));
    EXPECT_EQ(window->clientRect(), (Rect{0, 0, 238, 178}));
    EXPECT_EQ(window->normalRect(), window->windowRect());
    window->setGeometry(0, 0, 800, 600);
    EXPECT_EQ(window->windowRect(), (Rect{0, 0, 800, 600}));
    EXPECT_EQ(window->clientRect(), (Rect{0, 0, 798, 598}));
    EXPECT_EQ(window->clientToScreen({5, 7}), (Point{6, 8}));
}

TEST_F(QtTopLevelWindowTest, PostedMessagesArriveInTheOrderPostedAlsoFromAWorker) {
    const auto window = create();
    const auto post = [&](std::uintptr_t from, std::uintptr_t to) {
        for (std::uintptr_t i = from; i < to; ++i) {
            window->postMessage(WM_COMMAND, 32800 + i, static_cast<std::intptr_t>(i));
        }
    };
    post(0, 10);
    // A worker hands its news to the user interface thread this way.
    std::thread(post, 10, 20).join();
    EXPECT_TRUE(recorder.messages.empty());
    ASSERT_TRUE(processEventsUntil([&] { return recorder.messages.size() == 20; }));
    for (std::uintptr_t i = 0; i < 20; ++i) {
        EXPECT_EQ(recorder.messages[i],
                  (RecordedMessage{WM_COMMAND, 32800 + i, static_cast<std::intptr_t>(i)}));
    }
}

TEST_F(QtTopLevelWindowTest, TimerTicksCarryTheirIdUntilKilled) {
    const auto window = create();
    ASSERT_TRUE(window->setTimer(303, 20));
    ASSERT_TRUE(processEventsUntil([&] { return recorder.only(WM_TIMER).size() >= 3; }));
    for (const RecordedMessage& tick : recorder.only(WM_TIMER)) {
        EXPECT_EQ(tick, (RecordedMessage{WM_TIMER, 303, 0}));
    }
    EXPECT_TRUE(window->killTimer(303));
    EXPECT_FALSE(window->killTimer(303));
    const std::size_t ticks = recorder.only(WM_TIMER).size();
    // A tick of another timer shows that the killed one had time to tick and did not.
    ASSERT_TRUE(window->setTimer(7, 60));
    ASSERT_TRUE(processEventsUntil([&] { return recorder.only(WM_TIMER).size() > ticks; }));
    EXPECT_EQ(recorder.only(WM_TIMER).back().wParam, 7u);
    EXPECT_EQ(recorder.only(WM_TIMER).size(), ticks + 1);
}

TEST_F(QtTopLevelWindowTest, TicksMissedWhileBusyAreNotStoredUp) {
    const auto window = create();
    ASSERT_TRUE(window->setTimer(303, 10));
    QTest::qSleep(200);
    recorder.messages.clear();
    QCoreApplication::processEvents();
    EXPECT_LE(recorder.only(WM_TIMER).size(), 1u);
    window->killTimer(303);
}

// The timer keeps ticking while another event loop runs on top of the program's own.
struct ModalLoop {
    const char* name;
    std::function<void(QWidget* owner, const std::function<bool()>& enough)> run;
};

void PrintTo(const ModalLoop& loop, std::ostream* out) {
    *out << loop.name;
}

class QtTimerDuringModalLoopTest : public QtTopLevelWindowTest,
                                   public testing::WithParamInterface<ModalLoop> {};

TEST_P(QtTimerDuringModalLoopTest, TicksArriveWhileItRuns) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    ASSERT_TRUE(window->setTimer(303, 20));
    std::size_t ticksBefore = 0;
    GetParam().run(frameOf(*window), [&] {
        if (ticksBefore == 0) {
            ticksBefore = recorder.only(WM_TIMER).size() + 1;
        }
        return recorder.only(WM_TIMER).size() >= ticksBefore + 3;
    });
    EXPECT_GE(recorder.only(WM_TIMER).size(), ticksBefore + 3);
}

// Closes widget once enough() holds, polling from inside its loop; gives up after 10 s.
void closeWhen(QWidget* widget, const std::function<bool()>& enough) {
    auto* poll = new QTimer(widget);
    QDeadlineTimer deadline(10000);
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (enough() || deadline.hasExpired()) {
            widget->close();
        }
    });
    poll->start(5);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, QtTimerDuringModalLoopTest,
    testing::Values(ModalLoop{"Dialog",
                              [](QWidget* owner, const std::function<bool()>& enough) {
                                  QDialog dialog(owner);
                                  closeWhen(&dialog, enough);
                                  dialog.exec();
                              }},
                    ModalLoop{"MessageBox",
                              [](QWidget* owner, const std::function<bool()>& enough) {
                                  QMessageBox box(QMessageBox::NoIcon, "", "Internal screw-up...",
                                                  QMessageBox::Ok, owner);
                                  closeWhen(&box, enough);
                                  box.exec();
                              }},
                    ModalLoop{"Menu",
                              [](QWidget*, const std::function<bool()>& enough) {
                                  QMenu menu;
                                  menu.addAction("Hide");
                                  closeWhen(&menu, enough);
                                  menu.exec(QPoint(10, 10));
                              }}),
    [](const testing::TestParamInfo<ModalLoop>& info) { return info.param.name; });

TEST_F(QtTopLevelWindowTest, DestroySendsWmDestroyOnceAndNothingAfterwards) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    window->setTimer(303, 5);
    window->postMessage(WM_COMMAND, 105, 0);
    window->destroy();
    window->destroy();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0], (RecordedMessage{WM_DESTROY, 0, 0}));
    EXPECT_FALSE(frameOf(*window)->isVisible());
    window->postMessage(WM_COMMAND, 104, 0);
    EXPECT_FALSE(window->setTimer(1, 5));
    QTest::qWait(50);
    EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST_F(QtTopLevelWindowTest, ACloseRequestDestroysTheWindow) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    frameOf(*window)->close();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].message, WM_DESTROY);
}

TEST_F(QtTopLevelWindowTest, MessagesPostedBeforeTheWindowIsDeletedAreDropped) {
    auto window = create();
    window->postMessage(WM_COMMAND, 104, 0);
    window.reset();
    QTest::qWait(20);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(QtTopLevelWindowTest, CaptureMouseGrabsItForTheClientArea) {
    const auto window = create();
    window->showInitially(showCommand::SW_SHOWNORMAL);
    window->captureMouse();
    EXPECT_EQ(QWidget::mouseGrabber(), clientOf(*window));
    window->releaseMouse();
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    window->releaseMouse();
}

TEST_F(QtTopLevelWindowTest, ClicksBecomeMouseMessagesInClientCoordinates) {
    const auto window = create({100, 100, 276, 244});
    window->showInitially(showCommand::SW_SHOWNORMAL);
    QWindow* handle = frameOf(*window)->windowHandle();
    ASSERT_NE(handle, nullptr);
    // At (11, 21) of the frame, which is (10, 20) of the client area inside the border.
    QTest::mouseDClick(handle, Qt::LeftButton, Qt::NoModifier, QPoint(11, 21));
    QTest::mouseClick(handle, Qt::RightButton, Qt::ShiftModifier, QPoint(51, 41));
    const std::intptr_t at1020 = packMousePosition(10, 20);
    const std::vector<RecordedMessage> expected{
        {WM_LBUTTONDOWN, mouseKey::MK_LBUTTON, at1020},
        {WM_LBUTTONUP, 0, at1020},
        {WM_LBUTTONDBLCLK, mouseKey::MK_LBUTTON, at1020},
        {WM_LBUTTONUP, 0, at1020},
        {WM_RBUTTONDOWN, mouseKey::MK_RBUTTON | mouseKey::MK_SHIFT, packMousePosition(50, 40)},
        {WM_RBUTTONUP, mouseKey::MK_SHIFT, packMousePosition(50, 40)},
    };
    std::vector<RecordedMessage> clicks;
    for (const RecordedMessage& m : recorder.messages) {
        if (m.message != WM_MOUSEMOVE) {
            clicks.push_back(m);
        }
    }
    EXPECT_EQ(clicks, expected);
}

TEST_F(QtTopLevelWindowTest, CapturedMouseKeepsReportingOutsideTheWindow) {
    const auto window = create({100, 100, 276, 244});
    window->showInitially(showCommand::SW_SHOWNORMAL);
    QWidget* client = clientOf(*window);
    QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    window->captureMouse();
    recorder.messages.clear();
    QMouseEvent move(QEvent::MouseMove, QPointF(-30, 200), client->mapToGlobal(QPointF(-30, 200)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(client, &move);
    QTest::mouseRelease(client, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    window->releaseMouse();
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0],
              (RecordedMessage{WM_MOUSEMOVE, mouseKey::MK_LBUTTON, packMousePosition(-30, 200)}));
    EXPECT_EQ(recorder.messages[1].message, WM_LBUTTONUP);
}

} // namespace
