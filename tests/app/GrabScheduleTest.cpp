#include "app/MainWindow.h"

#include "res/DialogTemplates.h"
#include "res/Version.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Deadline.h"
#include "tests/support/FtpServer.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>

namespace {

using namespace windowMessage;

const std::string connectMessage =
    "::FTP::\nCannot connect to the ftp server,\nplease check the ftp settings.";
const std::string activeTip = "kavriWebCam v" KAVRI_VERSION " [active]";
const std::string inactiveTip = "kavriWebCam v" KAVRI_VERSION " [inactive]";

// Threads of this process now.
using GrabScheduleTest = MainWindowTest;

TEST_F(GrabScheduleTest, RunStartsTheHalfSecondTimerAndShowsRunning) {
    build();
    command(menuCommand::run);
    EXPECT_EQ(system.log.take(),
              (std::vector<std::string>{"timer set 303,500", menuEntry("check", menuCommand::run),
                                        menuEntry("grey", menuCommand::ftpSettings),
                                        "tray 1 icon 140 flags 6"}));
    EXPECT_TRUE(menu().isChecked(menuCommand::run));
    EXPECT_TRUE(menu().isGrayed(menuCommand::ftpSettings));
    ASSERT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(tray.calls[0].data.tip, activeTip);
}

TEST_F(GrabScheduleTest, RunAgainStopsAndShowsIdle) {
    build();
    command(menuCommand::run);
    tray.take();
    command(menuCommand::run);
    EXPECT_FALSE(menu().isChecked(menuCommand::run));
    EXPECT_FALSE(menu().isGrayed(menuCommand::ftpSettings));
    EXPECT_TRUE(window().timers.empty());
    const auto calls = tray.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].action, trayAction::NIM_MODIFY);
    EXPECT_EQ(calls[0].data.flags, trayFlag::NIF_ICON | trayFlag::NIF_TIP);
    EXPECT_EQ(calls[0].data.icon, 108);
    EXPECT_EQ(calls[0].data.tip, inactiveTip);
}

TEST_F(GrabScheduleTest, StopWhileIdlePutsMenuAndTrayIdleAndDoesNothingElse) {
    build();
    mainWindow->stopRunning();
    EXPECT_EQ(system.log.take(),
              (std::vector<std::string>{"timer kill 303", "tray 1 icon 108 flags 6",
                                        menuEntry("uncheck", menuCommand::run),
                                        menuEntry("enable", menuCommand::ftpSettings)}));
    EXPECT_EQ(framesSaved, 0);
}

TEST_F(GrabScheduleTest, RunDoesNothingWhenNoTimerCanBeMade) {
    build();
    window().timersWork = false;
    command(menuCommand::run);
    EXPECT_EQ(system.log.take(), std::vector<std::string>{"timer set 303,500"});
    EXPECT_FALSE(menu().isChecked(menuCommand::run));
    EXPECT_TRUE(tray.calls.empty());
}

// One row: the interval setting and, tick by tick, the icons the shell is sent (an empty
// list is a tick that sends nothing).
struct TickRow {
    const char* name;
    unsigned update;
    std::vector<std::vector<int>> icons;
};

void PrintTo(const TickRow& row, std::ostream* out) {
    *out << row.name;
}

class TickSequenceTest : public MainWindowTest, public testing::WithParamInterface<TickRow> {};

