// The GDI over the framebuffer: DrawTextW's alignment, line breaks, wrapping and
// clipping; fonts (cell height, one-bit and greyscale glyphs, faces); TransparentImage's
// colour key and stretching; what a window's context may draw over; object lifetimes.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing.h"
#include "platform/windows.h"

namespace {

constexpr uint32_t whiteXrgb = 0xFFFFFF;

uint32_t xrgbOf(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

HBRUSH stockBrush(int index) {
    return static_cast<HBRUSH>(static_cast<void*>(GetStockObject(index)));
}

// A memory context over a white bitmap, with a font selected.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        oldBitmap_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        FillRect(dc_, &all, stockBrush(WHITE_BRUSH));
        SetTextColor(dc_, RGB(0, 0, 0));
        SetBkMode(dc_, TRANSPARENT);
    }
    ~Canvas() {
        useFont(nullptr);
        SelectObject(dc_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    void useFont(HFONT font) {
        if (font_ != nullptr) {
            SelectObject(dc_, oldFont_);
            DeleteObject(font_);
        }
        font_ = font;
        if (font != nullptr) oldFont_ = SelectObject(dc_, font);
    }
    uint32_t at(int x, int y) const { return xrgbOf(GetPixel(dc_, x, y)); }
    // Bounding box of the pixels that are not white.
    RECT ink(RECT area) const {
        RECT box{area.right, area.bottom, area.left, area.top};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (at(x, y) != whiteXrgb) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
    RECT ink() const { return ink(RECT{0, 0, width_, height_}); }
    // Rows holding ink, as runs [top, bottom).
    std::vector<std::pair<int, int>> inkRows() const {
        std::vector<std::pair<int, int>> runs;
        for (int y = 0; y < height_; ++y) {
            RECT row = ink(RECT{0, y, width_, y + 1});
            if (row.left >= row.right) continue;
            if (!runs.empty() && runs.back().second == y)
                runs.back().second = y + 1;
            else
                runs.emplace_back(y, y + 1);
        }
        return runs;
    }

  private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ oldBitmap_;
    HFONT font_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

HFONT tahoma(int height, bool bold = false) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lstrcpynW(font.lfFaceName, u"Tahoma", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

class Gdi : public ::testing::Test {
  protected:
    orven::test::Phone phone;
};

// ---- DrawTextW

struct AlignRow {
    const char* legend;
    UINT format;
    double centreX, centreY;  // expected centre of the ink, -1: not checked
    int left, top;            // expected minimum of the ink, -1: not checked
};

class DrawTextAlignment : public ::testing::TestWithParam<AlignRow> {
  protected:
    orven::test::Phone phone;
};

TEST_P(DrawTextAlignment, InkSitsWhereTheFormatSays) {
    const AlignRow& row = GetParam();
    Canvas canvas(200, 80);
    canvas.useFont(tahoma(15, true));
    RECT rect{20, 10, 180, 70};
    DrawTextW(canvas.dc(), u"Alert now!", -1, &rect, row.format);
    RECT ink = canvas.ink();
    ASSERT_LT(ink.left, ink.right);
    if (row.centreX >= 0) {
        EXPECT_NEAR((ink.left + ink.right) / 2.0, row.centreX, 1.5);
    }
    if (row.centreY >= 0) {
        EXPECT_NEAR((ink.top + ink.bottom) / 2.0, row.centreY, 3.0);
    }
    if (row.left >= 0) {
        EXPECT_LE(std::abs(ink.left - row.left), 2);
    }
    if (row.top >= 0) {
        EXPECT_GE(ink.top, row.top);
        EXPECT_LE(ink.top, row.top + 6);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DrawTextAlignment,
    ::testing::Values(AlignRow{"TopLeft", 0, -1, -1, 20, 10},
                      AlignRow{"CentredHorizontally", DT_CENTER, 100, -1, -1, 10},
                      AlignRow{"CentredBoth", DT_CENTER | DT_VCENTER | DT_SINGLELINE, 100, 40, -1,
                               -1},
                      AlignRow{"VCentreNeedsSingleLine", DT_CENTER | DT_VCENTER, 100, -1, -1, 10},
                      AlignRow{"BottomSingleLine", DT_BOTTOM | DT_SINGLELINE, -1, -1, 20, 55}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST_F(Gdi, LineFeedsBreakLinesExceptOnASingleLine) {
    Canvas canvas(240, 100);
    canvas.useFont(tahoma(15, true));
    RECT rect{0, 0, 240, 100};
    int height =
        DrawTextW(canvas.dc(), u"GPS Rx found\nAwaiting for position...", -1, &rect, DT_CENTER);
    EXPECT_EQ(height, 30) << "two lines of the 15-pixel cell";
    auto rows = canvas.inkRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_GE(rows[1].first, 15) << "the second line starts one cell lower";
    // Each line is centred on its own.
    RECT first = canvas.ink(RECT{0, rows[0].first, 240, rows[0].second});
    RECT second = canvas.ink(RECT{0, rows[1].first, 240, rows[1].second});
    EXPECT_NEAR((first.left + first.right) / 2.0, 120, 1.5);
    EXPECT_NEAR((second.left + second.right) / 2.0, 120, 1.5);
    EXPECT_GT(second.right - second.left, first.right - first.left);

    Canvas single(240, 100);
    single.useFont(tahoma(15, true));
    EXPECT_EQ(DrawTextW(single.dc(), u"GPS Rx found\nAwaiting", -1, &rect, DT_SINGLELINE), 15);
    EXPECT_EQ(single.inkRows().size(), 1u);
}

TEST_F(Gdi, CalcRectMeasuresWithoutDrawing) {
    Canvas canvas(240, 100);
    canvas.useFont(tahoma(13));
    RECT rect{10, 5, 230, 5};
    int height = DrawTextW(canvas.dc(), u"One\nTwo lines\nThree", -1, &rect, DT_CALCRECT);
    EXPECT_EQ(height, 39);
    EXPECT_EQ(rect.bottom, 5 + 39);
    SIZE widest{};
    GetTextExtentPoint32W(canvas.dc(), u"Two lines", 9, &widest);
    EXPECT_EQ(rect.right, 10 + widest.cx);
    RECT ink = canvas.ink();
    EXPECT_GE(ink.left, ink.right) << "nothing drawn";
}

TEST_F(Gdi, WordBreakWrapsAtBlanksWithinTheWidth) {
    Canvas canvas(300, 200);
    canvas.useFont(tahoma(13));
    LPCWSTR text = u"No alert message will send!\n\nYou have to set at least one alert number.";
    RECT rect{0, 0, 100, 200};
    int height = DrawTextW(canvas.dc(), text, -1, &rect, DT_WORDBREAK);
    EXPECT_GE(height, 6 * 13) << "both paragraphs wrapped, with the empty line between";
    EXPECT_EQ(height % 13, 0);
    RECT ink = canvas.ink();
    EXPECT_LE(ink.right, 100);
    EXPECT_EQ(static_cast<int>(canvas.inkRows().size()), height / 13 - 1) << "one empty line";
    EXPECT_EQ(DrawTextW(canvas.dc(), text, -1, &rect, DT_WORDBREAK | DT_CALCRECT), height);
}

TEST_F(Gdi, TextIsClippedToItsRectangleUnlessNoClip) {
    Canvas canvas(200, 60);
    canvas.useFont(tahoma(15, true));
    RECT rect{10, 10, 40, 30};
    DrawTextW(canvas.dc(), u"A long text", -1, &rect, DT_SINGLELINE);
    EXPECT_LE(canvas.ink().right, 40);
    DrawTextW(canvas.dc(), u"A long text", -1, &rect, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(canvas.ink().right, 40);
}

TEST_F(Gdi, PrefixesAreHiddenUnlessNoPrefix) {
    Canvas canvas(200, 60);
    canvas.useFont(tahoma(13));
    SIZE plain{}, doubled{};
    GetTextExtentPoint32W(canvas.dc(), u"Save", 4, &plain);
    GetTextExtentPoint32W(canvas.dc(), u"A&B", 3, &doubled);
    RECT rect{0, 0, 200, 60};
    DrawTextW(canvas.dc(), u"&Save", -1, &rect, DT_CALCRECT);
    EXPECT_EQ(rect.right, plain.cx);
    rect = RECT{0, 0, 200, 60};
    DrawTextW(canvas.dc(), u"A&&B", -1, &rect, DT_CALCRECT);
    EXPECT_EQ(rect.right, doubled.cx);
    rect = RECT{0, 0, 200, 60};
    DrawTextW(canvas.dc(), u"A&&B", -1, &rect, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_GT(rect.right, doubled.cx);
}

TEST_F(Gdi, OpaqueBackgroundFillsBehindTheText) {
    Canvas canvas(100, 30);
    canvas.useFont(tahoma(13));
    SetBkMode(canvas.dc(), OPAQUE);
    SetBkColor(canvas.dc(), RGB(0, 0, 255));
    RECT rect{0, 0, 100, 30};
    DrawTextW(canvas.dc(), u"iii", -1, &rect, 0);
    EXPECT_EQ(canvas.at(0, 12), 0x0000FFu);
    EXPECT_EQ(canvas.at(0, 20), whiteXrgb) << "only the text's cell";
}

// ---- Fonts

TEST_F(Gdi, PositiveHeightIsTheCharacterCell) {
    Canvas canvas(10, 10);
    for (int height : {11, 13, 15, 17, 19, 20}) {
        SCOPED_TRACE(height);
        canvas.useFont(tahoma(height, true));
        TEXTMETRICW metrics{};
        ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &metrics));
        EXPECT_EQ(metrics.tmHeight, height);
        EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, height);
        SIZE size{};
        GetTextExtentPoint32W(canvas.dc(), u"Menu", 4, &size);
        EXPECT_EQ(size.cy, height);
    }
}

TEST_F(Gdi, WidthsComeFromTheGlyphs) {
    Canvas canvas(10, 10);
    canvas.useFont(tahoma(15));
    SIZE narrow{}, wide{}, bold{};
    GetTextExtentPoint32W(canvas.dc(), u"iiii", 4, &narrow);
    GetTextExtentPoint32W(canvas.dc(), u"WWWW", 4, &wide);
    EXPECT_GT(wide.cx, 2 * narrow.cx);
    canvas.useFont(tahoma(15, true));
    GetTextExtentPoint32W(canvas.dc(), u"WWWW", 4, &bold);
    EXPECT_GT(bold.cx, wide.cx);
}

struct GlyphRow {
    const char* legend;
    int height;
    bool bold;
    bool greyLevels;  // antialiased outlines rather than one-bit embedded bitmaps
};

class GlyphPixels : public ::testing::TestWithParam<GlyphRow> {
  protected:
    orven::test::Phone phone;
};

// Tahoma's embedded bitmaps (12 pixels per em at a 15-pixel cell) come as one-bit
// glyphs; at 17 (14 per em, no bitmap) the outline is rendered with grey levels.
TEST_P(GlyphPixels, OneBitAndGreyGlyphsBothDraw) {
    const GlyphRow& row = GetParam();
    Canvas canvas(200, 40);
    canvas.useFont(tahoma(row.height, row.bold));
    RECT rect{0, 0, 200, 40};
    DrawTextW(canvas.dc(), u"Satellites: 8/5", -1, &rect, 0);
    int black = 0, grey = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            uint32_t p = canvas.at(x, y);
            if (p == 0)
                ++black;
            else if (p != whiteXrgb)
                ++grey;
        }
    EXPECT_GT(black, 20);
    EXPECT_EQ(grey > 0, row.greyLevels) << grey << " grey pixels";
}

INSTANTIATE_TEST_SUITE_P(Sizes, GlyphPixels,
                         ::testing::Values(GlyphRow{"Tahoma15Bitmap", 15, false, false},
                                           GlyphRow{"Tahoma13BoldBitmap", 13, true, false},
                                           GlyphRow{"Tahoma17Outline", 17, false, true},
                                           GlyphRow{"Tahoma20BoldOutline", 20, true, true}),
                         [](const auto& info) { return std::string(info.param.legend); });

TEST_F(Gdi, EveryFaceNameGivesAFont) {
    Canvas canvas(300, 40);
    for (const char16_t* face : {u"Tahoma", u"Segoe Condensed", u"Nina", u"No Such Face"}) {
        SCOPED_TRACE(orven::toUtf8(face));
        LOGFONTW font{};
        font.lfHeight = 17;
        font.lfWeight = FW_BOLD;
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        canvas.useFont(CreateFontIndirectW(&font));
        SIZE size{};
        GetTextExtentPoint32W(canvas.dc(), u"ZURV: ORVEN\u2122", 12, &size);
        EXPECT_GT(size.cx, 60);
        EXPECT_EQ(size.cy, 17);
    }
}

// ---- TransparentImage and BitBlt

// A 4 x 2 source: black, red / green, blue / white, black ... row by row.
HBITMAP makeSource(HDC dc) {
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 2);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const COLORREF colours[2][4] = {
        {RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)},
        {RGB(255, 255, 255), RGB(0, 0, 0), RGB(9, 9, 9), RGB(255, 0, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) SetPixel(memory, x, y, colours[y][x]);
    SelectObject(memory, old);
    DeleteDC(memory);
    return bitmap;
}

struct BlitRow {
    const char* legend;
    int destWidth, destHeight;
    COLORREF key;
    std::vector<std::string> expected;  // one character per pixel: k r g b w d(9,9,9) . (untouched)
};

class Transparent : public ::testing::TestWithParam<BlitRow> {
  protected:
    orven::test::Phone phone;
};

char letterOf(uint32_t xrgb) {
    switch (xrgb) {
        case 0x000000: return 'k';
        case 0xFF0000: return 'r';
        case 0x00FF00: return 'g';
        case 0x0000FF: return 'b';
        case 0xFFFFFF: return 'w';
        case 0x090909: return 'd';
        case 0x808080: return '.';
        default: return '?';
    }
}

TEST_P(Transparent, KeyIsLeftOutAndTheSourceStretched) {
    const BlitRow& row = GetParam();
    Canvas canvas(16, 8);
    RECT all{0, 0, 16, 8};
    FillRect(canvas.dc(), &all, stockBrush(GRAY_BRUSH));
    HBITMAP source = makeSource(canvas.dc());
    ASSERT_TRUE(TransparentImage(canvas.dc(), 0, 0, row.destWidth, row.destHeight, source, 0, 0, 4,
                                 2, row.key));
    for (int y = 0; y < static_cast<int>(row.expected.size()); ++y) {
        std::string actual;
        for (int x = 0; x < static_cast<int>(row.expected[y].size()); ++x)
            actual += letterOf(canvas.at(x, y));
        EXPECT_EQ(actual, row.expected[y]) << "row " << y;
    }
    DeleteObject(source);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Transparent,
    ::testing::Values(BlitRow{"SameSizeBlackKey", 4, 2, RGB(0, 0, 0), {".rgb.", "w.dr."}},
                      BlitRow{"SameSizeWhiteKey", 4, 2, RGB(255, 255, 255), {"krgb.", ".kdr."}},
                      BlitRow{"KeyMatchesExactly", 4, 2, RGB(9, 9, 9), {"krgb.", "wk.r."}},
                      BlitRow{"StretchedTwice",
                              8,
                              4,
                              RGB(255, 255, 255),
                              {"kkrrggbb.", "kkrrggbb.", "..kkddrr.", "..kkddrr.", "........."}},
                      BlitRow{"ShrunkToHalf", 2, 1, RGB(0, 0, 255), {"kg.", "..."}}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST_F(Gdi, TransparentImageTakesAMemoryContextAsSource) {
    Canvas canvas(8, 4);
    HBITMAP source = makeSource(canvas.dc());
    HDC memory = CreateCompatibleDC(canvas.dc());
    HGDIOBJ old = SelectObject(memory, source);
    EXPECT_TRUE(TransparentImage(canvas.dc(), 2, 1, 2, 1, memory, 1, 0, 2, 1, RGB(0, 255, 0)));
    EXPECT_EQ(canvas.at(2, 1), 0xFF0000u);
    EXPECT_EQ(canvas.at(3, 1), whiteXrgb) << "green is the key";
    EXPECT_TRUE(BitBlt(canvas.dc(), 0, 3, 4, 1, memory, 0, 1, SRCCOPY));
    EXPECT_EQ(canvas.at(2, 3), 0x090909u);
    EXPECT_FALSE(DeleteObject(source)) << "still selected";
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(source));
    DeleteDC(memory);
}

// ---- Contexts of windows

LRESULT CALLBACK plainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        ValidateRect(hwnd, nullptr);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND makeWindow(int x, int y, int w, int h, HWND parent = nullptr) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.lpszClassName = u"GdiTestWindow";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"GdiTestWindow", u"", WS_VISIBLE | (parent ? WS_CHILD : 0), x, y, w,
                           h, parent, nullptr, nullptr, nullptr);
}

void fill(HWND hwnd, COLORREF colour) {
    HDC dc = GetDC(hwnd);
    RECT all{-1000, -1000, 1000, 1000};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ReleaseDC(hwnd, dc);
}

TEST_F(Gdi, WindowContextsDrawOnlyWhatOfTheirWindowIsSeen) {
    using orven::test::pixel;
    HWND back = makeWindow(0, 0, 240, 320);
    HWND child = makeWindow(10, 10, 20, 20, back);
    HWND front = makeWindow(100, 100, 50, 50);
    fill(front, RGB(0, 0, 255));
    fill(child, RGB(0, 255, 0));
    fill(back, RGB(255, 0, 0));
    EXPECT_EQ(pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(pixel(120, 120), 0x0000FFu) << "a newer window stays whole";
    EXPECT_EQ(pixel(15, 15), 0x00FF00u) << "the parent clips its child";
    fill(child, RGB(255, 255, 0));
    EXPECT_EQ(pixel(29, 29), 0xFFFF00u);
    EXPECT_EQ(pixel(30, 30), 0xFF0000u) << "the child stays inside its rectangle";
    ShowWindow(front, SW_HIDE);
    fill(back, RGB(255, 0, 0));
    EXPECT_EQ(pixel(120, 120), 0xFF0000u);
    ShowWindow(back, SW_MINIMIZE);
    fill(back, RGB(0, 0, 0));
    EXPECT_EQ(pixel(0, 0), 0xFF0000u) << "a minimised window draws nothing";
}

TEST_F(Gdi, PaintContextOffsetsToTheWindow) {
    HWND hwnd = makeWindow(40, 50, 100, 100);
    HDC dc = GetDC(hwnd);
    SetPixel(dc, 0, 0, RGB(1, 2, 3));
    EXPECT_EQ(orven::test::pixel(40, 50), 0x010203u);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(dc, 100, 0), CLR_INVALID) << "outside the window";
    ReleaseDC(hwnd, dc);
}

TEST_F(Gdi, ObjectsLiveUntilDeletedAndStockObjectsForever) {
    size_t before = orven::test::gdiObjectCount();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HFONT font = tahoma(13);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(orven::test::gdiObjectCount(), before + 3);
    HGDIOBJ oldFont = SelectObject(dc, font);
    EXPECT_NE(oldFont, nullptr) << "the system font was selected";
    EXPECT_FALSE(DeleteObject(font)) << "selected";
    EXPECT_EQ(SelectObject(dc, oldFont), reinterpret_cast<HGDIOBJ>(font));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font)) << "already deleted";
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(dc))) << "contexts go with DeleteDC";
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(orven::test::gdiObjectCount(), before);
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), nullptr) << "stale context";
}

