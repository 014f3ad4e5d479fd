// Menu objects: LoadMenuW, CreatePopupMenu, GetSubMenu, GetMenuItemCount,
// GetMenuItemID, InsertMenuW, AppendMenuW and DestroyMenu. Menus live in a table of handles guarded by a mutex;
// a submenu has a handle of its own and dies with its parent. Menus loaded from the
// program's resources are built from the templates of resource.h.
#include <mutex>
#include <unordered_map>

#include "platform/internal.h"
#include "platform/menu_internal.h"
#include "platform/resource.h"

namespace {

using namespace orven;
using menus::Item;
using menus::Menu;

constexpr uintptr_t menuTag = 0x7B000000;  // menu handles: tag | serial

std::mutex menuLock;
std::unordered_map<uintptr_t, std::shared_ptr<Menu>> table;  // guarded by menuLock
uint32_t nextSerial = 1;                                     // guarded by menuLock

// Caller holds menuLock.
HMENU addLocked() {
    uintptr_t handle;
    do {  // serials wrap after 2^24 menus: skip any still alive
        handle = menuTag | (nextSerial++ & 0xFFFFFF);
    } while ((handle & 0xFFFFFF) == 0 || table.count(handle) != 0);
    table.emplace(handle, std::make_shared<Menu>());
    return reinterpret_cast<HMENU>(handle);
}

// Caller holds menuLock.
Menu* findLocked(HMENU menu) {
    auto it = table.find(reinterpret_cast<uintptr_t>(menu));
    return it == table.end() ? nullptr : it->second.get();
}

// Builds a menu from its template entries (caller holds menuLock).
void buildLocked(HMENU handle, const resources::MenuEntry* entries, int count) {
    for (int i = 0; i < count; ++i) {
        const resources::MenuEntry& entry = entries[i];
        Item item;
        switch (entry.kind) {
            case resources::MenuEntry::command:
                item.flags = MF_STRING;
                item.id = entry.id;
                item.text = entry.text;
                break;
            case resources::MenuEntry::separator: item.flags = MF_SEPARATOR; break;
            case resources::MenuEntry::popup:
                item.flags = MF_POPUP;
                item.text = entry.text;
                item.submenu = addLocked();
                buildLocked(item.submenu, entry.items, entry.itemCount);
                break;
        }
        findLocked(handle)->items.push_back(std::move(item));
    }
}

// Caller holds menuLock.
void destroyLocked(HMENU menu) {
    auto it = table.find(reinterpret_cast<uintptr_t>(menu));
    if (it == table.end()) return;
    std::shared_ptr<Menu> doomed = it->second;
    table.erase(it);
    for (const Item& item : doomed->items)
        if (item.submenu != nullptr) destroyLocked(item.submenu);
}

}  // namespace

namespace orven::menus {

std::shared_ptr<const Menu> snapshot(HMENU menu) {
    std::lock_guard<std::mutex> hold(menuLock);
    Menu* found = findLocked(menu);
    return found != nullptr ? std::make_shared<const Menu>(*found) : nullptr;
}

}  // namespace orven::menus

// ---- LoadMenuW
HMENU LoadMenuW(HINSTANCE, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    const resources::Menu* resource = resources::findMenu(LOWORD(name));
    if (resource == nullptr) return nullptr;
    std::lock_guard<std::mutex> hold(menuLock);
    HMENU menu = addLocked();
    buildLocked(menu, resource->items, resource->count);
    return menu;
}

// ---- CreatePopupMenu
HMENU CreatePopupMenu() {
    std::lock_guard<std::mutex> hold(menuLock);
    return addLocked();
}

// ---- GetSubMenu
HMENU GetSubMenu(HMENU menu, int position) {
    std::lock_guard<std::mutex> hold(menuLock);
    Menu* found = findLocked(menu);
    if (found == nullptr || position < 0 || position >= static_cast<int>(found->items.size()))
        return nullptr;
    return found->items[position].submenu;
}

// ---- GetMenuItemCount
int GetMenuItemCount(HMENU menu) {
    std::lock_guard<std::mutex> hold(menuLock);
    Menu* found = findLocked(menu);
    return found != nullptr ? static_cast<int>(found->items.size()) : -1;
}

// ---- GetMenuItemID
UINT GetMenuItemID(HMENU menu, int position) {
    std::lock_guard<std::mutex> hold(menuLock);
    Menu* found = findLocked(menu);
    if (found == nullptr || position < 0 || position >= static_cast<int>(found->items.size()) ||
        (found->items[position].flags & MF_POPUP))
        return static_cast<UINT>(-1);
    return found->items[position].id;
}

// ---- InsertMenuW
// By position ((UINT)-1 or past the end appends) or before the item with that command.
BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem) {
    std::lock_guard<std::mutex> hold(menuLock);
    Menu* found = findLocked(menu);
    if (found == nullptr) return FALSE;
    size_t at = found->items.size();
    if (flags & MF_BYPOSITION) {
        if (position < at) at = position;
    } else {
        for (size_t i = 0; i < found->items.size(); ++i)
            if (found->items[i].id == position && !(found->items[i].flags & MF_POPUP)) at = i;
        if (at == found->items.size()) return FALSE;
    }
    Item item;
    item.flags = flags & ~MF_BYPOSITION;
    if (flags & MF_POPUP) {
        item.submenu = reinterpret_cast<HMENU>(idNewItem);
        if (findLocked(item.submenu) == nullptr) return FALSE;
    } else {
        item.id = static_cast<UINT>(idNewItem);
    }
    if (flags & MF_OWNERDRAW)
        item.data = reinterpret_cast<UINT_PTR>(newItem);
    else if (!(flags & MF_SEPARATOR) && newItem != nullptr)
        item.text = newItem;
    found->items.insert(found->items.begin() + static_cast<ptrdiff_t>(at), std::move(item));
    return TRUE;
}

// ---- AppendMenuW
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem) {
    return InsertMenuW(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, idNewItem, newItem);
}

// ---- DestroyMenu
BOOL DestroyMenu(HMENU menu) {
    std::lock_guard<std::mutex> hold(menuLock);
    if (findLocked(menu) == nullptr) return FALSE;
    destroyLocked(menu);
    return TRUE;
}
