#pragma once

#include "platform/Menu.h"
#include "platform/MenuTemplate.h"
#include "tests/support/CallLog.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A menu without a window: the items of a menu template with their check, radio and grey
// marks. Popping it up records the point and, when the test has chosen an item, posts
// that item's command to the owner as a real menu does.
class FakeMenu : public Menu {
public:
    struct Item {
        MenuItemKind kind;
        std::string text;
        int id = 0;
        bool grayed = false;
        bool checked = false;
        bool radio = false;
        std::unique_ptr<FakeMenu> popup;
    };

    FakeMenu(std::span<const MenuItemTemplate> items, CallLog* log);

    Menu* subMenu(int position) override;
    int itemCount() const override { return static_cast<int>(items.size()); }
    void appendItem(int id, const std::string& text) override;
    bool removeItem(int id) override;
    bool checkItem(int id, bool checked) override;
    bool checkRadioItem(int first, int last, int checked) override;
    bool enableItem(int id, bool enabled) override;
    void track(Point screen, TopLevelWindow& owner) override;

    // The item with this command id here or in a submenu; null when there is none.
    Item* find(int id);
    const Item* find(int id) const { return const_cast<FakeMenu*>(this)->find(id); }
    bool isChecked(int id) const { return find(id) && find(id)->checked; }
    bool isGrayed(int id) const { return find(id) && find(id)->grayed; }
    // The ids of the checked items among first to last.
    std::vector<int> checkedAmong(int first, int last) const;

    std::vector<Item> items;
    // Where track showed the menu, in order.
    std::vector<Point> trackedAt;
    // The item the next track chooses; it is used once.
    std::optional<int> choice;
    // Called while the menu is shown, as events are while a real one is.
    std::function<void()> whileShown;

private:
    CallLog* log;
};
