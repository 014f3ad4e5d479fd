// The main screen's painting. Everything on the main window is drawn here, back to
// front: white, the emblem in the middle, the bar along the bottom with its two soft
// areas, the status band across the middle, and the receiver's diagnostics above the
// bar while it answers without a fix. Fonts and brushes are made and deleted on every
// paint; only the skin bitmap lives as long as the window.
#include "app/main_screen.h"

#include "common/gps_state.h"
#include "common/platform_facts.h"
#include "common/status_text.h"
#include "resources/resource_ids.h"

HBITMAP skinBitmap = nullptr;

namespace {

constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF red = RGB(255, 0, 0);

// The skin: the emblem square and the bar strip below it.
constexpr int emblemSize = 175;
constexpr int emblemHalf = 88;  // the emblem's offset from the screen's centre
constexpr int barSourceTop = 175;
constexpr int barSourceHeight = 26;

constexpr int narrowScreen = 176;    // this wide or less: the smaller Smartphone sizes
constexpr int statusBandMargin = 5;  // band rows above and below the status font's height
constexpr int statusTextDrop = 4;    // the text starts this far below the band's top
constexpr int diagnosticsLeft = 4;
constexpr int exitTextLeft = 14;  // where the menu's item texts start
constexpr int exitItemWidth = 88;

bool pocketPc() {
    return isSmartphone == 0;
}
bool newSmartphone() {
    return isSmartphone != 0 && osMajorVersion >= 5;
}

int barFontSize(int clientWidth) {
    if (pocketPc()) return 15;
    if (!newSmartphone()) return 16;
    return clientWidth <= narrowScreen ? 16 : 20;
}
int statusFontSize() {
    return pocketPc() ? 15 : (newSmartphone() ? 19 : 17);
}
int diagnosticsFontSize() {
    return pocketPc() ? 11 : (newSmartphone() ? 14 : 13);
}
int exitFontSize(int screenWidth) {
    if (pocketPc()) return 13;
    if (!newSmartphone()) return 15;
    return screenWidth <= narrowScreen ? 15 : 17;
}

// Draws text in a rectangle with a font made for it and deleted afterwards.
void drawWithFont(HDC dc, int size, BOOL bold, LPCWSTR text, RECT rect, UINT format) {
    HFONT font = createAppFont(size, bold, 0, FALSE);
    HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, text, -1, &rect, format);
    SelectObject(dc, previous);
    DeleteObject(font);
}

void fillWith(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

// The emblem in the middle (black is transparent) and the bar strip stretched along
// the bottom (white is transparent).
void drawSkin(HDC dc, const RECT& client, int width, int height, int barHeight) {
    if (skinBitmap == nullptr) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, skinBitmap);
    TransparentImage(dc, width / 2 - emblemHalf, height / 2 - emblemHalf, emblemSize, emblemSize,
                     memory, 0, 0, emblemSize, emblemSize, black);
    TransparentImage(dc, client.left, client.bottom - barHeight, width, barHeight, memory, 0,
                     barSourceTop, emblemSize, barSourceHeight, white);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

void drawBarTexts(HDC dc, const RECT& client, int width, int barHeight) {
    SetTextColor(dc, white);
    constexpr UINT centred = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    int size = barFontSize(width);
    drawWithFont(dc, size, TRUE, u"Alert now!",
                 RECT{client.left, client.bottom - barHeight, width / 2, client.bottom}, centred);
    drawWithFont(dc, size, TRUE, u"Menu",
                 RECT{width / 2, client.bottom - barHeight, client.right, client.bottom}, centred);
}

// The status text on a red band across the middle, one line per "\n".
void drawStatusBand(HDC dc, const RECT& client, int height) {
    WCHAR status[statusTextSize];
    copyStatusText(status);
    if (status[0] == 0) return;
    int size = statusFontSize();
    RECT band{client.left, height / 2 - size - statusBandMargin, client.right,
              height / 2 + size + statusBandMargin};
    fillWith(dc, band, red);
    SetTextColor(dc, white);
    band.top += statusTextDrop;
    drawWithFont(dc, size, TRUE, status, band, DT_CENTER);
}

// While a receiver answers but has reported no fix: its last sentence, and the
// satellites in view and used on the line above.
void drawDiagnostics(HDC dc, const RECT& client) {
    if (gpsState.rmcStatus.load() == 1 || gpsState.fixQuality.load() != 0 ||
        gpsState.receiverFound.load() == 0 || gpsState.searchState.load() == 0)
        return;
    int size = diagnosticsFontSize();
    int barHeight = bottomBarHeight(GetSystemMetrics(SM_CXSCREEN));
    HFONT font = createAppFont(size, FALSE, 0, FALSE);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, black);
    WCHAR sentence[lastSentenceSize];
    copyLastSentence(sentence);
    RECT line{diagnosticsLeft, client.bottom - barHeight - size - 2, client.right, client.bottom};
    DrawTextW(dc, sentence, -1, &line, DT_SINGLELINE);
    WCHAR satellites[64];
    wsprintfW(satellites, u"Satellites: %d/%d", static_cast<int>(gpsState.satellitesInView.load()),
              static_cast<int>(gpsState.satellitesUsed.load()));
    line.top = client.bottom - barHeight - 2 * size - 2;
    DrawTextW(dc, satellites, -1, &line, DT_SINGLELINE);
    SelectObject(dc, previous);
    DeleteObject(font);
}

}  // namespace

int bottomBarHeight(int width) {
    return width > 239 ? 26 : 22;
}

void paintMainScreen(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right - client.left, height = client.bottom - client.top;
    int barHeight = bottomBarHeight(width);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, black);
    fillWith(dc, client, white);
    drawSkin(dc, client, width, height, barHeight);
    drawBarTexts(dc, client, width, barHeight);
    drawStatusBand(dc, client, height);
    drawDiagnostics(dc, client);
    EndPaint(window, &paint);
}

void measureExitItem(HWND window, MEASUREITEMSTRUCT* item) {
    HDC dc = GetDC(window);
    item->itemWidth = exitItemWidth;
    item->itemHeight = static_cast<UINT>(GetSystemMetrics(SM_CYMENU));
    ReleaseDC(window, dc);
}

void drawExitItem(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    int previousMode = SetBkMode(dc, TRANSPARENT);
    bool selected = item->itemState == ODS_SELECTED;  // selected and nothing else
    HBRUSH brush = CreateSolidBrush(selected ? red : white);
    FillRect(dc, &item->rcItem, brush);
    SetTextColor(dc, black);
    if (item->itemID == exitCommand) {
        RECT text = item->rcItem;
        text.left = exitTextLeft;
        SetTextColor(dc, selected ? white : red);
        int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        LPCWSTR label = pocketPc()                                        ? u"Exit"
                        : (newSmartphone() && screenWidth > narrowScreen) ? u"  6 Exit"
                                                                          : u"6 Exit";
        drawWithFont(dc, exitFontSize(screenWidth), TRUE, label, text, 0);
    }
    SetBkMode(dc, previousMode);
    DeleteObject(brush);
}
