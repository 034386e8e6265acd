#include "platform/qt/QtMenu.h"

#include "platform/MenuTemplate.h"
#include "platform/qt/QtWindowSystem.h"
#include "res/MenuTemplates.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <memory>
#include <span>

namespace {

using namespace menuCommand;

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

// Every item of the template is shown in its place, with its text, kind and greying.
void expectShown(const QMenu* menu, std::span<const MenuItemTemplate> items) {
    ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QAction* action = menu->actions()[static_cast<qsizetype>(i)];
        SCOPED_TRACE(std::string(items[i].text));
        EXPECT_EQ(action->text().toStdString(), items[i].text);
        EXPECT_EQ(action->isSeparator(), items[i].kind == MenuItemKind::Separator);
        EXPECT_EQ(action->isEnabled(), !items[i].grayed);
        EXPECT_FALSE(action->isChecked());
        if (items[i].kind == MenuItemKind::Popup) {
            ASSERT_NE(action->menu(), nullptr);
            expectShown(action->menu(), items[i].popup);
        }
    }
}

class QtMenuTest : public testing::Test {
protected:
    void SetUp() override {
        bar = system.loadMenu(mainMenuId);
        ASSERT_NE(bar, nullptr);
        context = bar->subMenu(0);
    }

    QtWindowSystem system;
    std::unique_ptr<Menu> bar;
    Menu* context = nullptr;
};

TEST_F(QtMenuTest, ShowsItsTemplate) {
    expectShown(qmenuOf(bar.get()), findMenuTemplate(mainMenuId)->items);
}

TEST_F(QtMenuTest, MarksAndGreyingReachItemsInSubmenusById) {
    EXPECT_TRUE(bar->checkItem(saveOnExit, true));
    EXPECT_TRUE(actionOf(*context, saveOnExit)->isChecked());
    EXPECT_TRUE(context->checkItem(saveOnExit, false));
    EXPECT_FALSE(actionOf(*context, saveOnExit)->isChecked());
    EXPECT_TRUE(context->checkRadioItem(zoomFirst, zoomLast, zoomFirst + 3));
    EXPECT_TRUE(context->checkRadioItem(zoomFirst, zoomLast, zoomLast));
    for (int id = zoomFirst; id <= zoomLast; ++id) {
        EXPECT_EQ(actionOf(*context, id)->isChecked(), id == zoomLast) << id;
    }
    EXPECT_TRUE(context->enableItem(ftpSettings, false));
    EXPECT_FALSE(actionOf(*context, ftpSettings)->isEnabled());
    EXPECT_TRUE(context->enableItem(ftpSettings, true));
    EXPECT_TRUE(actionOf(*context, ftpSettings)->isEnabled());
    EXPECT_FALSE(context->checkItem(12345, true));
}

TEST_F(QtMenuTest, DevicesAreAppendedBehindTheHeadingAndRemoved) {
    Menu* devices = context->subMenu(9);
    ASSERT_NE(devices, nullptr);
    devices->appendItem(firstDevice, "USB Camera (/dev/video0)");
    devices->appendItem(firstDevice + 1, "Cam & Mic");
    EXPECT_EQ(devices->itemCount(), 4);
    EXPECT_EQ(qmenuOf(devices)->actions()[3]->text(), "Cam & Mic");
    EXPECT_TRUE(context->checkItem(firstDevice + 1, true));
    EXPECT_TRUE(actionOf(*context, firstDevice + 1)->isChecked());
    EXPECT_TRUE(context->removeItem(firstDevice)) << "found from an enclosing menu";
    EXPECT_EQ(devices->itemCount(), 3);
}

} // namespace
