// Bitmaps and images: CreateCompatibleBitmap, LoadImageW, BitBlt, TransparentImage,
// DrawIconEx and DrawIcon, plus the few antialiased shapes the platform's own windows
// draw (message box icons, menu arrows). Bitmaps come from the program's resource
// directory (resource.h); icons are LoadIconW's handles, which name their resource.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi_internal.h"
#include "platform/resource.h"

namespace {

using namespace orven;
using namespace orven::gdi;

// A source of pixels: a bitmap, or what a context shows.
struct Source {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    POINT origin{};  // where the source's logical (0, 0) lies in `pixels`
    std::shared_ptr<BitmapData> keepAlive;
};

bool sourceOf(HANDLE handle, Source& source) {
    if (auto dc = dcOf(static_cast<HDC>(handle))) {
        Surface surface = surfaceOf(*dc);
        source = Source{surface.pixels, surface.width, surface.height, dc->origin, dc->bitmap};
        return true;
    }
    if (auto bitmap = bitmapOf(static_cast<HGDIOBJ>(handle))) {
        source = Source{bitmap->pixels.data(), bitmap->width, bitmap->height, {}, bitmap};
        return true;
    }
    return false;
}

// Copies (sx, sy, sw, sh) of the source to (dx, dy, dw, dh) of the context, nearest
// pixel when the sizes differ; with `keyed`, pixels of colour `key` are left out.
bool blit(const DcState& dest, int dx, int dy, int dw, int dh, const Source& source, int sx, int sy,
          int sw, int sh, bool keyed, uint32_t key) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return false;
    Surface surface = surfaceOf(dest);
    sx += source.origin.x;
    sy += source.origin.y;
    // Reading and writing the same pixels: work from a copy of the source rows.
    std::vector<uint32_t> copy;
    const uint32_t* pixels = source.pixels;
    if (pixels == surface.pixels) {
        copy.assign(pixels, pixels + static_cast<size_t>(source.width) * source.height);
        pixels = copy.data();
    }
    std::vector<int> columnOf(static_cast<size_t>(dw));
    for (int i = 0; i < dw; ++i)
        columnOf[i] = sx + static_cast<int>(static_cast<int64_t>(i) * sw / dw);
    RECT area{dx + dest.origin.x, dy + dest.origin.y, dx + dest.origin.x + dw,
              dy + dest.origin.y + dh};
    forEachClip(dest, area, [&](const RECT& part) {
        for (LONG y = part.top; y < part.bottom; ++y) {
            int row = sy + static_cast<int>(static_cast<int64_t>(y - area.top) * sh / dh);
            if (row < 0 || row >= source.height) continue;
            const uint32_t* in = pixels + static_cast<size_t>(row) * source.width;
            uint32_t* out = surface.pixels + static_cast<size_t>(y) * surface.width;
            for (LONG x = part.left; x < part.right; ++x) {
                int column = columnOf[x - area.left];
                if (column < 0 || column >= source.width) continue;
                uint32_t pixel = in[column] & 0xFFFFFF;
                if (!keyed || pixel != key) out[x] = pixel;
            }
        }
    });
    return true;
}

// Coverage of a pixel by a shape, from 4 x 4 samples.
template <typename Inside>
void fillShape(const DcState& dc, const RECT& box, uint32_t xrgb, Inside inside) {
    Surface surface = surfaceOf(dc);
    RECT area{box.left + dc.origin.x, box.top + dc.origin.y, box.right + dc.origin.x,
              box.bottom + dc.origin.y};
    forEachClip(dc, area, [&](const RECT& part) {
        for (LONG y = part.top; y < part.bottom; ++y)
            for (LONG x = part.left; x < part.right; ++x) {
                int hits = 0;
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i)
                        hits += inside(x - dc.origin.x + (i + 0.5) / 4.0,
                                       y - dc.origin.y + (j + 0.5) / 4.0);
                if (hits != 0)
                    blend(surface.pixels[static_cast<size_t>(y) * surface.width + x], xrgb,
                          static_cast<unsigned>(hits * 255 / 16));
            }
    });
}

}  // namespace