TEST_F(Gdi, SkinBitmapHasItsTwoRegions) {
    HBITMAP skin =
        static_cast<HBITMAP>(LoadImageW(nullptr, MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(skin, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(skin), sizeof info, &info),
              static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 175);
    EXPECT_EQ(info.bmHeight, 201);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, skin);
    int blackInEmblem = 0, whiteInBar = 0, blue = 0;
    for (int y = 0; y < 201; ++y)
        for (int x = 0; x < 175; ++x) {
            uint32_t p = xrgbOf(GetPixel(dc, x, y));
            if (y < 175 && p == 0) ++blackInEmblem;
            if (y >= 175 && p == whiteXrgb) ++whiteInBar;
            if ((p & 0xFF) > 0x80 && (p >> 16) < 0x40) ++blue;
        }
    EXPECT_EQ(blackInEmblem, 0) << "black is the emblem's transparent colour";
    EXPECT_EQ(whiteInBar, 0) << "white is the bar's transparent colour";
    EXPECT_GT(blue, 4000) << "the star is blue";
    EXPECT_EQ(xrgbOf(GetPixel(dc, 2, 2)), whiteXrgb) << "on white";
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(skin));
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(999), IMAGE_BITMAP, 0, 0, 0), nullptr);
}

}  // namespace
