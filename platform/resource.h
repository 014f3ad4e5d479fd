// The program's own resources, found by number as the phone finds them in the
// executable. The program links one directory of them (resources/), and the platform's
// loaders (LoadAcceleratorsW, LoadIconW, LoadImageW, LoadMenuW, LoadStringW,
// SHCreateMenuBar, DialogBoxParamW, FindResourceW) look there.
#pragma once

#include "platform/window.h"

namespace orven::resources {

struct AcceleratorTable {
    int id;
    const ACCEL* entries;
    int count;
};

struct Icon {
    int id;
    int width;
    int height;
    const uint32_t* argb;  // width * height pixels, row by row
};

// A bitmap's pixels are made when it is first loaded (the artwork is drawn by code).
struct Bitmap {
    int id;
    int width;
    int height;
    const uint32_t* (*xrgb)();  // width * height pixels, row by row
};

// One entry of a menu template: a command, a separator or a popup with items of its own.
struct MenuEntry {
    enum Kind { command, separator, popup } kind;
    UINT id;                           // the command (commands only)
    const char16_t* text;              // commands and popups
    const MenuEntry* items = nullptr;  // popups: their entries
    int itemCount = 0;
};

struct Menu {
    int id;
    const MenuEntry* items;
    int count;
};

// A soft-key menu bar: its buttons, each a command with the string that labels it.
struct MenuBarButton {
    UINT command;
    UINT labelString;
};

struct MenuBar {
    int id;
    const MenuBarButton* buttons;
    int count;
};

struct String {
    UINT id;
    const char16_t* text;
};

// One control of a dialog template. `className` is a class name (u"static", u"edit",
// u"listbox", u"button", UPDOWN_CLASSW) or a predefined class atom made with
// MAKEINTRESOURCEW (WC_STATIC_ATOM ...). `text` is the control's text, or for an
// SS_ICON static the icon's number made with MAKEINTRESOURCEW; null for none.
// Positions are in dialog units, relative to the dialog's client area. WS_CHILD is
// implied; give WS_VISIBLE for a control that shows and WS_TABSTOP for one that takes
// the focus from the keys.
struct DialogItem {
    const char16_t* className;
    int id;  // -1 (IDC_STATIC) for controls nobody addresses
    const char16_t* text;
    DWORD style;
    short x, y, cx, cy;
};

// A dialog template: the dialog's style (WS_POPUP, DS_SETFONT, DS_CENTER ...), caption,
// position and size in dialog units, its font (point size and face, e.g. 8, u"System")
// and its controls in tab order.
struct Dialog {
    int id;
    DWORD style;
    const char16_t* caption;
    short x, y, cx, cy;
    int pointSize;
    const char16_t* faceName;
    const DialogItem* items;
    int itemCount;
};

struct Directory {
    const AcceleratorTable* accelerators;
    int acceleratorCount;
    const Icon* icons;
    int iconCount;
    const Bitmap* bitmaps = nullptr;
    int bitmapCount = 0;
    const Menu* menus = nullptr;
    int menuCount = 0;
    const MenuBar* menuBars = nullptr;
    int menuBarCount = 0;
    const String* strings = nullptr;
    int stringCount = 0;
    const Dialog* dialogs = nullptr;
    int dialogCount = 0;
};

// Defined by the program's resources.
const Directory& programResources();

// What one of the program's numbered cue sounds ("sounds\<n>.wav" beside the executable)
// tells its owner, in a few words: the emulated phone's transcript names each sound so.
struct SoundMeaning {
    int number;
    const char* meaning;
};
struct SoundMeanings {
    const SoundMeaning* entries;
    int count;
};
// Defined by the program's resources (resources/sound_meanings.cpp).
const SoundMeanings& soundMeanings();

// Look-ups by number; null when the program has no such resource.
const Icon* findIcon(int id);
const Bitmap* findBitmap(int id);
const Menu* findMenu(int id);
const MenuBar* findMenuBar(int id);
const char16_t* findString(UINT id);
const Dialog* findDialog(int id);
// Null when sound n has no meaning in the table.
const char* findSoundMeaning(int number);

// LoadIconW's handles name their resource: this tag with the resource number.
constexpr uintptr_t iconHandleTag = 0x7C000000;
inline const Icon* iconOfHandle(HICON icon) {
    uintptr_t value = reinterpret_cast<uintptr_t>(icon);
    return (value & ~uintptr_t{0xFFFF}) == iconHandleTag
               ? findIcon(static_cast<int>(value & 0xFFFF))
               : nullptr;
}

}  // namespace orven::resources
