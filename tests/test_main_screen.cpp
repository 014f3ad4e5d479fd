// The main screen as painted into the framebuffer: where the emblem, the bar, the
// status band and the receiver diagnostics land on each screen size, which fonts the
// texts use on each platform, the "Exit" item's colours and label, and that painting
// leaves no GDI object behind. Screenshots: run with ORVEN_SCREENSHOT=/tmp/x.png.
#include <gtest/gtest.h>

#include <string>

#include "app/main_screen.h"
#include "app/startup.h"
#include "common/gps_state.h"
#include "common/platform_facts.h"
#include "common/status_text.h"
#include "platform/testing.h"
#include "resources/skin.h"

namespace {

using orven::test::pixel;

constexpr uint32_t white = 0xFFFFFF;
constexpr uint32_t red = 0xFF0000;

LRESULT CALLBACK screenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paintMainScreen(hwnd); return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

struct Screen {
    int width, height;
    DWORD smartphone, osMajor;
};

// A phone of that size with a full-screen window painted by paintMainScreen; this
// thread runs the loop.
class MainScreen {
  public:
    explicit MainScreen(Screen s)
        : phone_("screen-width = " + std::to_string(s.width) +
                 "\nscreen-height = " + std::to_string(s.height) + "\n") {
        isSmartphone = s.smartphone;
        osMajorVersion = s.osMajor;
        WNDCLASSW wc{};
        wc.lpfnWndProc = screenProc;
        wc.lpszClassName = u"ScreenTest";
        RegisterClassW(&wc);
        mainWindow = CreateWindowExW(0, u"ScreenTest", u"", WS_VISIBLE, 0, 0, s.width, s.height,
                                     nullptr, nullptr, nullptr, nullptr);
        skinBitmap =
            static_cast<HBITMAP>(LoadImageW(nullptr, MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0));
        repaint();
    }
    void repaint() {
        InvalidateRect(mainWindow, nullptr, FALSE);
        phone_.advance(0);
    }
    orven::test::Phone& phone() { return phone_; }

  private:
    orven::test::Phone phone_;
};

uint32_t skin(int x, int y) {
    return orven::resources::skinPixels()[y * 175 + x] & 0xFFFFFF;
}

int green(uint32_t xrgb) {
    return (xrgb >> 8) & 0xFF;
}

// Every text here is white, red or black on white, red or black: its ink differs from
// the ground in the green channel. A pixel more than 40 away counts as ink, so
// antialiased and one-bit glyphs are measured alike.
template <typename At, typename Ground>
RECT inkBox(RECT area, At at, Ground ground) {
    RECT box{area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (std::abs(green(at(x, y)) - green(ground(x, y))) > 40) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    return box;
}

// Ink on the screen over a plain ground colour.
RECT inkOn(uint32_t ground, RECT area) {
    return inkBox(area, pixel, [&](int, int) { return ground; });
}

// Ink in the bar, whose ground changes from row to row: column 1 holds no text.
RECT inkInBar(RECT area) {
    return inkBox(area, pixel, [](int, int y) { return pixel(1, y); });
}

bool empty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

uint32_t pixelOf(HDC dc, int x, int y) {
    COLORREF c = GetPixel(dc, x, y);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// The ink box of a text drawn alone at (0, 0), black on white, with createAppFont.
RECT referenceBox(LPCWSTR text, int size, BOOL bold) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 200, 60);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, 200, 60};
    FillRect(dc, &all, static_cast<HBRUSH>(static_cast<void*>(GetStockObject(WHITE_BRUSH))));
    HFONT font = createAppFont(size, bold, 0, FALSE);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, text, -1, &all, DT_NOPREFIX);
    RECT ink = inkBox(
        all, [&](int x, int y) { return pixelOf(dc, x, y); }, [](int, int) { return white; });
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return ink;
}

SIZE referenceInk(LPCWSTR text, int size, BOOL bold) {
    RECT ink = referenceBox(text, size, bold);
    return SIZE{ink.right - ink.left, ink.bottom - ink.top};
}

struct LayoutRow {
    const char* legend;
    Screen screen;
    POINT emblem;  // top-left corner of the emblem square
    int barTop;
    int bandTop, bandBottom;
};

