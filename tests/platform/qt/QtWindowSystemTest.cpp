#include "platform/qt/QtWindowSystem.h"

#include "ProcessEvents.h"
#include "RecordedMessage.h"
#include "platform/TopLevelWindow.h"
#include "platform/qt/QtTrayShell.h"

#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(QtWindowSystemTest, QuitEndsTheLoopWithItsCodeAfterThePostedMessages) {
    QtWindowSystem system;
    MessageRecorder recorder;
    auto window = system.createWindow(0, 0, "", {0, 0, 50, 50}, recorder.procedure());
    window->postMessage(windowMessage::WM_COMMAND, 1, 0);
    window->postMessage(windowMessage::WM_COMMAND, 2, 0);
    system.quit(7);
    // A deadline in case the loop does not end.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(-1); });
    EXPECT_EQ(system.runEventLoop(), 7);
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[1].wParam, 2u);
}

TEST(QtWindowSystemTest, OffscreenMessageBoxWritesToStandardErrorAndReturns) {
    QtWindowSystem system;
    testing::internal::CaptureStderr();
    system.messageBox(nullptr, "Internal screw-up...", "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ": Internal screw-up...\n");
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
    EXPECT_FALSE(shell.notify(trayAction::NIM_DELETE, data));
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.messages.empty());
}

} // namespace
