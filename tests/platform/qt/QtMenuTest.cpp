#include "platform/qt/QtMenu.h"

#include "ProcessEvents.h"
#include "RecordedMessage.h"
#include "platform/TopLevelWindow.h"
#include "platform/qt/QtWindowSystem.h"
#include "res/MenuTemplates.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace menuCommand;

// What one item of a QMenu shows: its text, id (0 for none), and whether it is a
// separator, a submenu, enabled, checked.
struct Shown {
    std::string text;
    int id = 0;
    bool separator = false;
    bool submenu = false;
    bool enabled = true;

    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& s) {
    return out << "{\"" << s.text << "\", " << s.id << (s.separator ? ", sep" : "")
               << (s.submenu ? ", popup" : "") << (s.enabled ? "" : ", grey") << "}";
}

Shown item(const char* text, int id) {
    return {text, id};
}
const Shown sep{"", 0, true};
Shown popup(const char* text) {
    return {text, 0, false, true};
}

std::vector<Shown> shown(const QMenu* menu) {
    std::vector<Shown> items;
    for (const QAction* action : menu->actions()) {
        items.push_back({action->text().toStdString(), action->data().toInt(),
                         action->isSeparator(), action->menu() != nullptr, action->isEnabled()});
    }
    return items;
}

QMenu* qmenuOf(Menu* menu) {
    return static_cast<QtMenu*>(menu)->widget();
}