class Layout : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(Layout, EmblemBarAndBandSitWhereTheScreenSizeSays) {
    const LayoutRow& row = GetParam();
    MainScreen screen(row.screen);
    int w = row.screen.width, h = row.screen.height;
    // The emblem is the skin's square, pixel for pixel, at its place.
    for (int y = 0; y < 175; y += 3)
        for (int x = 0; x < 175; x += 3)
            ASSERT_EQ(pixel(row.emblem.x + x, row.emblem.y + y), skin(x, y))
                << "emblem pixel (" << x << ", " << y << ")";
    if (row.emblem.x > 0) {
        EXPECT_EQ(pixel(row.emblem.x - 1, h / 2), white);
    }
    // The bar strip, stretched to the width and the bar's height, from barTop down.
    EXPECT_EQ(pixel(1, row.barTop - 1), white);
    for (int y = row.barTop; y < h; ++y)
        EXPECT_EQ(pixel(1, y), skin(1 * 175 / w, 175 + (y - row.barTop) * 26 / (h - row.barTop)))
            << "bar row " << y;
    // "Alert now!" and "Menu" white, centred in their halves and in the bar.
    RECT alert = inkInBar(RECT{2, row.barTop, w / 2, h});
    RECT menu = inkInBar(RECT{w / 2, row.barTop, w, h});
    ASSERT_FALSE(empty(alert));
    ASSERT_FALSE(empty(menu));
    EXPECT_NEAR((alert.left + alert.right) / 2.0, w / 4.0, 2.0);
    EXPECT_NEAR((menu.left + menu.right) / 2.0, w * 3 / 4.0, 2.0);
    EXPECT_NEAR((menu.top + menu.bottom) / 2.0, (row.barTop + h) / 2.0, 3.0);
    // No status: the middle holds the emblem only.
    for (int y = 0; y < row.barTop; y += 2) ASSERT_NE(pixel(w / 2, y), red) << "row " << y;

    setStatusText(u"Position found at 09:41\nAlert is sending away...");
    screen.repaint();
    EXPECT_NE(pixel(0, row.bandTop - 1), red);
    EXPECT_EQ(pixel(0, row.bandTop), red);
    EXPECT_EQ(pixel(w - 1, row.bandBottom - 1), red);
    EXPECT_NE(pixel(0, row.bandBottom), red);
    RECT text = inkOn(red, RECT{0, row.bandTop, w, row.bandBottom});
    ASSERT_FALSE(empty(text));
    EXPECT_GE(text.top, row.bandTop + 4) << "the text starts 4 rows into the band";
    EXPECT_NEAR((text.left + text.right) / 2.0, w / 2.0, 2.0);
    // Two lines: ink in the upper and in the lower half of the text.
    int middle = row.bandTop + 4 + (row.bandBottom - row.bandTop - 4) / 2;
    EXPECT_FALSE(empty(inkOn(red, RECT{0, row.bandTop, w, middle})));
    EXPECT_FALSE(empty(inkOn(red, RECT{0, middle, w, row.bandBottom})));
}

INSTANTIATE_TEST_SUITE_P(
    Screens, Layout,
    ::testing::Values(LayoutRow{"PocketPc240x320", {240, 320, 0, 5}, {32, 72}, 294, 140, 180},
                      LayoutRow{"PocketPc240x240", {240, 240, 0, 5}, {32, 32}, 214, 100, 140},
                      LayoutRow{"PocketPc480x640", {480, 640, 0, 5}, {152, 232}, 614, 300, 340},
                      LayoutRow{"Smartphone176x220", {176, 220, 1, 5}, {0, 22}, 198, 86, 134},
                      LayoutRow{"Smartphone4_176x220", {176, 220, 1, 4}, {0, 22}, 198, 88, 132}),
    [](const auto& info) { return std::string(info.param.legend); });

struct FontRow {
    const char* legend;
    Screen screen;
    int barFont, statusFont;
};

class Fonts : public ::testing::TestWithParam<FontRow> {};

// The texts' sizes per platform, recognised by their ink against reference renderings.
TEST_P(Fonts, BarAndStatusTextsUseThePlatformsSizes) {
    const FontRow& row = GetParam();
    MainScreen screen(row.screen);
    int w = row.screen.width, h = row.screen.height, bar = bottomBarHeight(w);
    RECT menu = inkInBar(RECT{w / 2, h - bar, w, h});
    SIZE expected = referenceInk(u"Menu", row.barFont, TRUE);
    EXPECT_EQ(menu.right - menu.left, expected.cx);
    EXPECT_EQ(menu.bottom - menu.top, expected.cy);
    setStatusText(u"Connecting");
    screen.repaint();
    RECT band{0, h, w, 0};  // the rows that are red at the left edge
    for (int y = 0; y < h; ++y)
        if (pixel(0, y) == red) band.top = std::min<LONG>(band.top, y), band.bottom = y + 1;
    RECT status = inkOn(red, band);
    expected = referenceInk(u"Connecting", row.statusFont, TRUE);
    EXPECT_EQ(status.right - status.left, expected.cx);
    EXPECT_EQ(status.bottom - status.top, expected.cy);
}