namespace orven::gdi {

void fillEllipse(const DcState& dc, const RECT& box, uint32_t xrgb) {
    double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    double rx = (box.right - box.left) / 2.0, ry = (box.bottom - box.top) / 2.0;
    if (rx <= 0 || ry <= 0) return;
    fillShape(dc, box, xrgb, [&](double x, double y) {
        double u = (x - cx) / rx, v = (y - cy) / ry;
        return u * u + v * v <= 1.0;
    });
}

void fillTriangle(const DcState& dc, POINT a, POINT b, POINT c, uint32_t xrgb) {
    RECT box{std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::max({a.x, b.x, c.x}),
             std::max({a.y, b.y, c.y})};
    auto edge = [](POINT p, POINT q, double x, double y) {
        return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x);
    };
    fillShape(dc, box, xrgb, [&](double x, double y) {
        double e0 = edge(a, b, x, y), e1 = edge(b, c, x, y), e2 = edge(c, a, x, y);
        return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
    });
}

void frameRect(const DcState& dc, const RECT& r, int t, uint32_t xrgb) {
    fillLogical(dc, RECT{r.left, r.top, r.right, r.top + t}, xrgb);
    fillLogical(dc, RECT{r.left, r.bottom - t, r.right, r.bottom}, xrgb);
    fillLogical(dc, RECT{r.left, r.top + t, r.left + t, r.bottom - t}, xrgb);
    fillLogical(dc, RECT{r.right - t, r.top + t, r.right, r.bottom - t}, xrgb);
}

}  // namespace orven::gdi

// ---- CreateCompatibleBitmap
HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > (1 << 26))
        return nullptr;
    auto bitmap = std::make_shared<BitmapData>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->pixels.assign(static_cast<size_t>(width) * height, 0x000000);
    return addBitmap(std::move(bitmap));
}

// ---- LoadImageW
// Bitmaps become a bitmap object of their own (DeleteObject frees it); icons are the
// handle LoadIconW gives, drawn at the size DrawIconEx is asked for.
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    if (type == IMAGE_ICON) return LoadIconW(instance, name);
    if (type != IMAGE_BITMAP) return nullptr;
    const resources::Bitmap* resource = resources::findBitmap(LOWORD(name));
    if (resource == nullptr) return nullptr;
    auto bitmap = std::make_shared<BitmapData>();
    bitmap->width = resource->width;
    bitmap->height = resource->height;
    const uint32_t* pixels = resource->xrgb();
    bitmap->pixels.assign(pixels, pixels + static_cast<size_t>(resource->width) * resource->height);
    return addBitmap(std::move(bitmap));
}

// ---- BitBlt
// SRCCOPY only.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    auto state = dcOf(dest);
    Source from;
    if (!state || rop != SRCCOPY || !sourceOf(source, from)) return FALSE;
    return blit(*state, x, y, width, height, from, sourceX, sourceY, width, height, false, 0)
               ? TRUE
               : FALSE;
}

// ---- TransparentImage
BOOL TransparentImage(HDC dest, LONG destX, LONG destY, LONG destWidth, LONG destHeight,
                      HANDLE source, LONG sourceX, LONG sourceY, LONG sourceWidth,
                      LONG sourceHeight, COLORREF transparent) {
    auto state = dcOf(dest);
    Source from;
    if (!state || !sourceOf(source, from)) return FALSE;
    return blit(*state, destX, destY, destWidth, destHeight, from, sourceX, sourceY, sourceWidth,
                sourceHeight, true, toXrgb(transparent))
               ? TRUE
               : FALSE;
}

// ---- DrawIconEx
// The icon's alpha is blended over the context; a zero size draws the icon's own size.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT, HBRUSH, UINT) {
    auto state = dcOf(dc);
    const resources::Icon* resource = resources::iconOfHandle(icon);
    if (!state || resource == nullptr) return FALSE;
    if (width <= 0) width = resource->width;
    if (height <= 0) height = resource->height;
    Surface surface = surfaceOf(*state);
    RECT area{x + state->origin.x, y + state->origin.y, x + state->origin.x + width,
              y + state->origin.y + height};
    forEachClip(*state, area, [&](const RECT& part) {
        for (LONG py = part.top; py < part.bottom; ++py) {
            int row = static_cast<int>((py - area.top) * resource->height / height);
            for (LONG px = part.left; px < part.right; ++px) {
                int column = static_cast<int>((px - area.left) * resource->width / width);
                uint32_t argb = resource->argb[row * resource->width + column];
                blend(surface.pixels[static_cast<size_t>(py) * surface.width + px], argb & 0xFFFFFF,
                      argb >> 24);
            }
        }
    });
    return TRUE;
}

// ---- DrawIcon
BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}
