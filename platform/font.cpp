// Fonts: CreateFontIndirectW and GetTextMetricsW, with FreeType behind them.
//
// The phone's faces are mapped to installed fonts of similar metrics, opened by path
// (fontconfig does not know Wine's fonts): "Tahoma" to Wine's Tahoma, whose embedded
// bitmaps give the crisp small sizes of the phone (8 to 16 pixels per em, 14 excepted);
// the Smartphone faces "Segoe Condensed" and "Nina" to DejaVu Sans Condensed; anything
// else to Tahoma. DejaVu Sans stands in when a file is missing, and also supplies the
// glyphs a face lacks.
//
// A positive height is the character cell (ascent + descent), as the program asks for
// it; the pixels per em follow from the face's Windows ascent and descent. Faces are
// cached per (file, size, style) and glyphs per face, for the life of the process: the
// program creates and deletes its fonts on every paint, so creation is a table lookup.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>

#include "platform/gdi_internal.h"

namespace orven::gdi {

struct FontFace {
    FT_Face face = nullptr;  // null when no font file could be opened at all
    int ppem = 0;
    LineMetrics metrics;
    bool synthBold = false;  // bold asked for, but no bold file: emboldened outlines
    bool oblique = false;
    // DejaVu Sans for code points the face lacks, opened the first time one is missing.
    FontFace* fallback = nullptr;
    bool fallbackOpened = false;
    std::string path;
    LONG height = 0;
    std::unordered_map<char32_t, Glyph> glyphs;
};

}  // namespace orven::gdi