INSTANTIATE_TEST_SUITE_P(Platforms, Fonts,
                         ::testing::Values(FontRow{"PocketPc", {240, 320, 0, 5}, 15, 15},
                                           FontRow{"Smartphone4", {176, 220, 1, 4}, 16, 17},
                                           FontRow{"Smartphone5Narrow", {176, 220, 1, 5}, 16, 19},
                                           FontRow{"Smartphone5Wide", {240, 320, 1, 5}, 20, 19}),
                         [](const auto& info) { return std::string(info.param.legend); });

struct DiagnosticsRow {
    const char* legend;
    int32_t rmcStatus;
    uint32_t fixQuality;
    int32_t receiverFound;
    int32_t searchState;
    bool shown;
};

class Diagnostics : public ::testing::TestWithParam<DiagnosticsRow> {};

TEST_P(Diagnostics, ShownOnlyWhileAReceiverAnswersWithoutAFix) {
    const DiagnosticsRow& row = GetParam();
    gpsState.rmcStatus = row.rmcStatus;
    gpsState.fixQuality = row.fixQuality;
    gpsState.receiverFound = row.receiverFound;
    gpsState.searchState = row.searchState;
    gpsState.satellitesInView = 9;
    gpsState.satellitesUsed = 4;
    setLastSentence(u"$GPGSV,3,1,09,02,63,064,33,04,26,310,00,07,48,220,30*7F");
    MainScreen screen({240, 320, 0, 5});
    // Sentence line from y 281 (294 - 11 - 2), the satellites line 11 rows above it.
    RECT sentence = inkOn(white, RECT{0, 281, 240, 294});
    RECT satellites = inkOn(white, RECT{0, 270, 240, 281});
    EXPECT_EQ(!empty(sentence), row.shown);
    EXPECT_EQ(!empty(satellites), row.shown);
    if (!row.shown) return;
    EXPECT_GE(sentence.left, 4);
    EXPECT_GE(satellites.left, 4);
    EXPECT_EQ(satellites.right - satellites.left, referenceInk(u"Satellites: 9/4", 11, FALSE).cx)
        << "in view, then used";
}

INSTANTIATE_TEST_SUITE_P(States, Diagnostics,
                         ::testing::Values(DiagnosticsRow{"AnswersWithoutFix", 2, 0, 1, 3, true},
                                           DiagnosticsRow{"RmcStatusOther", 0, 0, 1, 1, true},
                                           DiagnosticsRow{"RmcValid", 1, 0, 1, 3, false},
                                           DiagnosticsRow{"GgaFix", 2, 1, 1, 3, false},
                                           DiagnosticsRow{"GgaSimulation", 2, 8, 1, 3, true},
                                           DiagnosticsRow{"NoReceiver", 2, 0, 0, 1, false},
                                           DiagnosticsRow{"SearchOver", 2, 0, 1, 0, false}),
                         [](const auto& info) { return std::string(info.param.legend); });

TEST(MainScreenPaint, LeavesNoGdiObjectBehind) {
    MainScreen screen({240, 320, 0, 5});
    gpsState.receiverFound = 1;
    gpsState.searchState = 3;
    setStatusText(u"GPS Rx found\nAwaiting for position...");
    screen.repaint();
    size_t before = orven::test::gdiObjectCount();
    for (int i = 0; i < 20; ++i) screen.repaint();
    EXPECT_EQ(orven::test::gdiObjectCount(), before);
}

TEST(MainScreenPaint, WithoutSkinTheScreenIsWhiteButForTheStatus) {
    MainScreen screen({240, 320, 0, 5});
    DeleteObject(skinBitmap);
    skinBitmap = nullptr;
    setStatusText(u"Begin emergency procedure\nimmediately");
    screen.repaint();
    EXPECT_TRUE(empty(inkOn(white, RECT{0, 0, 240, 140})));
    EXPECT_TRUE(empty(inkOn(white, RECT{0, 180, 240, 320}))) << "no emblem, no bar";
    EXPECT_EQ(pixel(0, 140), red);
    EXPECT_FALSE(empty(inkOn(red, RECT{0, 140, 240, 180})));
}

// ---- The "Exit" item

struct ExitRow {
    const char* legend;
    Screen screen;
    UINT itemId;
    UINT state;
    uint32_t background;
    uint32_t text;
    const char16_t* label;
    int font;
};

class ExitItem : public ::testing::TestWithParam<ExitRow> {};

