#include "qt/QtMenu.h"

#include "platform/TopLevelWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <algorithm>
#include <utility>

QtMenu::QtMenu(const MenuTemplate& menuTemplate)
    : ownMenu_(std::make_unique<QMenu>())
    , menu_(ownMenu_.get()) {
    addItems(menuTemplate.items);
}

QtMenu::QtMenu(QMenu* menu, std::span<const MenuItemTemplate> templateItems)
    : menu_(menu) {
    addItems(templateItems);
}

// The submenus' QMenus are children of this QMenu and go with it.
QtMenu::~QtMenu() = default;

void QtMenu::addItems(std::span<const MenuItemTemplate> templateItems) {
    for (const MenuItemTemplate& entry : templateItems) {
        Item item;
        item.kind = entry.kind;
        const QString text = QString::fromUtf8(entry.text.data(), qsizetype(entry.text.size()));
        switch (entry.kind) {
        case MenuItemKind::Command:
            item.action = menu_->addAction(text);
            item.action->setData(entry.id);
            break;
        case MenuItemKind::Separator:
            item.action = menu_->addSeparator();
            break;
        case MenuItemKind::Popup: {
            QMenu* sub = menu_->addMenu(text);
            item.action = sub->menuAction();
            item.popup.reset(new QtMenu(sub, entry.popup));
            break;
        }
        }
        item.action->setEnabled(!entry.grayed);
        items_.push_back(std::move(item));
    }
}

Menu* QtMenu::subMenu(int position) {
    if (position < 0 || position >= itemCount()) {
        return nullptr;
    }
    return items_[static_cast<std::size_t>(position)].popup.get();
}

int QtMenu::itemCount() const {
    return static_cast<int>(items_.size());
}

void QtMenu::appendItem(int id, const std::string& text) {
    Item item;
    item.action = menu_->addAction(QString::fromStdString(text));
    item.action->setData(id);
    items_.push_back(std::move(item));
}

bool QtMenu::removeItem(int id) {
    for (auto item = items_.begin(); item != items_.end(); ++item) {
        if (item->kind == MenuItemKind::Command && item->action->data().toInt() == id) {
            // A deleted action leaves every menu that shows it.
            delete item->action;
            items_.erase(item);
            return true;
        }
        if (item->popup && item->popup->removeItem(id)) {
            return true;
        }
    }
    return false;
}

QAction* QtMenu::findCommand(int id) const {
    for (const Item& item : items_) {
        if (item.kind == MenuItemKind::Command && item.action->data().toInt() == id) {
            return item.action;
        }
        if (item.popup) {
            if (QAction* found = item.popup->findCommand(id)) {
                return found;
            }
        }
    }
    return nullptr;
}

QtMenu* QtMenu::findHolder(int id) {
    for (const Item& item : items_) {
        if (item.kind == MenuItemKind::Command && item.action->data().toInt() == id) {
            return this;
        }
    }
    for (const Item& item : items_) {
        if (item.popup) {
            if (QtMenu* found = item.popup->findHolder(id)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool QtMenu::checkItem(int id, bool checked) {
    QAction* action = findCommand(id);
    if (action == nullptr) {
        return false;
    }
    // An item without a check mark shows nothing, as in a plain menu.
    if (checked) {
        action->setCheckable(true);
        action->setChecked(true);
    } else if (action->actionGroup() == nullptr) {
        action->setChecked(false);
        action->setCheckable(false);
    } else {
        action->setChecked(false);
    }
    return true;
}

bool QtMenu::checkRadioItem(int first, int last, int checked) {
    QtMenu* holder = findHolder(first);
    if (holder == nullptr || checked < first || checked > last) {
        return false;
    }
    delete holder->radioGroup_;
    holder->radioGroup_ = new QActionGroup(holder->menu_);
    holder->radioGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    QAction* mark = nullptr;
    for (const Item& item : holder->items_) {
        const int id = item.action->data().toInt();
        if (item.kind != MenuItemKind::Command || id < first || id > last) {
            continue;
        }
        item.action->setCheckable(true);
        item.action->setChecked(false);
        holder->radioGroup_->addAction(item.action);
        if (id == checked) {
            mark = item.action;
        }
    }
    if (mark == nullptr) {
        return false;
    }
    mark->setChecked(true);
    return true;
}

bool QtMenu::enableItem(int id, bool enabled) {
    QAction* action = findCommand(id);
    if (action == nullptr) {
        return false;
    }
    action->setEnabled(enabled);
    return true;
}

bool QtMenu::setItemText(int id, const std::string& text) {
    QAction* action = findCommand(id);
    if (action == nullptr) {
        return false;
    }
    action->setText(QString::fromStdString(text));
    return true;
}

void QtMenu::collectCheckable(std::vector<QAction*>& actions) const {
    for (const Item& item : items_) {
        if (item.action->isCheckable()) {
            actions.push_back(item.action);
        }
        if (item.popup) {
            item.popup->collectCheckable(actions);
        }
    }
}

void QtMenu::track(Point screen, TopLevelWindow& owner) {
    // A menu already open (a click on the tray icon while it is up) stays as it is.
    if (menu_->isVisible()) {
        return;
    }
    // Qt toggles a checkable item when it is chosen; the marks are the program's to set, so
    // they are put back as they were before the command goes out.
    std::vector<QAction*> checkable;
    collectCheckable(checkable);
    std::vector<std::pair<QAction*, bool>> marks;
    for (QAction* action : checkable) {
        marks.emplace_back(action, action->isChecked());
    }

    // The chosen item is taken from the triggered signal, which every way of choosing one
    // emits, also on the submenus (Qt passes it up to this menu).
    QAction* chosen = nullptr;
    const auto connection = QObject::connect(menu_, &QMenu::triggered, menu_, [&](QAction* action) {
        if (chosen == nullptr) {
            chosen = action;
        }
        menu_->close();
    });
    menu_->exec(QPoint(screen.x, screen.y));
    QObject::disconnect(connection);

    for (const auto& [action, wasChecked] : marks) {
        if (!wasChecked) {
            action->setChecked(false);
        }
    }
    for (const auto& [action, wasChecked] : marks) {
        if (wasChecked) {
            action->setChecked(true);
        }
    }
    if (chosen != nullptr && !chosen->menu() && !chosen->isSeparator()) {
        owner.postMessage(windowMessage::WM_COMMAND,
                          static_cast<std::uintptr_t>(chosen->data().toInt()), 0);
    }
}
