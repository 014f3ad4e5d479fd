// The software framebuffer behind every window, and its PNG screenshots (libpng).
#include "platform/screen.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/palette.h"
#include "platform/window_manager.h"

namespace {

std::vector<uint32_t>& framebuffer() {
    static std::vector<uint32_t> buffer = [] {
        const orven::DeviceProfile& profile = orven::deviceProfile();
        return std::vector<uint32_t>(
            static_cast<size_t>(profile.screenWidth) * profile.screenHeight,
            orven::palette::emptyScreen);
    }();
    return buffer;
}

}  // namespace

namespace orven::screen {

int width() {
    return deviceProfile().screenWidth;
}
int height() {
    return deviceProfile().screenHeight;
}
uint32_t* pixels() {
    return framebuffer().data();
}

void fillRect(int left, int top, int right, int bottom, uint32_t xrgb) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width());
    bottom = std::min(bottom, height());
    uint32_t* rows = pixels();
    for (int y = top; y < bottom; ++y)
        std::fill(rows + static_cast<size_t>(y) * width() + left,
                  rows + static_cast<size_t>(y) * width() + right, xrgb);
}

void present() {
    display::backend().present(pixels(), width(), height());
    if (const char* path = std::getenv("ORVEN_SCREENSHOT"); path != nullptr && *path != 0)
        writePng(path);
}

bool writePng(const std::string& path) {
    // Per process, so two programs writing the same screenshot do not share a file.
    std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
    // Allocated before libpng may jump back to the setjmp below, which would skip its
    // destructor.
    std::vector<png_byte> row(static_cast<size_t>(width()) * 3);
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::remove(temporary.c_str());
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width()), static_cast<png_uint_32>(height()),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height(); ++y) {
        const uint32_t* source = pixels() + static_cast<size_t>(y) * width();
        for (int x = 0; x < width(); ++x) {
            row[x * 3] = static_cast<png_byte>(source[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(source[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(source[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bool ok = std::fclose(file) == 0;
    // Renamed into place, so a viewer never reads half a picture.
    return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace orven::screen