TEST_P(TickSequenceTest, TheTrayFollowsTheCountdownAndGrabsAtZero) {
    Settings::setUpdate(GetParam().update);
    build();
    command(menuCommand::run);
    tray.take();
    int expectedFrames = 0;
    // Two full rounds.
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < GetParam().icons.size(); ++i) {
            window().tick();
            const auto calls = tray.take();
            std::vector<int> icons;
            for (const auto& call : calls) {
                EXPECT_EQ(call.action, trayAction::NIM_MODIFY);
                EXPECT_EQ(call.data.flags, trayFlag::NIF_ICON);
                icons.push_back(call.data.icon);
            }
            EXPECT_EQ(icons, GetParam().icons[i]) << "round " << round << " tick " << i;
            if (icons == std::vector<int>{142}) {
                ++expectedFrames;
            }
            EXPECT_EQ(framesSaved, expectedFrames) << "round " << round << " tick " << i;
        }
    }
    EXPECT_EQ(expectedFrames, 2);
    EXPECT_TRUE(std::filesystem::exists("image.jpg"));
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, TickSequenceTest,
    testing::Values(
        TickRow{"Update1", 1, {{140}, {142}}},
        // An interval of 0 is taken as 1 second instead of never grabbing.
        TickRow{"Update0", 0, {{140}, {142}}}, TickRow{"Update2", 2, {{140}, {141}, {140}, {142}}},
        TickRow{"Update4", 4, {{140}, {141}, {140}, {141}, {140}, {141}, {140}, {142}}},
        TickRow{"Update5", 5, {{140}, {}, {}, {141}, {140}, {141}, {140}, {141}, {140}, {142}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GrabScheduleTest, AFailedGrabUploadsNothingAndTheCountdownGoesOn) {
    Settings::setUpdate(1);
    build();
    command(menuCommand::run);
    service.saveFrame = nullptr;
    window().tick();
    window().tick();
    EXPECT_TRUE(running());
    EXPECT_FALSE(std::filesystem::exists("image.jpg"));
    EXPECT_TRUE(errorBoxes.empty());
}

TEST_F(GrabScheduleTest, InstantGrabWhileRunningGrabsAndRestartsAFullInterval) {
    Settings::setUpdate(2);
    build();
    command(menuCommand::run);
    window().tick();
    window().tick();
    tray.take();
    command(menuCommand::instantGrab);
    EXPECT_EQ(framesSaved, 1);
    // The tray is not touched by the grab itself.
    EXPECT_TRUE(tray.calls.empty());
    for (int tick = 0; tick < 3; ++tick) {
        window().tick();
    }
    EXPECT_EQ(framesSaved, 1);
    window().tick();
    EXPECT_EQ(framesSaved, 2);
}

TEST_F(GrabScheduleTest, TheImageDialogRestartsTheCountdownEvenWhenCancelled) {
    Settings::setUpdate(2);
    build();
    command(menuCommand::run);
    window().tick();
    window().tick();
    window().tick();
    command(menuCommand::imageSettings);
    EXPECT_EQ(dialogs.run, std::vector<int>{imageSettingsDialogId});
    for (int tick = 0; tick < 3; ++tick) {
        window().tick();
    }
    EXPECT_EQ(framesSaved, 0);
    window().tick();
    EXPECT_EQ(framesSaved, 1);
}

TEST_F(GrabScheduleTest, TheImageDialogsNewIntervalCountsFromItsClose) {
    Settings::setUpdate(5);
    build();
    command(menuCommand::run);
    dialogs.script = [](FakeDialogHost& host, const DialogProcedure& procedure) {
        host.setItemText(imageSettingsItem::update, "1");
        host.press(procedure, dialogOk);
    };
    command(menuCommand::imageSettings);
    EXPECT_EQ(Settings::getUpdate(), 1u);
    window().tick();
    window().tick();
    EXPECT_EQ(framesSaved, 1);
}

TEST_F(GrabScheduleTest, TicksGoOnWhileADialogIsOpen) {
    Settings::setUpdate(1);
    build();
    command(menuCommand::run);
    dialogs.script = [&](FakeDialogHost& host, const DialogProcedure& procedure) {
        window().tick();
        window().tick();
        host.press(procedure, dialogCancel);
    };
    command(menuCommand::about);
    EXPECT_EQ(framesSaved, 1);
}

TEST_F(GrabScheduleTest, InstantGrabWhileIdleShowsGrabbingThenIdle) {
    build();
    command(menuCommand::instantGrab);
    EXPECT_EQ(framesSaved, 1);
    const auto calls = tray.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].data.icon, 142);
    EXPECT_EQ(calls[0].data.tip, activeTip + " [instant grab]");
    EXPECT_EQ(calls[1].data.icon, 108);
    EXPECT_EQ(calls[1].data.tip, inactiveTip);
    EXPECT_TRUE(window().timers.empty());
}

