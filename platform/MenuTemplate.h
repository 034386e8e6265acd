#pragma once

#include <span>
#include <string_view>

// A menu described as plain data, the way a menu resource describes it. The program's
// menus live in res/ as tables of these (res/MenuTemplates.h: findMenuTemplate(menuId), null
// for an unknown id); the window system builds real menus from them.

enum class MenuItemKind {
    // A command: choosing it delivers WM_COMMAND with its id.
    Command,
    Separator,
    // A submenu: its items are in popup; it has no id.
    Popup,
};

struct MenuItemTemplate {
    MenuItemKind kind;
    std::string_view text = {};
    int id = 0;
    // Shown grey from the start; it cannot be chosen.
    bool grayed = false;
    std::span<const MenuItemTemplate> popup = {};
};

// A menu bar of popups; a context menu is the bar's first popup.
struct MenuTemplate {
    std::span<const MenuItemTemplate> items;
};