namespace {

using namespace orven::gdi;

constexpr int defaultCellHeight = 13;  // a zero height: the system font's size

const char* const tahoma[] = {"/usr/share/wine/fonts/tahoma.ttf"};
const char* const tahomaBold[] = {"/usr/share/wine/fonts/tahomabd.ttf"};
const char* const condensed[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf"};
const char* const condensedBold[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"};
const char* const dejaVu[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"};
const char* const dejaVuBold[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};

std::mutex fontLock;  // FreeType and every cache below
FT_Library library = nullptr;
std::map<std::string, std::vector<FT_Byte>> fileData;  // whole files, kept for the faces
std::map<std::tuple<std::string, int, bool, bool>, std::unique_ptr<FontFace>> faces;

bool asciiEqualsIgnoringCase(const WCHAR* text, const char* expected) {
    size_t i = 0;
    for (; expected[i] != 0; ++i) {
        WCHAR c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
        if (c != static_cast<unsigned char>(expected[i])) return false;
    }
    return text[i] == 0;
}

// The file data of a font, read once; null when it cannot be read.
const std::vector<FT_Byte>* readFontFile(const std::string& path) {
    auto it = fileData.find(path);
    if (it == fileData.end()) {
        std::ifstream in(path, std::ios::binary);
        std::vector<FT_Byte> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        it = fileData.emplace(path, std::move(bytes)).first;
    }
    return it->second.empty() ? nullptr : &it->second;
}

template <size_t N>
std::string firstReadable(const char* const (&paths)[N]) {
    for (const char* path : paths)
        if (readFontFile(path) != nullptr) return path;
    return {};
}

// The file for a face name and weight, and whether bold must be synthesised.
std::string chooseFile(const LOGFONTW& font, bool& synthBold) {
    bool bold = font.lfWeight >= 600;
    bool smartphoneFace = asciiEqualsIgnoringCase(font.lfFaceName, "segoe condensed") ||
                          asciiEqualsIgnoringCase(font.lfFaceName, "nina");
    std::string path;
    synthBold = false;
    if (smartphoneFace) path = bold ? firstReadable(condensedBold) : firstReadable(condensed);
    if (path.empty()) path = bold ? firstReadable(tahomaBold) : firstReadable(tahoma);
    if (path.empty()) path = bold ? firstReadable(dejaVuBold) : firstReadable(dejaVu);
    if (path.empty() && bold) {
        synthBold = true;
        path = smartphoneFace ? firstReadable(condensed) : std::string();
        if (path.empty()) path = firstReadable(tahoma);
        if (path.empty()) path = firstReadable(dejaVu);
    }
    return path;
}

// Pixels per em and line metrics for a requested height (caller holds fontLock).
void sizeFace(FontFace& entry, LONG height) {
    FT_Face face = entry.face;
    int upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    int ascent = face->ascender, descent = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    if (ascent + descent <= 0) ascent = upem, descent = 0;
    if (height > 0) {
        entry.ppem = std::max(1, static_cast<int>(std::lround(static_cast<double>(height) * upem /
                                                              (ascent + descent))));
        entry.metrics.ascent = static_cast<int>(
            std::lround(static_cast<double>(height) * ascent / (ascent + descent)));
        entry.metrics.descent = height - entry.metrics.ascent;
    } else {
        entry.ppem = std::max(1, static_cast<int>(-height));
        entry.metrics.ascent = static_cast<int>(std::lround(double(entry.ppem) * ascent / upem));
        entry.metrics.descent = static_cast<int>(std::lround(double(entry.ppem) * descent / upem));
    }
    entry.metrics.height = entry.metrics.ascent + entry.metrics.descent;
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(entry.ppem));
}

FontFace* openFace(const std::string& path, LONG height, bool synthBold, bool oblique);

// DejaVu Sans at the same size and weight, for code points the face lacks.
FontFace* fallbackFor(const std::string& path, LONG height, bool bold, bool oblique) {
    std::string fallback = bold ? firstReadable(dejaVuBold) : firstReadable(dejaVu);
    if (fallback.empty() || fallback == path) return nullptr;
    return openFace(fallback, height, false, oblique);
}

// Caller holds fontLock.
FontFace* openFace(const std::string& path, LONG height, bool synthBold, bool oblique) {
    auto key = std::make_tuple(path, static_cast<int>(height), synthBold, oblique);
    if (auto it = faces.find(key); it != faces.end()) return it->second.get();
    auto entry = std::make_unique<FontFace>();
    entry->synthBold = synthBold;
    entry->oblique = oblique;
    const std::vector<FT_Byte>* data = path.empty() ? nullptr : readFontFile(path);
    if (library == nullptr) FT_Init_FreeType(&library);
    if (data != nullptr && library != nullptr &&
        FT_New_Memory_Face(library, data->data(), static_cast<FT_Long>(data->size()), 0,
                           &entry->face) == 0) {
        sizeFace(*entry, height);
    } else {
        entry->face = nullptr;
        entry->ppem = height > 0 ? height * 4 / 5 : (height < 0 ? -height : 10);
        entry->metrics = LineMetrics{entry->ppem, std::max(1, entry->ppem / 4), 0};
        entry->metrics.height = entry->metrics.ascent + entry->metrics.descent;
    }
    entry->path = path;
    entry->height = height;
    FontFace* result = entry.get();
    faces.emplace(key, std::move(entry));
    return result;
}

void copyBitmap(const FT_Bitmap& bitmap, Glyph& glyph) {
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
    for (int y = 0; y < glyph.height; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        uint8_t* out = glyph.coverage.data() + static_cast<size_t>(y) * glyph.width;
        for (int x = 0; x < glyph.width; ++x) {
            switch (bitmap.pixel_mode) {
                case FT_PIXEL_MODE_MONO:  // embedded bitmaps: one bit per pixel, leftmost high
                    out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                    break;
                case FT_PIXEL_MODE_GRAY:
                    out[x] = static_cast<uint8_t>(row[x] * 255 / std::max(1, bitmap.num_grays - 1));
                    break;
                case FT_PIXEL_MODE_BGRA: out[x] = row[x * 4 + 3]; break;
                default: out[x] = 0; break;
            }
        }
    }
}

// Caller holds fontLock.
const Glyph& glyphLocked(FontFace* face, char32_t codePoint) {
    auto it = face->glyphs.find(codePoint);
    if (it != face->glyphs.end()) return it->second;
    Glyph glyph;
    if (face->face == nullptr) {
        glyph.advance = std::max(1, face->ppem / 2);
        return face->glyphs.emplace(codePoint, std::move(glyph)).first->second;
    }
    FT_UInt index = FT_Get_Char_Index(face->face, codePoint);
    if (index == 0 && !face->fallbackOpened) {
        face->fallbackOpened = true;
        bool bold = face->synthBold || face->path.find("bd.") != std::string::npos ||
                    face->path.find("Bold") != std::string::npos;
        face->fallback = fallbackFor(face->path, face->height, bold, face->oblique);
    }
    if (index == 0 && face->fallback != nullptr &&
        FT_Get_Char_Index(face->fallback->face, codePoint) != 0)
        return face->glyphs.emplace(codePoint, glyphLocked(face->fallback, codePoint))
            .first->second;
    FT_Int32 flags = FT_LOAD_DEFAULT;
    if (face->synthBold || face->oblique) flags |= FT_LOAD_NO_BITMAP;
    FT_GlyphSlot slot = face->face->glyph;
    if (FT_Load_Glyph(face->face, index, flags) == 0) {
        if (face->synthBold) FT_GlyphSlot_Embolden(slot);
        if (face->oblique) FT_GlyphSlot_Oblique(slot);
        if (slot->format == FT_GLYPH_FORMAT_BITMAP ||
            FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
            copyBitmap(slot->bitmap, glyph);
            glyph.left = slot->bitmap_left;
            glyph.top = slot->bitmap_top;
        }
        glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    }
    return face->glyphs.emplace(codePoint, std::move(glyph)).first->second;
}

// Decodes one code point of UTF-16 at text[i], moving i past it.
char32_t nextCodePoint(std::u16string_view text, size_t& i) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
    return c;
}

}  // namespace

namespace orven::gdi {

FontFace* faceFor(const LOGFONTW& font) {
    std::lock_guard<std::mutex> hold(fontLock);
    bool synthBold;
    std::string path = chooseFile(font, synthBold);
    LONG height = font.lfHeight != 0 ? font.lfHeight : defaultCellHeight;
    return openFace(path, height, synthBold, font.lfItalic != 0);
}

LineMetrics metricsOf(const FontFace* face) {
    return face->metrics;
}

const Glyph& glyphOf(FontFace* face, char32_t codePoint) {
    std::lock_guard<std::mutex> hold(fontLock);
    return glyphLocked(face, codePoint);
}

int measureRun(FontFace* face, std::u16string_view text) {
    int width = 0;
    std::lock_guard<std::mutex> hold(fontLock);
    for (size_t i = 0; i < text.size();) {
        char32_t c = nextCodePoint(text, i);
        if (c >= 0x20) width += glyphLocked(face, c).advance;
    }
    return width;
}

void drawRun(const DcState& dc, FontFace* face, int x, int baseline, std::u16string_view text,
             uint32_t xrgb, const RECT& limit) {
    Surface surface = surfaceOf(dc);
    std::lock_guard<std::mutex> hold(fontLock);
    for (size_t i = 0; i < text.size();) {
        char32_t c = nextCodePoint(text, i);
        if (c < 0x20) continue;
        const Glyph& glyph = glyphLocked(face, c);
        int left = x + glyph.left, top = baseline - glyph.top;
        RECT box{std::max<LONG>(left, limit.left), std::max<LONG>(top, limit.top),
                 std::min<LONG>(left + glyph.width, limit.right),
                 std::min<LONG>(top + glyph.height, limit.bottom)};
        x += glyph.advance;
        if (box.left >= box.right || box.top >= box.bottom) continue;
        forEachClip(dc, box, [&](const RECT& part) {
            for (LONG y = part.top; y < part.bottom; ++y) {
                const uint8_t* coverage =
                    glyph.coverage.data() + static_cast<size_t>(y - top) * glyph.width;
                uint32_t* row = surface.pixels + static_cast<size_t>(y) * surface.width;
                for (LONG px = part.left; px < part.right; ++px)
                    if (uint8_t a = coverage[px - left]; a != 0) blend(row[px], xrgb, a);
            }
        });
    }
}

FontFace* currentFace(const DcState& dc) {
    return dc.font ? dc.font->face : faceFor(systemLogFont());
}

const LOGFONTW& systemLogFont() {
    static const LOGFONTW font = [] {
        LOGFONTW f{};
        f.lfHeight = defaultCellHeight;
        f.lfWeight = FW_NORMAL;
        f.lfCharSet = DEFAULT_CHARSET;
        const char16_t name[] = u"Tahoma";
        std::copy(std::begin(name), std::end(name), f.lfFaceName);
        return f;
    }();
    return font;
}

}  // namespace orven::gdi

// ---- CreateFontIndirectW
// The face is found (and cached) here, so drawing never waits for a font file.
HFONT CreateFontIndirectW(const LOGFONTW* font) {
    if (font == nullptr) return nullptr;
    auto data = std::make_shared<FontData>();
    data->logFont = *font;
    data->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    data->face = faceFor(data->logFont);
    return addFont(std::move(data));
}

// ---- GetTextMetricsW
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
    auto state = dcOf(dc);
    if (!state || metrics == nullptr) return FALSE;
    FontFace* face = currentFace(*state);
    LineMetrics line = metricsOf(face);
    *metrics = TEXTMETRICW{};
    metrics->tmHeight = line.height;
    metrics->tmAscent = line.ascent;
    metrics->tmDescent = line.descent;
    metrics->tmInternalLeading = std::max(0, line.height - face->ppem);
    metrics->tmAveCharWidth = measureRun(face, u"x");
    metrics->tmMaxCharWidth = measureRun(face, u"W");
    metrics->tmWeight = state->font ? state->font->logFont.lfWeight : FW_NORMAL;
    return TRUE;
}