class GrabUploadTest : public MainWindowTest {
protected:
    void SetUp() override { startServer(FtpServer::Options{}); }

    void startServer(FtpServer::Options options) {
        try {
            server = std::make_unique<FtpServer>(options);
        } catch (const std::exception& error) {
            GTEST_SKIP() << "no FTP server: " << error.what();
        }
        Settings::setActive(true);
        Settings::setHost("127.0.0.1");
        Settings::setPort(server->port());
        Settings::setUser(server->user());
        Settings::setPassword(server->password());
        Settings::setSaveTo("cam.jpg");
        Settings::setUsePassive(true);
    }

    // Handles what the instant grab's upload posts, as the event loop does, until the tray
    // shows idle again.
    bool handleMessagesUntilIdle() {
        return waitUntil([&] {
            window().deliverPosted();
            return std::ranges::any_of(tray.calls,
                                       [](const auto& call) { return call.data.icon == 108; });
        });
    }

    std::unique_ptr<FtpServer> server;
};

TEST_F(GrabUploadTest, ARunningGrabIsStoredOnTheServer) {
    Settings::setUpdate(1);
    build();
    command(menuCommand::run);
    // A file posted while the worker is still connecting is skipped, so grab until one is
    // stored.
    EXPECT_TRUE(waitUntil([&] {
        window().tick();
        return std::filesystem::exists(server->home() / "cam.jpg");
    }));
    command(menuCommand::run);
}

TEST_F(GrabUploadTest, AnUploadFailureShowsIdleBeforeTheBox) {
    Settings::setPassword("wrong");
    Settings::setStopOnError(true);
    Settings::setUpdate(60);
    build();
    command(menuCommand::run);
    system.log.take();
    // Each instant grab posts a file; once the worker has stopped on the refused login, the
    // next post reports it and the grabber stops.
    ASSERT_TRUE(waitUntil([&] {
        command(menuCommand::instantGrab);
        return !running();
    }));
    const auto log = system.log.take();
    const auto at = [&](const std::string& entry) {
        return std::find(log.begin(), log.end(), entry) - log.begin();
    };
    const auto box = at("error box " + connectMessage + "\n\n Webcam has been stopped.");
    ASSERT_LT(box, static_cast<long>(log.size()));
    EXPECT_LT(at("tray 1 icon 108 flags 6"), box);
    EXPECT_LT(at(menuEntry("uncheck", menuCommand::run)), box);
    EXPECT_LT(at(menuEntry("enable", menuCommand::ftpSettings)), box);
    EXPECT_EQ(errorBoxes, std::vector<std::string>{"kavri WebCam Error|" + connectMessage +
                                                   "\n\n Webcam has been stopped."});
    EXPECT_TRUE(window().timers.empty());
}

TEST_F(GrabUploadTest, FtpOffAtRunMeansNoUploadForTheWholeRun) {
    Settings::setActive(false);
    Settings::setUpdate(1);
    build();
    command(menuCommand::run);
    // Switched on while running, FTP waits for the next Run.
    Settings::setActive(true);
    for (int tick = 0; tick < 6; ++tick) {
        window().tick();
    }
    command(menuCommand::run);
    EXPECT_EQ(framesSaved, 3);
    EXPECT_EQ(server->connectionCount(), 0);

    // The same with FTP on at Run does connect.
    command(menuCommand::run);
    EXPECT_TRUE(waitUntil([&] { return server->loginCount() == 1; }));
    command(menuCommand::run);
}

// One row: how many times Instant Grab! is chosen before the first upload's end is handled,
// and how many uploads that makes.
struct InstantUploadRow {
    const char* name;
    int grabs;
    int uploads;
};

void PrintTo(const InstantUploadRow& row, std::ostream* out) {
    *out << row.name;
}

class InstantUploadTest : public GrabUploadTest,
                          public testing::WithParamInterface<InstantUploadRow> {};

