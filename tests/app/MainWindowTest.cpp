#include "app/MainWindow.h"

#include "platform/Exception.h"
#include "res/DialogTemplates.h"
#include "res/Version.h"
#include "tests/app/MainWindowFixture.h"

#include <filesystem>
#include <functional>
#include <ostream>

namespace {

using namespace windowMessage;
using Msg = CaptureMessage;

const std::string nullCapture = "MainWindow:: Capture object is null!";

template <typename Action> std::string thrownText(Action action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.message;
    }
    return "(nothing thrown)";
}

TEST_F(MainWindowTest, TheWindowIsABorderedAlwaysOnTopToolPopupAt0x0In176x144) {
    construct(showCommand::SW_SHOWMINNOACTIVE);
    using namespace windowStyle;
    EXPECT_EQ(window().style, WS_POPUP | WS_VISIBLE | WS_BORDER);
    EXPECT_EQ(window().extStyle, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    EXPECT_EQ(window().title, "kavriWebCam");
    EXPECT_EQ(window().rect, (Rect{0, 0, 176, 144}));
    EXPECT_EQ(window().shownWith, showCommand::SW_SHOWMINNOACTIVE);
}

TEST_F(MainWindowTest, ConstructionAddsTheIdleTrayIcon) {
    construct();
    ASSERT_EQ(tray.calls.size(), 1u);
    const auto& call = tray.calls[0];
    EXPECT_EQ(call.action, trayAction::NIM_ADD);
    EXPECT_EQ(call.data.flags, trayFlag::NIF_MESSAGE | trayFlag::NIF_ICON | trayFlag::NIF_TIP);
    EXPECT_EQ(call.data.icon, 108);
    EXPECT_EQ(call.data.tip, "kavriWebCam v" KAVRI_VERSION " [inactive]");
    EXPECT_EQ(call.data.callbackMessage, 2001u);
    EXPECT_EQ(call.data.window, system.window);
}

TEST_F(MainWindowTest, AWindowThatCannotBeCreatedIsAnException) {
    system.createWorks = false;
    EXPECT_EQ(thrownText([&] { MainWindow failing(system, tray, dialogs, 1); }),
              "MainWindow::MainWindow  - CreateWindowEx");
    EXPECT_TRUE(tray.calls.empty());
}

TEST_F(MainWindowTest, ANullCaptureObjectIsRefused) {
    MainWindow bare(system, tray, dialogs, 1);
    EXPECT_EQ(thrownText([&] { bare.setCapture(nullptr); }), nullCapture);
    EXPECT_EQ(thrownText([&] { bare.setupMenus(); }), "Capture not set!");
}

struct NullCaptureRow {
    const char* name;
    int command;
};

void PrintTo(const NullCaptureRow& row, std::ostream* out) {
    *out << row.name;
}

class NullCaptureCommandTest : public MainWindowTest,
                               public testing::WithParamInterface<NullCaptureRow> {};

TEST_P(NullCaptureCommandTest, WithoutACaptureObjectTheCommandIsAnException) {
    MainWindow bare(system, tray, dialogs, 1);
    EXPECT_EQ(thrownText([&] {
                  system.window->deliver(WM_COMMAND,
                                         static_cast<std::uintptr_t>(GetParam().command));
              }),
              nullCapture);
    EXPECT_TRUE(dialogs.run.empty());
}

INSTANTIATE_TEST_SUITE_P(Commands, NullCaptureCommandTest,
                         testing::Values(NullCaptureRow{"Format", menuCommand::videoFormat},
                                         NullCaptureRow{"Display", menuCommand::videoDisplay},
                                         NullCaptureRow{"Source", menuCommand::videoSource},
                                         NullCaptureRow{"Preview", menuCommand::previewSettings},
                                         NullCaptureRow{"Zoom", menuCommand::zoomFirst + 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ThreeDevicesAreListedBehindTheHeadingWithExactlyOneCheck) {
    service.refusing = {0};
    build();
    const auto* devices = static_cast<FakeMenu*>(menu().subMenu(0)->subMenu(9));
    ASSERT_NE(devices, nullptr);
    ASSERT_EQ(devices->items.size(), 5u);
    EXPECT_EQ(devices->items[0].text, "Available Devices:");
    EXPECT_TRUE(devices->items[0].grayed);
    EXPECT_EQ(devices->items[1].kind, MenuItemKind::Separator);
    const std::vector<std::pair<int, std::string>> expected{
        {menuCommand::firstDevice, "Cam Zero"},
        {menuCommand::firstDevice + 1, "Cam One"},
        {menuCommand::firstDevice + 2, "Cam Two"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(devices->items[i + 2].id, expected[i].first);
        EXPECT_EQ(devices->items[i + 2].text, expected[i].second);
    }
    // Device 0 refuses, so the first that connects is checked.
    EXPECT_EQ(menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
              std::vector<int>{menuCommand::firstDevice + 1});
}

TEST_F(MainWindowTest, ChoosingADeviceMovesTheCheckToTheOneThatConnected) {
    build();
    EXPECT_EQ(menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
              std::vector<int>{menuCommand::firstDevice});
    command(menuCommand::firstDevice + 2);
    EXPECT_EQ(capture->deviceIndex, 2);
    EXPECT_EQ(menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
              std::vector<int>{menuCommand::firstDevice + 2});
    service.refusing = {1};
    command(menuCommand::firstDevice + 1);
    EXPECT_EQ(capture->deviceIndex, 0);
    EXPECT_EQ(menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
              std::vector<int>{menuCommand::firstDevice});
}

// Menu 109 with its device submenu turned into a plain command, as a damaged menu resource
// would have it.
const MenuTemplate* menuWithoutDevices() {
    static const std::vector<MenuItemTemplate> context = [] {
        const auto popup = findMenuTemplate(mainMenuId)->items[0].popup;
        std::vector<MenuItemTemplate> items(popup.begin(), popup.end());
        for (MenuItemTemplate& item : items) {
            if (item.kind == MenuItemKind::Popup &&
                item.popup[0].id == menuCommand::availableDevices) {
                item = MenuItemTemplate{MenuItemKind::Command, item.text};
            }
        }
        return items;
    }();
    static const MenuItemTemplate bar[] = {{MenuItemKind::Popup, "&File", 0, false, context}};
    static const MenuTemplate menu{bar};
    return &menu;
}

TEST_F(MainWindowTest, AMissingDeviceSubmenuShowsTheScrewUpBoxAndSetUpGoesOn) {
    system.menuTemplate = menuWithoutDevices();
    construct();
    mainWindow->setupMenus();
    ASSERT_EQ(system.boxes.size(), 1u);
    EXPECT_EQ(system.boxes[0].text, "Internal screw-up...");
    EXPECT_EQ(system.boxes[0].caption, "");
    EXPECT_EQ(system.boxes[0].owner, system.window);
    // Frame rate, placement and zoom still follow.
    EXPECT_EQ(window().rect.width(), 240);
    EXPECT_TRUE(menu().isChecked(menuCommand::zoomFirst + 3));
}

TEST_F(MainWindowTest, SetUpAppliesSaveOnExitFrameRatePlacementAndZoom) {
    Settings::setSaveSettingsOnExit(true);
    Settings::setFps(20);
    construct();
    mainWindow->setPositionX(30);
    mainWindow->setPositionY(40);
    mainWindow->setZoomIndex(4);
    service.sent.clear();
    mainWindow->setupMenus();
    EXPECT_TRUE(menu().isChecked(menuCommand::saveOnExit));
    EXPECT_NE(std::find(service.sent.begin(), service.sent.end(),
                        RecordingCaptureService::Sent{Msg::WM_CAP_SET_PREVIEWRATE, 50, ""}),
              service.sent.end());
    EXPECT_EQ(window().rect, (Rect{30, 40, 350, 280}));
    EXPECT_EQ(menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
              std::vector<int>{menuCommand::zoomFirst + 4});
    EXPECT_TRUE(system.boxes.empty());
}

struct CapsRow {
    const char* name;
    bool DriverCaps::*capability;
    int item;
};

void PrintTo(const CapsRow& row, std::ostream* out) {
    *out << row.name;
}

class DriverDialogGreyTest : public MainWindowTest, public testing::WithParamInterface<CapsRow> {};

TEST_P(DriverDialogGreyTest, ADialogTheDriverLacksIsGreyAndTheOthersAreNot) {
    service.capsToReport.*GetParam().capability = false;
    build();
    for (int item :
         {menuCommand::videoFormat, menuCommand::videoDisplay, menuCommand::videoSource}) {
        EXPECT_EQ(menu().isGrayed(item), item == GetParam().item) << item;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Caps, DriverDialogGreyTest,
    testing::Values(CapsRow{"Format", &DriverCaps::fHasDlgVideoFormat, menuCommand::videoFormat},
                    CapsRow{"Source", &DriverCaps::fHasDlgVideoSource, menuCommand::videoSource},
                    CapsRow{"Display", &DriverCaps::fHasDlgVideoDisplay,
                            menuCommand::videoDisplay}),
    [](const auto& info) { return std::string(info.param.name); });

// One row of the command table: the command, what to arrange first and what must hold after.
struct CommandRow {
    const char* name;
    int command;
    std::function<void(MainWindowTest&)> arrange;
    std::function<void(MainWindowTest&)> check;
};

void PrintTo(const CommandRow& row, std::ostream* out) {
    *out << row.name;
}

class CommandTableTest : public MainWindowTest, public testing::WithParamInterface<CommandRow> {
public:
    bool sentToDriver(Msg message) {
        return std::any_of(service.sent.begin(), service.sent.end(),
                           [&](const auto& sent) { return sent.message == message; });
    }
    using MainWindowTest::dialogs;
    using MainWindowTest::framesSaved;
    using MainWindowTest::menu;
    using MainWindowTest::running;
    using MainWindowTest::service;
    using MainWindowTest::system;
    using MainWindowTest::window;
};

TEST_P(CommandTableTest, TheCommandDoesWhatItsRowSays) {
    build();
    if (GetParam().arrange) {
        GetParam().arrange(*this);
    }
    EXPECT_EQ(command(GetParam().command), std::optional<std::intptr_t>(0));
    GetParam().check(*this);
}

CommandTableTest& self(MainWindowTest& test) {
    return static_cast<CommandTableTest&>(test);
}

const CommandRow commandRows[] = {
    {"About",
     menuCommand::about,
     {},
     [](MainWindowTest& t) { EXPECT_EQ(self(t).dialogs.run, std::vector<int>{aboutDialogId}); }},
    {"Exit",
     menuCommand::exitProgram,
     {},
     [](MainWindowTest& t) {
         EXPECT_TRUE(self(t).window().destroyed);
         EXPECT_EQ(self(t).system.quitCode, 0);
     }},
    {"InstantGrab",
     menuCommand::instantGrab,
     {},
     [](MainWindowTest& t) { EXPECT_EQ(self(t).framesSaved, 1); }},
    {"FtpSettings",
     menuCommand::ftpSettings,
     {},
     [](MainWindowTest& t) {
         EXPECT_EQ(self(t).dialogs.run, std::vector<int>{ftpSettingsDialogId});
     }},
    {"Format", menuCommand::videoFormat,
     [](MainWindowTest& t) {
         self(t).service.statusToReport.uiImageWidth = 640;
         self(t).service.statusToReport.uiImageHeight = 480;
     },
     [](MainWindowTest& t) {
         EXPECT_TRUE(self(t).sentToDriver(Msg::WM_CAP_DLG_VIDEOFORMAT));
         // The new image size at the current zoom, 75%.
         EXPECT_EQ(self(t).window().rect.width(), 480);
         EXPECT_EQ(self(t).window().rect.height(), 360);
     }},
    {"Display",
     menuCommand::videoDisplay,
     {},
     [](MainWindowTest& t) { EXPECT_TRUE(self(t).sentToDriver(Msg::WM_CAP_DLG_VIDEODISPLAY)); }},
    {"Source",
     menuCommand::videoSource,
     {},
     [](MainWindowTest& t) { EXPECT_TRUE(self(t).sentToDriver(Msg::WM_CAP_DLG_VIDEOSOURCE)); }},
    {"Zoom150",
     menuCommand::zoomFirst + 5,
     {},
     [](MainWindowTest& t) {
         EXPECT_EQ(self(t).window().rect.width(), 480);
         EXPECT_EQ(self(t).menu().checkedAmong(menuCommand::zoomFirst, menuCommand::zoomLast),
                   std::vector<int>{menuCommand::zoomFirst + 5});
     }},
    {"ImageSettings",
     menuCommand::imageSettings,
     {},
     [](MainWindowTest& t) {
         EXPECT_EQ(self(t).dialogs.run, std::vector<int>{imageSettingsDialogId});
         // Idle: nothing to restart.
         EXPECT_TRUE(self(t).window().timers.empty());
     }},
    {"PreviewSettings", menuCommand::previewSettings,
     [](MainWindowTest& t) {
         self(t).dialogs.script = [](FakeDialogHost& host, const DialogProcedure& procedure) {
             host.setItemText(previewSettingsItem::fps, "10");
             host.press(procedure, dialogOk);
         };
     },
     [](MainWindowTest& t) {
         EXPECT_EQ(self(t).dialogs.run, std::vector<int>{previewSettingsDialogId});
         EXPECT_EQ(Settings::getFps(), 10);
         const auto& sent = self(t).service.sent;
         EXPECT_NE(std::find(sent.begin(), sent.end(),
                             RecordingCaptureService::Sent{Msg::WM_CAP_SET_PREVIEWRATE, 100, ""}),
                   sent.end());
     }},
    {"Hide",
     menuCommand::hide,
     {},
     [](MainWindowTest& t) { EXPECT_FALSE(self(t).window().visible); }},
    {"Run", menuCommand::run, {}, [](MainWindowTest& t) { EXPECT_TRUE(self(t).running()); }},
    {"SaveOnExit",
     menuCommand::saveOnExit,
     {},
     [](MainWindowTest& t) {
         EXPECT_TRUE(Settings::getSaveSettingsOnExit());
         EXPECT_TRUE(self(t).menu().isChecked(menuCommand::saveOnExit));
     }},
    {"SaveSettings",
     menuCommand::saveSettings,
     {},
     [](MainWindowTest&) { EXPECT_TRUE(std::filesystem::exists("kavriWebCam.ini")); }},
    {"Device",
     menuCommand::firstDevice + 1,
     {},
     [](MainWindowTest& t) {
         EXPECT_EQ(self(t).menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
                   std::vector<int>{menuCommand::firstDevice + 1});
     }},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandTableTest, testing::ValuesIn(commandRows),
                         [](const auto& info) { return std::string(info.param.name); });

class UnknownCommandTest : public MainWindowTest, public testing::WithParamInterface<int> {};

TEST_P(UnknownCommandTest, GoesToDefaultProcessingAndDoesNothing) {
    build();
    EXPECT_EQ(command(GetParam()), std::nullopt);
    EXPECT_TRUE(system.log.entries.empty());
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(dialogs.run.empty());
}

INSTANTIATE_TEST_SUITE_P(Ids, UnknownCommandTest,
                         testing::Values(0, 1, menuCommand::about - 1, menuCommand::exitProgram + 1,
                                         menuCommand::instantGrab - 1, menuCommand::instantGrab + 1,
                                         menuCommand::ftpSettings - 1, menuCommand::ftpSettings + 1,
                                         menuCommand::zoomFirst - 1, menuCommand::zoomLast + 1,
                                         menuCommand::availableDevices, menuCommand::lastDevice + 1,
                                         40000));

TEST_F(MainWindowTest, SaveOnExitTwiceLeavesSettingAndCheckAsTheyWere) {
    build();
    command(menuCommand::saveOnExit);
    command(menuCommand::saveOnExit);
    EXPECT_FALSE(Settings::getSaveSettingsOnExit());
    EXPECT_FALSE(menu().isChecked(menuCommand::saveOnExit));
}

TEST_F(MainWindowTest, PaintForeignTimersUnknownMessagesAndDestroy) {
    build();
    EXPECT_EQ(window().deliver(WM_PAINT), std::optional<std::intptr_t>(0));
    EXPECT_EQ(window().deliver(WM_TIMER, 304), std::optional<std::intptr_t>(0));
    EXPECT_EQ(window().deliver(6 /* activation */), std::nullopt);
    EXPECT_TRUE(system.log.entries.empty());
    EXPECT_EQ(window().deliver(WM_DESTROY), std::optional<std::intptr_t>(0));
    EXPECT_EQ(system.quitCode, 0);
}

TEST_F(MainWindowTest, TrayLeftClicksToggleHideAndShow) {
    build();
    const auto trayClick = [&](std::intptr_t mouse) {
        window().deliver(MainWindow::trayCallbackMessage, 0, mouse);
    };
    trayClick(WM_LBUTTONUP);
    EXPECT_FALSE(window().visible);
    trayClick(WM_LBUTTONUP);
    EXPECT_TRUE(window().visible);
    command(menuCommand::hide);
    EXPECT_FALSE(window().visible);
    trayClick(WM_LBUTTONUP);
    EXPECT_TRUE(window().visible);
    // Hide and show keep the window where it is.
    EXPECT_EQ(system.log.take(), (std::vector<std::string>{"window hide", "window show",
                                                           "window hide", "window show"}));
    trayClick(WM_LBUTTONDOWN);
    trayClick(WM_RBUTTONUP);
    trayClick(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(system.log.entries.empty());
}

TEST_F(MainWindowTest, ARightPressOnTheTrayListsTheDevicesPresentAndOpensTheMenuAtTheCursor) {
    build();
    // A camera plugged in since, listed before the one in use.
    service.descriptions = {"New Cam", "Cam Zero", "Cam One", "Cam Two"};
    service.connectedIndex = 1;
    system.cursor = {900, 750};
    window().deliver(MainWindow::trayCallbackMessage, 0, WM_RBUTTONDOWN);
    EXPECT_EQ(
        system.log.take(),
        (std::vector<std::string>{"menu append 32809 New Cam", "menu append 32810 Cam Zero",
                                  "menu append 32811 Cam One", "menu append 32812 Cam Two",
                                  "menu check 32810", "window foreground", "menu track 900,750"}));
    EXPECT_EQ(menu().subMenu(0)->subMenu(9)->itemCount(), 6) << "heading, separator, devices";
    EXPECT_EQ(menu().checkedAmong(menuCommand::firstDevice, menuCommand::lastDevice),
              std::vector<int>{menuCommand::firstDevice + 1});
    EXPECT_EQ(capture->deviceIndex, 1);
}

TEST_F(MainWindowTest, ATrayPressWhileTheMenuIsShownLeavesItsItemsAlone) {
    build();
    auto* popup = static_cast<FakeMenu*>(menu().subMenu(0));
    popup->whileShown = [&] {
        service.descriptions = {"Cam Zero"};
        window().deliver(MainWindow::trayCallbackMessage, 0, WM_RBUTTONDOWN);
    };
    window().deliver(MainWindow::trayCallbackMessage, 0, WM_RBUTTONDOWN);
    EXPECT_EQ(popup->trackedAt.size(), 1u);
    EXPECT_EQ(popup->subMenu(9)->itemCount(), 5) << "the shown items are not taken away";
}

TEST_F(MainWindowTest, ARightPressOnTheWindowOpensTheMenuThereAndDeliversTheChoice) {
    build();
    window().move(100, 200);
    auto* popup = static_cast<FakeMenu*>(menu().subMenu(0));
    popup->choice = menuCommand::about;
    window().deliver(WM_RBUTTONDOWN, mouseKey::MK_RBUTTON, packMousePosition(5, 7));
    EXPECT_EQ(popup->trackedAt, std::vector<Point>{window().clientToScreen({5, 7})});
    while (window().deliverPosted()) {
    }
    EXPECT_EQ(dialogs.run, std::vector<int>{aboutDialogId});
}

TEST_F(MainWindowTest, MouseMessagesPassedOnByTheCaptureWindowAreHandledAsOwn) {
    build();
    ASSERT_TRUE(service.hook);
    service.hook(MouseMessage::WM_LBUTTONDBLCLK, mouseKey::MK_LBUTTON, packMousePosition(3, 3));
    EXPECT_EQ(framesSaved, 1);
    service.hook(MouseMessage::WM_LBUTTONDOWN, mouseKey::MK_LBUTTON, packMousePosition(3, 3));
    EXPECT_TRUE(window().mouseCaptured);
}

TEST_F(MainWindowTest, MessageLoopHandlesRunThenHideAndReturnsTheQuitCode) {
    build();
    std::vector<FakeTopLevelWindow::Message> waiting;
    system.idle = [&] { command(menuCommand::exitProgram); };
    system.runHook = [&] { waiting.assign(window().posted.begin(), window().posted.end()); };
    EXPECT_EQ(mainWindow->messageLoop(true, true), 0);
    EXPECT_EQ(waiting, (std::vector<FakeTopLevelWindow::Message>{
                           {WM_COMMAND, menuCommand::run, 0}, {WM_COMMAND, menuCommand::hide, 0}}));
    const auto log = system.log.take();
    const auto at = [&](const std::string& entry) {
        return std::find(log.begin(), log.end(), entry) - log.begin();
    };
    EXPECT_LT(at("timer set 303,500"), at("window hide"));
    EXPECT_LT(at("window hide"), at("window destroy"));
}

TEST_F(MainWindowTest, MessageLoopWithoutSwitchesPostsNothing) {
    build();
    std::vector<FakeTopLevelWindow::Message> waiting{{0, 0, 0}};
    bool runningWhenIdle = true;
    system.runHook = [&] { waiting.assign(window().posted.begin(), window().posted.end()); };
    system.idle = [&] {
        runningWhenIdle = running();
        command(menuCommand::exitProgram);
    };
    EXPECT_EQ(mainWindow->messageLoop(false, false), 0);
    EXPECT_TRUE(waiting.empty());
    EXPECT_FALSE(runningWhenIdle);
    EXPECT_TRUE(window().visible);
}

TEST_F(MainWindowTest, ShutdownSavesBeforeTheTrayIconLeavesWhileTheCaptureObjectLives) {
    Settings::setSaveSettingsOnExit(true);
    build();
    command(menuCommand::run);
    tray.take();
    bool savedBeforeDelete = false;
    tray.onNotify = [&](std::int32_t action) {
        if (action == trayAction::NIM_DELETE) {
            savedBeforeDelete = std::filesystem::exists("kavriWebCam.ini");
        }
    };
    mainWindow->shutdown();
    EXPECT_TRUE(savedBeforeDelete);
    const auto calls = tray.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].action, trayAction::NIM_MODIFY);
    EXPECT_EQ(calls[0].data.icon, 108);
    EXPECT_EQ(calls[1].action, trayAction::NIM_DELETE);
    EXPECT_TRUE(window().timers.empty());
    // Only the first call acts.
    mainWindow->shutdown();
    mainWindow.reset();
    EXPECT_TRUE(tray.calls.empty());
}

TEST_F(MainWindowTest, ShutdownWithoutSaveOnExitWritesNoFile) {
    build();
    mainWindow->shutdown();
    EXPECT_FALSE(std::filesystem::exists("kavriWebCam.ini"));
}

TEST_F(MainWindowTest, AWindowNeverGivenACaptureObjectShutsDownWithoutSaving) {
    Settings::setSaveSettingsOnExit(true);
    { MainWindow bare(system, tray, dialogs, 1); }
    EXPECT_FALSE(std::filesystem::exists("kavriWebCam.ini"));
    ASSERT_EQ(tray.calls.size(), 3u);
    EXPECT_EQ(tray.calls.back().action, trayAction::NIM_DELETE);
}

TEST_F(MainWindowTest, BeforeMenuSetUpTheMenuCannotOpenAndMenuChangesDoNothing) {
    construct();
    system.log.take();
    window().deliver(MainWindow::trayCallbackMessage, 0, WM_RBUTTONDOWN);
    window().deliver(WM_RBUTTONDOWN, mouseKey::MK_RBUTTON, packMousePosition(5, 5));
    command(menuCommand::saveOnExit);
    EXPECT_TRUE(system.log.entries.empty());
}

TEST_F(MainWindowTest, ExitStopsShutsDownAndDestroysTheWindowInThatOrder) {
    build();
    command(menuCommand::run);
    system.log.take();
    command(menuCommand::exitProgram);
    const auto log = system.log.take();
    // Exit stops, then shutdown stops once more (which finds no timer but still puts menu
    // and tray into the idle state), removes the icon and the window goes.
    const std::vector<std::string> expected{"timer kill 303",
                                            menuEntry("uncheck", menuCommand::run),
                                            menuEntry("enable", menuCommand::ftpSettings),
                                            "timer kill 303",
                                            menuEntry("uncheck", menuCommand::run),
                                            menuEntry("enable", menuCommand::ftpSettings),
                                            "tray 2 icon 108 flags 0",
                                            "window destroy",
                                            "quit 0"};
    std::vector<std::string> relevant;
    std::copy_if(log.begin(), log.end(), std::back_inserter(relevant), [](const std::string& e) {
        return e.starts_with("timer") || e.starts_with("menu") || e.starts_with("tray 2") ||
               e.starts_with("window") || e.starts_with("quit");
    });
    EXPECT_EQ(relevant, expected);
}

} // namespace
