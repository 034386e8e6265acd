#pragma once

#include "platform/WindowTypes.h"

#include <string>

class TopLevelWindow;

// A menu loaded from a menu template (WindowSystem::loadMenu), or one of its submenus. The
// loaded menu owns its submenus; destroying it destroys them.
//
// Items are found either by position inside one menu (separators count), or by command id:
// an operation by command id looks through this menu and all its submenus and acts on the
// first item with that id. An id not found changes nothing and returns false.
class Menu {
public:
    virtual ~Menu() = default;

    // The submenu at position (counting from 0, separators included); null when there is no
    // item there or it is not a popup. It lives as long as the menu that owns it.
    virtual Menu* subMenu(int position) = 0;
    // Number of items of this menu (not counting those of its submenus).
    virtual int itemCount() const = 0;

    // Appends a command item with this id and text behind the last item of this menu.
    virtual void appendItem(int id, const std::string& text) = 0;
    // Takes the item away.
    virtual bool removeItem(int id) = 0;

    // Puts the check mark on the item, or takes it off.
    virtual bool checkItem(int id, bool checked) = 0;
    // Makes the items with ids first to last (in the menu holding first) one radio group and
    // puts the radio mark on checked, taking it off the others.
    virtual bool checkRadioItem(int first, int last, int checked) = 0;
    // Enables the item, or greys it so that it cannot be chosen.
    virtual bool enableItem(int id, bool enabled) = 0;
    // Gives the command item id the text; false when there is no such item.
    virtual bool setItemText(int id, const std::string& text) = 0;

    // Shows this menu as a popup with its top-left corner at the screen point, owned by
    // owner, and returns when it closes. The item chosen, if any, is posted to owner as
    // WM_COMMAND with its id (wParam) and 0 (lParam); either button may choose. Timer ticks
    // go on while it is open.
    virtual void track(Point screen, TopLevelWindow& owner) = 0;
};