TEST_P(InstantUploadTest, WhileIdleUploadsInTheBackgroundAndTheNewestGrabLast) {
    build();
    for (int grab = 0; grab < GetParam().grabs; ++grab) {
        command(menuCommand::instantGrab);
    }
    EXPECT_EQ(framesSaved, GetParam().grabs);
    ASSERT_TRUE(handleMessagesUntilIdle());
    EXPECT_TRUE(waitUntil([&] { return server->storedCount() == GetParam().uploads; }));
    const auto calls = tray.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].data.icon, 142);
    EXPECT_EQ(calls[0].data.tip, activeTip + " [instant grab]");
    EXPECT_EQ(calls[1].data.icon, 108);
    EXPECT_EQ(calls[1].data.tip, inactiveTip);
    EXPECT_TRUE(errorBoxes.empty());
}

// Grabs made while an upload is going are not skipped, as they are while running: no later
// grab would bring the newest picture to the server. They make one more upload.
INSTANTIATE_TEST_SUITE_P(Grabs, InstantUploadTest,
                         testing::Values(InstantUploadRow{"One", 1, 1},
                                         InstantUploadRow{"ThreeBeforeTheFirstEnds", 3, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// One row: whether Run is chosen between the end of a failed instant upload and the
// handling of that end, and what the window then logs.
struct FailedInstantUploadRow {
    const char* name;
    bool runFirst;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
};

void PrintTo(const FailedInstantUploadRow& row, std::ostream* out) {
    *out << row.name;
}

class FailedInstantUploadTest : public GrabUploadTest,
                                public testing::WithParamInterface<FailedInstantUploadRow> {};

TEST_P(FailedInstantUploadTest, ShowsTheFtpErrorAloneOnceIdleUnlessRunTookOver) {
    Settings::setPassword("wrong");
    build();
    testing::internal::CaptureStderr();
    command(menuCommand::instantGrab);
    const bool ended = waitUntil([&] { return window().hasPosted(); });
    // Standard error tells why, as it does for the upload thread.
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::StartsWith("kavriWebCam: upload failing: connect to 127.0.0.1:"));
    ASSERT_TRUE(ended);
    if (GetParam().runFirst) {
        command(menuCommand::run);
    }
    while (window().deliverPosted()) {
    }
    EXPECT_EQ(system.log.take(), GetParam().log);
    EXPECT_EQ(errorBoxes, GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, FailedInstantUploadTest,
    testing::Values(FailedInstantUploadRow{"WhileIdle",
                                           false,
                                           {"tray 1 icon 142 flags 6", "tray 1 icon 108 flags 6",
                                            "error box " + connectMessage},
                                           {"kavri WebCam Error|" + connectMessage}},
                    FailedInstantUploadRow{"RunBeforeItsEndIsHandled",
                                           true,
                                           {"tray 1 icon 142 flags 6", "timer set 303,500",
                                            menuEntry("check", menuCommand::run),
                                            menuEntry("grey", menuCommand::ftpSettings),
                                            "tray 1 icon 140 flags 6"},
                                           {}}),
    [](const auto& info) { return std::string(info.param.name); });

class SilentServerTest : public GrabUploadTest {
protected:
    void SetUp() override { startServer(FtpServer::Options{FtpServer::Mode::Silent}); }
};

TEST_F(SilentServerTest, AnInstantUploadThatHangsHoldsNeitherTheWindowNorExit) {
    build();
    command(menuCommand::instantGrab);
    ASSERT_TRUE(waitUntil([&] { return server->connectionCount() == 1; }));
    command(menuCommand::hide);
    EXPECT_FALSE(window().visible);
    // Still uploading.
    EXPECT_EQ(trayIcons(), std::vector<int>{142});

    const auto begin = std::chrono::steady_clock::now();
    command(menuCommand::exitProgram);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    EXPECT_TRUE(window().destroyed);
    EXPECT_TRUE(errorBoxes.empty());
}

TEST_F(GrabUploadTest, InstantGrabWhileIdleUploadsNothingWhenTheGrabFails) {
    service.saveFrame = nullptr;
    build();
    command(menuCommand::instantGrab);
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_TRUE(errorBoxes.empty());
}

} // namespace
