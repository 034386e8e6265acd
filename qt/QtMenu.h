#pragma once

#include "platform/Menu.h"
#include "platform/MenuTemplate.h"

#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

// A menu as a QMenu tree built from a menu template. Every item is a QAction whose data is
// its command id; popups are submenus. Check marks and radio marks change only when the
// program sets them: choosing a checkable item does not toggle it as Qt would by itself.
class QtMenu : public Menu {
public:
    // The menu of the template: a QMenu holding the template's items.
    explicit QtMenu(const MenuTemplate& menuTemplate);
    ~QtMenu() override;
    QtMenu(const QtMenu&) = delete;
    QtMenu& operator=(const QtMenu&) = delete;

    Menu* subMenu(int position) override;
    int itemCount() const override;
    void appendItem(int id, const std::string& text) override;
    bool removeItem(int id) override;
    bool checkItem(int id, bool checked) override;
    bool checkRadioItem(int first, int last, int checked) override;
    bool enableItem(int id, bool enabled) override;
    bool setItemText(int id, const std::string& text) override;
    void track(Point screen, TopLevelWindow& owner) override;

    // The QMenu of this menu, for looking at it.
    QMenu* widget() const { return menu_; }

private:
    struct Item {
        QAction* action = nullptr;
        MenuItemKind kind = MenuItemKind::Command;
        std::unique_ptr<QtMenu> popup;
    };

    // A submenu living in parent's QMenu.
    QtMenu(QMenu* menu, std::span<const MenuItemTemplate> items);
    void addItems(std::span<const MenuItemTemplate> items);
    QAction* findCommand(int id) const;
    QtMenu* findHolder(int id);
    void collectCheckable(std::vector<QAction*>& actions) const;

    std::unique_ptr<QMenu> ownMenu_;
    QMenu* menu_ = nullptr;
    std::vector<Item> items_;
    QActionGroup* radioGroup_ = nullptr;
};
