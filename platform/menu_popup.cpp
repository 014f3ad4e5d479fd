// Popup menus: TrackPopupMenuEx. Each open level (the popup and any submenu opened from
// it) is a window of its own, drawn into the framebuffer: white, a thin frame, the item
// texts from x = 14, the selected item white on blue, submenus marked with an arrow.
// Owner-drawn items are measured with WM_MEASUREITEM and drawn with WM_DRAWITEM by the
// menu's owner, into the menu window's paint context.
//
// Input: a tap selects an item (opening a submenu) and lifting it on the same item
// chooses it; a tap outside every level dismisses the menu. Up and Down move the
// selection, Right or Enter opens a submenu, Enter chooses, Left closes a submenu and
// Escape closes a submenu or the menu. Relies on the modal loop (modal.cpp).
#include <memory>

#include "platform/gdi_internal.h"
#include "platform/gui_internal.h"
#include "platform/internal.h"
#include "platform/menu_internal.h"
#include "platform/palette.h"

namespace {

using namespace orven;

constexpr LPCWSTR levelClass = u"orven.popupmenu";
constexpr int textLeft = 14;  // item texts start here; owner-drawn items use the same

struct ShownItem {
    menus::Item item;
    RECT rect{};  // client coordinates of the level's window
};

struct Level {
    HMENU menu = nullptr;
    std::vector<ShownItem> items;
    int selected = -1;
    HWND window = nullptr;
};

struct Tracking {
    HWND owner = nullptr;
    std::vector<std::unique_ptr<Level>> levels;  // the popup first, open submenus after it
    UINT chosen = 0;
    bool ended = false;
};

Tracking* active = nullptr;  // the menu being tracked; GUI thread only

bool selectable(const menus::Item& item) {
    return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

Level* levelOf(HWND hwnd) {
    if (active == nullptr) return nullptr;
    for (auto& level : active->levels)
        if (level->window == hwnd) return level.get();
    return nullptr;
}

// Measures the items and returns the level's size.
SIZE measure(Level& level, HWND owner) {
    int s = gui::uiScale();
    int row = GetSystemMetrics(SM_CYMENU), separator = 7 * s;
    HDC dc = GetDC(nullptr);
    HFONT font = gui::uiFont(13 * s, false);
    HGDIOBJ previous = SelectObject(dc, font);
    int width = 0, y = 1;
    for (ShownItem& shown : level.items) {
        const menus::Item& item = shown.item;
        int itemWidth = 0, itemHeight = row;
        if (item.flags & MF_SEPARATOR) {
            itemHeight = separator;
        } else if (item.flags & MF_OWNERDRAW) {
            MEASUREITEMSTRUCT measure{ODT_MENU, 0, item.id, 0, static_cast<UINT>(row), item.data};
            SendMessageW(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
            itemWidth = static_cast<int>(measure.itemWidth);
            itemHeight = static_cast<int>(measure.itemHeight);
        } else {
            SIZE text{};
            GetTextExtentPoint32W(dc, item.text.c_str(), static_cast<int>(item.text.size()), &text);
            itemWidth = textLeft + text.cx + 24 * s;
        }
        width = std::max(width, itemWidth);
        shown.rect = RECT{1, y, 0, y + itemHeight};
        y += itemHeight;
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    width = std::min(width + 2, GetSystemMetrics(SM_CXSCREEN));
    for (ShownItem& shown : level.items) shown.rect.right = width - 1;
    return SIZE{width, y + 1};
}

// Opens a level for `menu` with its top-left corner chosen by `place`.
Level* openLevel(HMENU menu, const std::function<POINT(SIZE)>& place) {
    auto items = menus::snapshot(menu);
    if (!items) return nullptr;
    auto level = std::make_unique<Level>();
    level->menu = menu;
    for (const menus::Item& item : items->items) level->items.push_back(ShownItem{item, {}});
    SIZE size = measure(*level, active->owner);
    POINT at = place(size);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    at.x = std::max<LONG>(0, std::min<LONG>(at.x, screenWidth - size.cx));
    at.y = std::max<LONG>(0, std::min<LONG>(at.y, screenHeight - size.cy));
    Level* raw = level.get();
    active->levels.push_back(std::move(level));
    raw->window = CreateWindowExW(0, levelClass, u"", WS_POPUP | WS_VISIBLE, at.x, at.y, size.cx,
                                  size.cy, nullptr, nullptr, nullptr, nullptr);
    return raw;
}

void closeLevelsAfter(size_t keep) {
    while (active->levels.size() > keep) {
        HWND window = active->levels.back()->window;
        active->levels.pop_back();
        if (window != nullptr) DestroyWindow(window);
    }
}

// Opens the submenu of the selected item of `level` beside it.
void openSubmenu(size_t depth) {
    Level& level = *active->levels[depth];
    const ShownItem& shown = level.items[level.selected];
    RECT parent{};
    GetWindowRect(level.window, &parent);
    RECT item{parent.left, parent.top + shown.rect.top, parent.right,
              parent.top + shown.rect.bottom};
    openLevel(shown.item.submenu, [&](SIZE size) {
        POINT at{item.right - 2, item.top - 1};
        if (at.x + size.cx > GetSystemMetrics(SM_CXSCREEN)) at.x = item.left - size.cx + 2;
        return at;
    });
}

void select(size_t depth, int index) {
    closeLevelsAfter(depth + 1);
    Level& level = *active->levels[depth];
    level.selected = index;
    InvalidateRect(level.window, nullptr, FALSE);
    if (index >= 0 && (level.items[index].item.flags & MF_POPUP)) openSubmenu(depth);
}

void end(UINT command) {
    active->chosen = command;
    active->ended = true;
    if (!active->levels.empty()) PostMessageW(active->levels[0]->window, WM_NULL, 0, 0);
}

void paintItem(HDC dc, const Level& level, int index) {
    auto state = gdi::dcOf(dc);
    const ShownItem& shown = level.items[index];
    const RECT& r = shown.rect;
    bool selected = index == level.selected;
    if (shown.item.flags & MF_SEPARATOR) {
        int middle = (r.top + r.bottom) / 2;
        gdi::fillLogical(*state, RECT{r.left + 4, middle, r.right - 4, middle + 1},
                         palette::menuSeparator);
        return;
    }
    if (shown.item.flags & MF_OWNERDRAW) {
        DRAWITEMSTRUCT draw{ODT_MENU,
                            0,
                            shown.item.id,
                            ODA_DRAWENTIRE,
                            selected ? static_cast<UINT>(ODS_SELECTED) : 0u,
                            reinterpret_cast<HWND>(level.menu),
                            dc,
                            r,
                            shown.item.data};
        SendMessageW(active->owner, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
        return;
    }
    if (selected) gdi::fillLogical(*state, r, palette::accent);
    uint32_t colour = !selectable(shown.item) ? palette::menuGrayedText
                      : selected              ? palette::menuSelectedText
                                              : palette::menuText;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, gdi::toColorref(colour));
    RECT text{textLeft, r.top, r.right, r.bottom};
    DrawTextW(dc, shown.item.text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER);
    if (shown.item.flags & MF_POPUP) {
        int middle = (r.top + r.bottom) / 2, s = gui::uiScale();
        gdi::fillTriangle(*state, POINT{r.right - 11 * s, middle - 4 * s},
                          POINT{r.right - 6 * s, middle}, POINT{r.right - 11 * s, middle + 4 * s},
                          colour);
    }
}

void paintLevel(HWND hwnd, const Level& level) {
    gui::WindowPaint paint(hwnd);
    gdi::fillLogical(*paint.state, paint.client, palette::menuBackground);
    gdi::frameRect(*paint.state, paint.client, 1, palette::menuFrame);
    HFONT font = paint.font(13 * paint.scale, false);
    for (int i = 0; i < static_cast<int>(level.items.size()); ++i) {
        paint.select(font);  // an owner-drawn item may have selected its own
        paintItem(paint.dc, level, i);
    }
}

int itemAt(const Level& level, LPARAM lParam) {
    int y = static_cast<short>(HIWORD(lParam));
    for (size_t i = 0; i < level.items.size(); ++i)
        if (y >= level.items[i].rect.top && y < level.items[i].rect.bottom)
            return static_cast<int>(i);
    return -1;
}

size_t depthOf(const Level* level) {
    for (size_t i = 0; i < active->levels.size(); ++i)
        if (active->levels[i].get() == level) return i;
    return 0;
}

LRESULT CALLBACK levelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Level* level = levelOf(hwnd);
    if (level == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: paintLevel(hwnd, *level); return 0;
        case WM_LBUTTONDOWN: {
            int index = itemAt(*level, lParam);
            if (index >= 0 && selectable(level->items[index].item)) select(depthOf(level), index);
            return 0;
        }
        case WM_LBUTTONUP: {
            int index = itemAt(*level, lParam);
            if (index >= 0 && index == level->selected &&
                !(level->items[index].item.flags & MF_POPUP) &&
                selectable(level->items[index].item))
                end(level->items[index].item.id);
            return 0;
        }
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Up and Down: the next selectable item of the innermost level, wrapping around.
void moveSelection(int step) {
    size_t depth = active->levels.size() - 1;
    Level& level = *active->levels[depth];
    int count = static_cast<int>(level.items.size());
    int index = level.selected;
    for (int tries = 0; tries < count; ++tries) {
        index = index < 0 ? (step > 0 ? 0 : count - 1) : (index + step + count) % count;
        if (selectable(level.items[index].item)) break;
    }
    if (index < 0 || !selectable(level.items[index].item)) return;
    closeLevelsAfter(depth + 1);
    level.selected = index;
    InvalidateRect(level.window, nullptr, FALSE);
}

void onKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || active->levels.empty()) return;
    size_t depth = active->levels.size() - 1;
    Level& level = *active->levels[depth];
    const ShownItem* selected = level.selected >= 0 ? &level.items[level.selected] : nullptr;
    switch (msg.wParam) {
        case VK_UP: moveSelection(-1); break;
        case VK_DOWN: moveSelection(1); break;
        case VK_RIGHT:
        case VK_RETURN:
            if (selected != nullptr && (selected->item.flags & MF_POPUP)) {
                openSubmenu(depth);
                moveSelection(1);
            } else if (selected != nullptr && msg.wParam == VK_RETURN) {
                end(selected->item.id);
            }
            break;
        case VK_LEFT:
            if (depth > 0) closeLevelsAfter(depth);
            break;
        case VK_ESCAPE:
            if (depth > 0)
                closeLevelsAfter(depth);
            else
                end(0);
            break;
        default: break;
    }
}

// Finds a command anywhere in the menu tree.
bool containsCommand(HMENU menu, UINT command) {
    auto items = menus::snapshot(menu);
    if (!items) return false;
    for (const menus::Item& item : items->items) {
        if (item.flags & MF_POPUP) {
            if (containsCommand(item.submenu, command)) return true;
        } else if (!(item.flags & MF_SEPARATOR) && item.id == command) {
            return true;
        }
    }
    return false;
}

POINT placeAt(int x, int y, UINT flags, SIZE size) {
    POINT at{x, y};
    if (flags & TPM_RIGHTALIGN)
        at.x = x - size.cx;
    else if (flags & TPM_CENTERALIGN)
        at.x = x - size.cx / 2;
    if (flags & TPM_BOTTOMALIGN)
        at.y = y - size.cy;
    else if (flags & TPM_VCENTERALIGN)
        at.y = y - size.cy / 2;
    return at;
}

}  // namespace

namespace orven::gui {

std::vector<MenuItemShown> openMenuItems() {
    std::vector<MenuItemShown> shown;
    if (active == nullptr || active->levels.empty()) return shown;
    const Level& level = *active->levels.back();
    RECT window{};
    GetWindowRect(level.window, &window);
    for (size_t i = 0; i < level.items.size(); ++i) {
        const menus::Item& item = level.items[i].item;
        RECT r = level.items[i].rect;
        shown.push_back(MenuItemShown{
            item.id, item.text, (item.flags & MF_SEPARATOR) != 0, (item.flags & MF_POPUP) != 0,
            (item.flags & MF_OWNERDRAW) != 0, static_cast<int>(i) == level.selected,
            RECT{window.left + r.left, window.top + r.top, window.left + r.right,
                 window.top + r.bottom}});
    }
    return shown;
}

bool chooseMenuCommand(UINT command) {
    if (active == nullptr || active->levels.empty() ||
        !containsCommand(active->levels[0]->menu, command))
        return false;
    end(command);
    return true;
}

bool dismissOpenMenu() {
    if (active == nullptr) return false;
    end(0);
    return true;
}

}  // namespace orven::gui

// ---- TrackPopupMenuEx
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, TPMPARAMS*) {
    if (active != nullptr || !menus::snapshot(menu) || !IsWindow(owner)) return FALSE;
    gui::registerClass(levelClass, levelProc);
    Tracking tracking;
    tracking.owner = owner;
    active = &tracking;
    internal::trace("TrackPopupMenu x=%d y=%d flags=%#x", x, y, flags);
    if (openLevel(menu, [&](SIZE size) { return placeAt(x, y, flags, size); }) != nullptr) {
        gui::ModalInput input;
        input.owns = [](HWND hwnd) { return levelOf(hwnd) != nullptr; };
        input.onKey = onKey;
        input.onOutsideTap = [](const MSG&) { end(0); };
        if (!gui::runModalLoop([&] { return tracking.ended; }, input)) tracking.chosen = 0;
    }
    closeLevelsAfter(0);
    active = nullptr;
    internal::trace("TrackPopupMenu command=%u", tracking.chosen);
    if (flags & TPM_RETURNCMD) return static_cast<BOOL>(tracking.chosen);
    if (tracking.chosen != 0) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(tracking.chosen, 0), 0);
    return TRUE;
}