QAction* actionOf(Menu& menu, int id) {
    for (QAction* action : qmenuOf(&menu)->findChildren<QAction*>()) {
        if (!action->isSeparator() && !action->menu() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

class QtMenuTest : public testing::Test {
protected:
    void SetUp() override {
        bar = system.loadMenu(mainMenuId);
        ASSERT_NE(bar, nullptr);
        context = bar->subMenu(0);
        ASSERT_NE(context, nullptr);
        window = system.createWindow(0, 0, "", {0, 0, 100, 100}, recorder.procedure());
    }

    // Opens the context menu and, from inside its loop, triggers the item id (if it has
    // one); returns the commands posted to the window.
    std::vector<RecordedMessage> choose(int id) {
        QTimer::singleShot(20, [&] {
            if (QAction* action = actionOf(*context, id)) {
                action->trigger();
            }
            // An item that cannot be chosen leaves the menu open: close it.
            qmenuOf(context)->close();
        });
        context->track({40, 30}, *window);
        processEventsUntil([&] { return !recorder.messages.empty(); }, 200);
        return recorder.only(windowMessage::WM_COMMAND);
    }

    QtWindowSystem system;
    MessageRecorder recorder;
    std::unique_ptr<Menu> bar;
    Menu* context = nullptr;
    std::unique_ptr<TopLevelWindow> window;
};

TEST_F(QtMenuTest, TheBarHoldsTheFilePopupOnly) {
    EXPECT_EQ(bar->itemCount(), 1);
    EXPECT_EQ(shown(qmenuOf(bar.get())), (std::vector<Shown>{popup("&File")}));
    EXPECT_EQ(bar->subMenu(1), nullptr);
    EXPECT_EQ(system.loadMenu(108), nullptr);
}

TEST_F(QtMenuTest, TheContextMenuHasEveryItemInOrder) {
    const std::vector<Shown> expected{
        item("Hide", hide),
        sep,
        item("Run", run),
        item("Instant Grab!", instantGrab),
        sep,
        popup("&Settings..."),
        popup("&Camera Settings..."),
        popup("Window Zoom"),
        sep,
        popup("Select Device..."),
        sep,
        item("About", about),
        item("E&xit", exitProgram),
    };
    EXPECT_EQ(shown(qmenuOf(context)), expected);
    EXPECT_EQ(context->itemCount(), 13);
    for (int position : {0, 1, 2, 3, 4, 8, 10, 11, 12, 13, -1}) {
        EXPECT_EQ(context->subMenu(position), nullptr) << position;
    }
}

struct SubmenuCase {
    const char* name;
    int position;
    std::vector<Shown> items;
};

void PrintTo(const SubmenuCase& c, std::ostream* out) {
    *out << c.name;
}

class QtSubmenuTest : public QtMenuTest, public testing::WithParamInterface<SubmenuCase> {};

TEST_P(QtSubmenuTest, HoldsItsItemsInOrder) {
    Menu* sub = context->subMenu(GetParam().position);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(shown(qmenuOf(sub)), GetParam().items);
    EXPECT_EQ(sub->itemCount(), static_cast<int>(GetParam().items.size()));
}

INSTANTIATE_TEST_SUITE_P(
    ContextMenu, QtSubmenuTest,
    testing::Values(
        SubmenuCase{"Settings",
                    5,
                    {item("Image...", imageSettings), item("FTP...", ftpSettings), sep,
                     item("Save On Exit", saveOnExit), item("Save Settings", saveSettings)}},
        SubmenuCase{"Camera",
                    6,
                    {item("Format...", videoFormat), item("Source...", videoSource),
                     item("Display...", videoDisplay), sep, item("Preview...", previewSettings)}},
        SubmenuCase{"Zoom",
                    7,
                    {item("25%", 32786), item("37%", 32787), item("50%", 32788), item("75%", 32789),
                     item("100%", 32790), item("150%", 32791), item("200%", 32792),
                     item("250%", 32793), item("300%", 32794), item("Full", 32795)}},
        SubmenuCase{"Devices",
                    9,
                    {Shown{"Available Devices:", availableDevices, false, false, false}, sep}}),
    [](const testing::TestParamInfo<SubmenuCase>& info) { return info.param.name; });

TEST_F(QtMenuTest, DevicesAreAppendedBehindTheHeadingAndRemoved) {
    Menu* devices = context->subMenu(9);
    ASSERT_NE(devices, nullptr);
    devices->appendItem(firstDevice + 0, "USB Camera (/dev/video0)");
    devices->appendItem(firstDevice + 1, "Test Source");
    devices->appendItem(firstDevice + 2, "Cam & Mic");
    EXPECT_EQ(devices->itemCount(), 5);
    const std::vector<Shown> items = shown(qmenuOf(devices));
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[2], item("USB Camera (/dev/video0)", 32809));
    EXPECT_EQ(items[3], item("Test Source", 32810));
    EXPECT_EQ(items[4], item("Cam & Mic", 32811));

    EXPECT_TRUE(context->checkItem(32810, true));
    EXPECT_TRUE(actionOf(*context, 32810)->isChecked());
    EXPECT_TRUE(context->checkItem(32810, false));
    EXPECT_FALSE(actionOf(*context, 32810)->isChecked());
    // An unchecked item shows no mark at all, not an empty box.
    EXPECT_FALSE(actionOf(*context, 32810)->isCheckable());

    EXPECT_TRUE(context->removeItem(32810)) << "found from an enclosing menu";
    EXPECT_FALSE(devices->removeItem(32810));
    EXPECT_EQ(devices->itemCount(), 4);
    EXPECT_EQ(shown(qmenuOf(devices)).back(), item("Cam & Mic", 32811));
}

TEST_F(QtMenuTest, ChecksReachItemsInSubmenusByIdFromAnyEnclosingMenu) {
    EXPECT_TRUE(bar->checkItem(saveOnExit, true));
    EXPECT_TRUE(actionOf(*context, saveOnExit)->isChecked());
    EXPECT_TRUE(context->checkItem(run, true));
    EXPECT_TRUE(actionOf(*context, run)->isChecked());
    EXPECT_FALSE(context->checkItem(12345, true));
    EXPECT_FALSE(context->subMenu(6)->checkItem(run, true));
}

TEST_F(QtMenuTest, ZoomItemsFormOneRadioGroupWithOneMark) {
    EXPECT_TRUE(context->checkRadioItem(zoomFirst, zoomLast, zoomFirst + 3));
    EXPECT_TRUE(context->checkRadioItem(zoomFirst, zoomLast, zoomLast));
    QActionGroup* group = actionOf(*context, zoomFirst)->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isExclusive());
    EXPECT_EQ(group->actions().size(), 10);
    for (int id = zoomFirst; id <= zoomLast; ++id) {
        EXPECT_EQ(actionOf(*context, id)->isChecked(), id == zoomLast) << id;
        EXPECT_EQ(actionOf(*context, id)->actionGroup(), group) << id;
    }
    EXPECT_FALSE(context->checkRadioItem(zoomFirst, zoomLast, run));
    EXPECT_FALSE(context->checkRadioItem(1, 2, 1));
}

TEST_F(QtMenuTest, GreyingAndEnablingWorkById) {
    EXPECT_TRUE(context->enableItem(videoDisplay, false));
    EXPECT_FALSE(actionOf(*context, videoDisplay)->isEnabled());
    EXPECT_TRUE(context->enableItem(videoDisplay, true));
    EXPECT_TRUE(actionOf(*context, videoDisplay)->isEnabled());
    EXPECT_FALSE(context->enableItem(4711, false));
}

TEST_F(QtMenuTest, TheChosenItemArrivesAsACommand) {
    const auto commands = choose(instantGrab);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], (RecordedMessage{windowMessage::WM_COMMAND, 145, 0}));
    EXPECT_FALSE(qmenuOf(context)->isVisible());
}

TEST_F(QtMenuTest, AnItemOfASubmenuArrivesAsACommand) {
    const auto commands = choose(zoomFirst + 4);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, 32790u);
}

TEST_F(QtMenuTest, ChoosingDoesNotChangeTheMarks) {
    context->checkItem(saveOnExit, true);
    context->checkRadioItem(zoomFirst, zoomLast, zoomFirst + 3);
    ASSERT_EQ(choose(saveOnExit).size(), 1u);
    EXPECT_TRUE(actionOf(*context, saveOnExit)->isChecked());
    recorder.messages.clear();
    ASSERT_EQ(choose(zoomFirst + 4).size(), 1u);
    EXPECT_TRUE(actionOf(*context, zoomFirst + 3)->isChecked());
    EXPECT_FALSE(actionOf(*context, zoomFirst + 4)->isChecked());
    recorder.messages.clear();
    ASSERT_EQ(choose(zoomFirst + 3).size(), 1u);
    EXPECT_TRUE(actionOf(*context, zoomFirst + 3)->isChecked());
}

TEST_F(QtMenuTest, AGreyItemOrNoChoiceSendsNothing) {
    context->enableItem(videoFormat, false);
    EXPECT_TRUE(choose(videoFormat).empty());
    EXPECT_TRUE(choose(availableDevices).empty());
    EXPECT_TRUE(choose(0).empty());
}

} // namespace
