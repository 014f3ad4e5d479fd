// The colours of the emulated phone's own windows (message boxes, popup menus, the
// soft-key bar, the desktop with its tray, the notification bubble), XRGB, in one place
// so that the phone looks like one system. The program's own colours are its own.
#pragma once

#include <cstdint>

namespace orven::palette {

constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t black = 0x000000;

// The system's accent: caption bars, the soft-key bar, the desktop's top bar, the
// highlighted menu item, the focused button's frame.
constexpr uint32_t accent = 0x1E4B9B;
constexpr uint32_t textOnAccent = white;

// Message boxes.
constexpr uint32_t boxBackground = white;
constexpr uint32_t boxFrame = 0x303030;
constexpr uint32_t boxText = black;
constexpr uint32_t buttonFace = 0xE8E8E8;
constexpr uint32_t buttonFocusedFace = 0xD6E6FA;
constexpr uint32_t buttonPressedFace = 0x9EC2F0;
constexpr uint32_t buttonFrame = 0x808080;
constexpr uint32_t buttonText = black;
constexpr uint32_t stopIcon = 0xD02020;         // MB_ICONHAND
constexpr uint32_t informationIcon = 0x2060C0;  // MB_ICONQUESTION, MB_ICONASTERISK
constexpr uint32_t warningIcon = 0xF0C000;      // MB_ICONEXCLAMATION
constexpr uint32_t iconSymbol = white;
constexpr uint32_t warningIconSymbol = black;

// Popup menus.
constexpr uint32_t menuBackground = white;
constexpr uint32_t menuFrame = 0x505050;
constexpr uint32_t menuSeparator = 0xA0A0A0;
constexpr uint32_t menuText = black;
constexpr uint32_t menuSelectedText = white;
constexpr uint32_t menuGrayedText = 0x909090;

// The desktop shown while no program window is.
constexpr uint32_t desktopBackground = 0xD8E2EE;
constexpr uint32_t desktopHint = 0x3C465A;

// The notification bubble.
constexpr uint32_t bubbleBackground = 0xFFFFE1;
constexpr uint32_t bubbleTitle = 0x000080;
constexpr uint32_t bubbleText = black;

// The screen before anything is drawn.
constexpr uint32_t emptyScreen = white;

}  // namespace orven::palette
