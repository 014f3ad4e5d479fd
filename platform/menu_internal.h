// Menu objects shared by menu.cpp (their handles) and menu_popup.cpp (tracking them).
// Never included by the program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/menu.h"

namespace orven::menus {

struct Item {
    UINT flags = 0;       // MF_STRING, MF_SEPARATOR, MF_POPUP, MF_OWNERDRAW, MF_GRAYED ...
    UINT id = 0;          // the command (not for popups)
    std::u16string text;  // string items and popups
    HMENU submenu = nullptr;
    UINT_PTR data = 0;  // owner-drawn items: the data given at insertion
};

struct Menu {
    std::vector<Item> items;
};

// A copy of the menu's items (null for a handle that is not a menu). Any thread.
std::shared_ptr<const Menu> snapshot(HMENU menu);

}  // namespace orven::menus
