#include "tests/support/FakeMenu.h"

#include "platform/TopLevelWindow.h"

#include <utility>

FakeMenu::FakeMenu(std::span<const MenuItemTemplate> templates, CallLog* log)
    : log(log) {
    for (const MenuItemTemplate& entry : templates) {
        Item item{entry.kind, std::string(entry.text), entry.id, entry.grayed, false, false,
                  nullptr};
        if (entry.kind == MenuItemKind::Popup) {
            item.popup = std::make_unique<FakeMenu>(entry.popup, log);
        }
        items.push_back(std::move(item));
    }
}

Menu* FakeMenu::subMenu(int position) {
    if (position < 0 || position >= itemCount()) {
        return nullptr;
    }
    return items[static_cast<std::size_t>(position)].popup.get();
}

void FakeMenu::appendItem(int id, const std::string& text) {
    items.push_back(Item{MenuItemKind::Command, text, id, false, false, false, nullptr});
    if (log) {
        log->add("menu append " + std::to_string(id) + " " + text);
    }
}

bool FakeMenu::removeItem(int id) {
    for (auto item = items.begin(); item != items.end(); ++item) {
        if (item->kind == MenuItemKind::Command && item->id == id) {
            items.erase(item);
            return true;
        }
        if (item->popup && item->popup->removeItem(id)) {
            return true;
        }
    }
    return false;
}

FakeMenu::Item* FakeMenu::find(int id) {
    for (Item& item : items) {
        if (item.kind == MenuItemKind::Command && item.id == id) {
            return &item;
        }
        if (item.popup) {
            if (Item* found = item.popup->find(id)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool FakeMenu::checkItem(int id, bool checked) {
    if (log) {
        log->add(std::string(checked ? "menu check " : "menu uncheck ") + std::to_string(id));
    }
    Item* item = find(id);
    if (!item) {
        return false;
    }
    item->checked = checked;
    return true;
}

bool FakeMenu::checkRadioItem(int first, int last, int checked) {
    if (log) {
        log->add("menu radio " + std::to_string(checked));
    }
    if (!find(first)) {
        return false;
    }
    for (int id = first; id <= last; ++id) {
        if (Item* item = find(id)) {
            item->checked = id == checked;
            item->radio = true;
        }
    }
    return true;
}

bool FakeMenu::enableItem(int id, bool enabled) {
    if (log) {
        log->add(std::string(enabled ? "menu enable " : "menu grey ") + std::to_string(id));
    }
    Item* item = find(id);
    if (!item) {
        return false;
    }
    item->grayed = !enabled;
    return true;
}

void FakeMenu::track(Point screen, TopLevelWindow& owner) {
    if (log) {
        log->add("menu track " + std::to_string(screen.x) + "," + std::to_string(screen.y));
    }
    trackedAt.push_back(screen);
    if (whileShown) {
        std::exchange(whileShown, nullptr)();
    }
    if (choice) {
        owner.postMessage(windowMessage::WM_COMMAND, static_cast<std::uintptr_t>(*choice), 0);
        choice.reset();
    }
}

std::vector<int> FakeMenu::checkedAmong(int first, int last) const {
    std::vector<int> checked;
    for (int id = first; id <= last; ++id) {
        if (isChecked(id)) {
            checked.push_back(id);
        }
    }
    return checked;
}