TEST_P(ExitItem, ColoursAndLabel) {
    const ExitRow& row = GetParam();
    orven::test::Phone phone("screen-width = " + std::to_string(row.screen.width) +
                             "\nscreen-height = " + std::to_string(row.screen.height) + "\n");
    isSmartphone = row.screen.smartphone;
    osMajorVersion = row.screen.osMajor;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 120, 26);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT item{
        ODT_MENU, 0, row.itemId, ODA_DRAWENTIRE, row.state, nullptr, dc, RECT{1, 0, 119, 26}, 0};
    drawExitItem(&item);
    EXPECT_EQ(pixelOf(dc, 118, 25), row.background);
    EXPECT_EQ(pixelOf(dc, 0, 0), 0x000000u) << "nothing outside the item";
    RECT ink = inkBox(
        RECT{1, 0, 119, 26}, [&](int x, int y) { return pixelOf(dc, x, y); },
        [&](int, int) { return row.background; });
    if (row.label == nullptr) {
        EXPECT_TRUE(empty(ink)) << "no text";
    } else {
        RECT expected = referenceBox(row.label, row.font, TRUE);
        EXPECT_EQ(ink.left - 14, expected.left) << "the text starts at x 14";
        EXPECT_EQ(ink.top, expected.top);
        EXPECT_EQ(ink.right - ink.left, expected.right - expected.left);
        EXPECT_EQ(ink.bottom - ink.top, expected.bottom - expected.top);
        bool textColourSeen = false;
        for (int y = ink.top; y < ink.bottom; ++y)
            for (int x = ink.left; x < ink.right; ++x)
                textColourSeen |= pixelOf(dc, x, y) == row.text;
        EXPECT_TRUE(textColourSeen);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(
    States, ExitItem,
    ::testing::Values(
        ExitRow{
            "SelectedIsWhiteOnRed", {240, 320, 0, 5}, 1135, ODS_SELECTED, red, white, u"Exit", 13},
        ExitRow{"UnselectedIsRedOnWhite", {240, 320, 0, 5}, 1135, 0, white, red, u"Exit", 13},
        ExitRow{"SelectedWithFocusIsNotSelected",
                {240, 320, 0, 5},
                1135,
                ODS_SELECTED | ODS_FOCUS,
                white,
                red,
                u"Exit",
                13},
        ExitRow{
            "OtherItemOnlyFilled", {240, 320, 0, 5}, 1136, ODS_SELECTED, red, white, nullptr, 13},
        ExitRow{"Smartphone5Wide", {240, 320, 1, 5}, 1135, 0, white, red, u"  6 Exit", 17},
        ExitRow{"Smartphone5Narrow", {176, 220, 1, 5}, 1135, 0, white, red, u"6 Exit", 15},
        ExitRow{"Smartphone4", {240, 320, 1, 4}, 1135, 0, white, red, u"6 Exit", 15}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(ExitItem, MeasuresEightyEightByOneMenuRow) {
    orven::test::Phone phone;
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"MeasureTest";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, u"MeasureTest", u"", 0, 0, 0, 240, 320, nullptr, nullptr,
                                nullptr, nullptr);
    MEASUREITEMSTRUCT item{ODT_MENU, 0, 1135, 0, 0, 0};
    measureExitItem(hwnd, &item);
    EXPECT_EQ(item.itemWidth, 88u);
    EXPECT_EQ(item.itemHeight, static_cast<UINT>(GetSystemMetrics(SM_CYMENU)));
}

struct AppFontRow {
    const char* legend;
    DWORD smartphone, osMajor;
    int style;
    const char16_t* face;
    BYTE italic, underline, strikeOut;
};

class AppFont : public ::testing::TestWithParam<AppFontRow> {};

TEST_P(AppFont, FaceAndStyleFollowThePlatform) {
    const AppFontRow& row = GetParam();
    isSmartphone = row.smartphone;
    osMajorVersion = row.osMajor;
    HFONT font = createAppFont(17, TRUE, row.style, TRUE);
    LOGFONTW logFont{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(font), sizeof logFont, &logFont),
              static_cast<int>(sizeof logFont));
    EXPECT_EQ(std::u16string(logFont.lfFaceName), row.face);
    EXPECT_EQ(logFont.lfHeight, 17);
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);
    EXPECT_EQ(logFont.lfQuality, CLEARTYPE_QUALITY);
    EXPECT_EQ(logFont.lfItalic, row.italic);
    EXPECT_EQ(logFont.lfUnderline, row.underline);
    EXPECT_EQ(logFont.lfStrikeOut, row.strikeOut);
    EXPECT_TRUE(DeleteObject(font));
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, AppFont,
    ::testing::Values(AppFontRow{"PocketPc", 0, 5, 0, u"Tahoma", 0, 0, 0},
                      AppFontRow{"Smartphone5", 1, 5, 1, u"Segoe Condensed", 0, 1, 0},
                      AppFontRow{"Smartphone6", 1, 6, 2, u"Segoe Condensed", 0, 0, 1},
                      AppFontRow{"Smartphone4", 1, 4, 3, u"Nina", 1, 0, 0}),
    [](const auto& info) { return std::string(info.param.legend); });

}  // namespace
