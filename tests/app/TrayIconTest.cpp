#include "app/TrayIcon.h"

#include "res/Version.h"
#include "tests/support/CallLog.h"
#include "tests/support/FakeTopLevelWindow.h"
#include "tests/support/RecordingTrayShell.h"

#include <gtest/gtest.h>

namespace {

using namespace trayAction;
using namespace trayFlag;

class TrayIconTest : public testing::Test {
protected:
    CallLog log;
    FakeTopLevelWindow window{0, 0, "", {}, {}, log};
    RecordingTrayShell shell;
    TrayIcon icon{shell, 2001};
};

TEST_F(TrayIconTest, TheFirstUpdateAddsTheIconWithMessageIconAndTip) {
    icon.setWindow(window);
    icon.setIcon(108);
    icon.setVisible(true);
    icon.setTip("kavriWebCam v" KAVRI_VERSION " [inactive]");
    icon.update();
    ASSERT_EQ(shell.calls.size(), 1u);
    const auto& call = shell.calls[0];
    EXPECT_EQ(call.action, NIM_ADD);
    EXPECT_EQ(call.data.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(call.data.window, &window);
    EXPECT_EQ(call.data.id, 0u);
    EXPECT_EQ(call.data.callbackMessage, 2001u);
    EXPECT_EQ(call.data.icon, 108);
    EXPECT_EQ(call.data.tip, "kavriWebCam v" KAVRI_VERSION " [inactive]");
}

TEST_F(TrayIconTest, TwoChangesBeforeOneUpdateMakeOneModifyCarryingBoth) {
    icon.setVisible(true);
    icon.update();
    shell.take();
    icon.setIcon(140);
    icon.setTip("kavriWebCam v" KAVRI_VERSION " [active]");
    icon.update();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].action, NIM_MODIFY);
    EXPECT_EQ(shell.calls[0].data.flags, NIF_ICON | NIF_TIP);
    EXPECT_EQ(shell.calls[0].data.icon, 140);
}

TEST_F(TrayIconTest, AnUpdateWithoutAChangeMakesNoCall) {
    icon.setVisible(true);
    icon.update();
    icon.update();
    icon.update();
    EXPECT_EQ(shell.calls.size(), 1u);
}

TEST_F(TrayIconTest, MakingItVisibleTwiceAddsItOnce) {
    icon.setVisible(true);
    icon.setVisible(true);
    icon.update();
    icon.setVisible(true);
    icon.update();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].action, NIM_ADD);
}

TEST_F(TrayIconTest, TheSameIconAgainStillSendsAnIconChange) {
    icon.setIcon(140);
    icon.setVisible(true);
    icon.update();
    shell.take();
    icon.setIcon(140);
    icon.update();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].data.flags, NIF_ICON);
}

TEST_F(TrayIconTest, ALongTipIsCutToItsFirst63Bytes) {
    const std::string longTip(70, 'x');
    icon.setTip(longTip + "tail");
    icon.setVisible(true);
    icon.update();
    EXPECT_EQ(shell.calls.at(0).data.tip, std::string(63, 'x'));
}

TEST_F(TrayIconTest, BecomingInvisibleDeletesTheIcon) {
    icon.setVisible(true);
    icon.update();
    icon.setVisible(false);
    icon.update();
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1].action, NIM_DELETE);
    EXPECT_EQ(shell.calls[1].data.flags, 0u);
}

} // namespace
