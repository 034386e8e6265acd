#include "platform/qt/QtEventGuard.h"

#include "RecordedMessage.h"
#include "platform/Exception.h"
#include "platform/TopLevelWindow.h"
#include "platform/qt/QtWindowSystem.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A procedure that raises the program's error for command 2 and records the rest.
struct ThrowingProcedure {
    MessageRecorder recorder;

    WindowProcedure procedure() {
        return [this](std::uint32_t message, std::uintptr_t wParam,
                      std::intptr_t lParam) -> std::optional<std::intptr_t> {
            if (message == windowMessage::WM_COMMAND && wParam == 2) {
                throw Exception("raised inside\nthe loop");
            }
            return recorder.procedure()(message, wParam, lParam);
        };
    }
};

// Ends the loop in case it does not end by itself; stopped when the timer goes.
void endLoopAfterDeadline(QTimer& deadline) {
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    deadline.start(10000);
}

TEST(QtEventGuardTest, AnExceptionFromAProcedureEndsTheLoopAndIsRaisedByItsCaller) {
    QtWindowSystem system;
    ThrowingProcedure procedure;
    auto window = system.createWindow(0, 0, "", {0, 0, 50, 50}, procedure.procedure());
    window->postMessage(windowMessage::WM_COMMAND, 1, 0);
    window->postMessage(windowMessage::WM_COMMAND, 2, 0);
    window->postMessage(windowMessage::WM_COMMAND, 3, 0);
    QTimer deadline;
    endLoopAfterDeadline(deadline);
    try {
        system.runEventLoop();
        FAIL() << "the loop returned instead of raising";
    } catch (const Exception& error) {
        EXPECT_EQ(error.message, "raised inside\nthe loop");
    }
    // Command 1 came before the raise; command 3 was not handed to a program in ruins.
    ASSERT_EQ(procedure.recorder.messages.size(), 1u);
    EXPECT_EQ(procedure.recorder.messages[0].wParam, 1u);
}

} // namespace
