#include "platform/qt/QtWindowSystem.h"

#include "RecordedMessage.h"
#include "platform/Exception.h"
#include "platform/TopLevelWindow.h"
#include "platform/qt/QtTrayShell.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The loop ends with quit's code after the messages posted before it; a procedure that
// raises the program's error ends it too, and the error reaches the loop's caller before
// any later message reaches a program in ruins.
TEST(QtWindowSystemTest, TheLoopEndsByQuitOrByAnErrorRaisedInside) {
    QtWindowSystem system;
    MessageRecorder recorder;
    auto window = system.createWindow(0, 0, "", {0, 0, 50, 50},
                                      [&](std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam) -> std::optional<std::intptr_t> {
                                          if (wParam == 3) {
                                              throw Exception("raised inside\nthe loop");
                                          }
                                          return recorder.procedure()(message, wParam, lParam);
                                      });
    // A deadline in case the loop does not end, gone with the test.
    QTimer deadline;
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    deadline.start(10000);
    window->postMessage(windowMessage::WM_COMMAND, 1, 0);
    system.quit(7);
    EXPECT_EQ(system.runEventLoop(), 7);
    window->postMessage(windowMessage::WM_COMMAND, 2, 0);
    window->postMessage(windowMessage::WM_COMMAND, 3, 0);
    window->postMessage(windowMessage::WM_COMMAND, 4, 0);
    try {
        system.runEventLoop();
        ADD_FAILURE() << "the loop returned instead of raising";
    } catch (const Exception& error) {
        EXPECT_EQ(error.message, "raised inside\nthe loop");
    }
    EXPECT_EQ(recorder.messages, (std::vector<RecordedMessage>{{windowMessage::WM_COMMAND, 1, 0},
                                                               {windowMessage::WM_COMMAND, 2, 0}}));
}

TEST(QtTrayShellTest, CallsWithoutANotificationAreaDoNothingAndTheProgramGoesOn) {
    QtWindowSystem system;
    MessageRecorder recorder;
    auto window = system.createWindow(0, 0, "", {0, 0, 50, 50}, recorder.procedure());
    QtTrayShell shell;
    TrayIconData data;
    data.window = window.get();
    data.callbackMessage = 2001;
    data.flags = trayFlag::NIF_MESSAGE | trayFlag::NIF_ICON | trayFlag::NIF_TIP;
    data.icon = 108;
    data.tip = std::string(80, 'x');
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    EXPECT_EQ(shell.notify(trayAction::NIM_ADD, data), available);
    data.flags = trayFlag::NIF_ICON;
    data.icon = 142;
    EXPECT_EQ(shell.notify(trayAction::NIM_MODIFY, data), available);
    EXPECT_EQ(shell.notify(trayAction::NIM_DELETE, data), available);
    EXPECT_FALSE(shell.notify(trayAction::NIM_MODIFY, data));
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.messages.empty());
}

} // namespace
