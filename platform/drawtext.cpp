// Text output: DrawTextW, ExtTextOutW and GetTextExtentPoint32W over the fonts of
// font.cpp. Widths always come from the glyphs themselves; nothing assumes a width.
#include <algorithm>
#include <climits>
#include <string>

#include "platform/gdi_internal.h"
#include "platform/text.h"
#include "platform/transcript.h"

namespace {

using namespace orven;
using namespace orven::gdi;

struct Line {
    std::u16string_view text;
    int width;
};

// "&&" becomes "&" and a single "&" (the mnemonic marker) disappears.
std::u16string withoutPrefixes(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == u'&')
            continue;
        out.push_back(text[i]);
    }
    return out;
}

// Splits a paragraph at blanks so that each line fits `width`; a word wider than the
// rectangle stands alone on its line (and is clipped).
void wrapParagraph(FontFace* face, std::u16string_view paragraph, int width,
                   std::vector<Line>& lines) {
    size_t start = 0;
    while (true) {
        size_t end = start, lastFit = std::u16string_view::npos;
        int fitWidth = 0;
        while (end <= paragraph.size()) {
            size_t blank = paragraph.find(u' ', end);
            size_t wordEnd = blank == std::u16string_view::npos ? paragraph.size() : blank;
            int w = measureRun(face, paragraph.substr(start, wordEnd - start));
            if (w > width && lastFit != std::u16string_view::npos) break;
            lastFit = wordEnd;
            fitWidth = w;
            if (blank == std::u16string_view::npos) break;
            end = blank + 1;
        }
        lines.push_back(Line{paragraph.substr(start, lastFit - start), fitWidth});
        size_t next = lastFit;
        while (next < paragraph.size() && paragraph[next] == u' ') ++next;
        if (next >= paragraph.size()) return;
        start = next;
    }
}

// Lines break at CR, LF or CR LF (never with DT_SINGLELINE), and at blanks with
// DT_WORDBREAK.
std::vector<Line> layOut(FontFace* face, std::u16string_view text, UINT format, int width) {
    std::vector<Line> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back(Line{text, measureRun(face, text)});
        return lines;
    }
    size_t start = 0;
    while (true) {
        size_t end = text.find_first_of(u"\r\n", start);
        std::u16string_view paragraph =
            text.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (format & DT_WORDBREAK)
            wrapParagraph(face, paragraph, width, lines);
        else
            lines.push_back(Line{paragraph, measureRun(face, paragraph)});
        if (end == std::u16string_view::npos) break;
        start = end + 1;
        if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
    }
    return lines;
}

void drawDecorations(const DcState& dc, FontFace* face, int x, int baseline, int width,
                     const RECT& limit) {
    if (!dc.font) return;
    const LOGFONTW& logFont = dc.font->logFont;
    LineMetrics metrics = metricsOf(face);
    int thickness = std::max(1, metrics.height / 14);
    auto bar = [&](int top) {
        RECT area{std::max<LONG>(x, limit.left), std::max<LONG>(top, limit.top),
                  std::min<LONG>(x + width, limit.right),
                  std::min<LONG>(top + thickness, limit.bottom)};
        Surface surface = surfaceOf(dc);
        forEachClip(dc, area, [&](const RECT& part) {
            for (LONG y = part.top; y < part.bottom; ++y)
                std::fill(surface.pixels + static_cast<size_t>(y) * surface.width + part.left,
                          surface.pixels + static_cast<size_t>(y) * surface.width + part.right,
                          dc.textColour);
        });
    };
    if (logFont.lfUnderline) bar(baseline + 1);
    if (logFont.lfStrikeOut) bar(baseline - metrics.ascent / 3);
}

// One line at its top-left corner, logical coordinates; `limit` in surface coordinates.
void drawLine(const DcState& dc, FontFace* face, const Line& line, int x, int y,
              const RECT& limit) {
    LineMetrics metrics = metricsOf(face);
    int sx = x + dc.origin.x, sy = y + dc.origin.y;
    if (dc.bkMode == OPAQUE) {
        RECT box{std::max<LONG>(sx, limit.left), std::max<LONG>(sy, limit.top),
                 std::min<LONG>(sx + line.width, limit.right),
                 std::min<LONG>(sy + metrics.height, limit.bottom)};
        fillLogical(dc,
                    RECT{box.left - dc.origin.x, box.top - dc.origin.y, box.right - dc.origin.x,
                         box.bottom - dc.origin.y},
                    dc.bkColour);
    }
    drawRun(dc, face, sx, sy + metrics.ascent, line.text, dc.textColour, limit);
    drawDecorations(dc, face, sx, sy + metrics.ascent, line.width, limit);
}

}  // namespace

// ---- DrawTextW
// Formats: DT_LEFT, DT_CENTER, DT_RIGHT; with DT_SINGLELINE also DT_TOP, DT_VCENTER and
// DT_BOTTOM; DT_WORDBREAK, DT_NOCLIP, DT_CALCRECT and DT_NOPREFIX. Returns the height
// of the text (from the rectangle's top when vertically centred or bottom-aligned).
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    auto state = dcOf(dc);
    if (!state || text == nullptr || rect == nullptr) return 0;
    std::u16string_view raw(
        text, count < 0 ? static_cast<size_t>(lstrlenW(text)) : static_cast<size_t>(count));
    std::u16string stripped;
    if (!(format & DT_NOPREFIX)) {
        stripped = withoutPrefixes(raw);
        raw = stripped;
    }
    FontFace* face = currentFace(*state);
    LineMetrics metrics = metricsOf(face);
    std::vector<Line> lines = layOut(face, raw, format, rect->right - rect->left);
    int height = metrics.height * static_cast<int>(lines.size());
    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - height) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - height;
    }
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& line : lines) widest = std::max(widest, line.width);
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    transcript::textDrawn(state->window, raw, format);
    RECT limit{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
    if (!(format & DT_NOCLIP))
        limit = RECT{rect->left + state->origin.x, rect->top + state->origin.y,
                     rect->right + state->origin.x, rect->bottom + state->origin.y};
    int y = top;
    for (const Line& line : lines) {
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - line.width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - line.width;
        drawLine(*state, face, line, x, y, limit);
        y += metrics.height;
    }
    return (top - rect->top) + height;
}

// ---- ExtTextOutW
// The text's cell has its top-left corner at (x, y). ETO_OPAQUE fills `rect` with the
// background colour first; ETO_CLIPPED clips to it. Character spacing (dx) is ignored.
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const int*) {
    auto state = dcOf(dc);
    if (!state) return FALSE;
    if ((options & ETO_OPAQUE) && rect != nullptr) fillLogical(*state, *rect, state->bkColour);
    if (text == nullptr || count == 0) return TRUE;
    FontFace* face = currentFace(*state);
    std::u16string_view run(text, count);
    RECT limit{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
    if ((options & ETO_CLIPPED) && rect != nullptr)
        limit = RECT{rect->left + state->origin.x, rect->top + state->origin.y,
                     rect->right + state->origin.x, rect->bottom + state->origin.y};
    drawLine(*state, face, Line{run, measureRun(face, run)}, x, y, limit);
    return TRUE;
}

// ---- GetTextExtentPoint32W
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size) {
    auto state = dcOf(dc);
    if (!state || size == nullptr || count < 0 || (text == nullptr && count > 0)) return FALSE;
    FontFace* face = currentFace(*state);
    size->cx = count > 0 ? measureRun(face, std::u16string_view(text, count)) : 0;
    size->cy = metricsOf(face).height;
    return TRUE;
}
