// Bitmap 105, the main screen's skin, drawn by code the first time it is loaded.
//
// 175 by 201 pixels. The square at (0, 0), 175 by 175, is the emblem: on white, a blue
// star of life (three crossed bars, six arms) carrying the white staff and snake of
// Asclepius, above the program's name in dark red capitals. The strip at (0, 175),
// 175 by 26, is the bottom bar: red, darker towards the bottom, with a dark divider
// in the middle between the two soft areas. The painter draws the emblem with black as
// the transparent colour and the bar with white, so the emblem holds no black and the
// bar no white.
//
// Shapes are drawn from signed distances with a one-pixel ramp, which antialiases
// every edge without supersampling.
#include <algorithm>
#include <cmath>
#include <vector>

#include "resources/skin.h"

namespace {

constexpr int width = 175;
constexpr int height = 201;
constexpr int emblemSize = 175;
constexpr int barHeight = 26;

constexpr uint32_t starBlue = 0x0054A6;
constexpr uint32_t snakeWhite = 0xFFFFFF;
constexpr uint32_t nameRed = 0x960000;

struct Point {
    double x, y;
};

double segmentDistance(Point p, Point a, Point b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Signed distance to a box of half sizes (halfLength along `angle`, halfWidth across).
double boxDistance(Point p, Point centre, double angle, double halfLength, double halfWidth) {
    double c = std::cos(angle), s = std::sin(angle);
    double along = std::fabs((p.x - centre.x) * c + (p.y - centre.y) * s) - halfLength;
    double across = std::fabs(-(p.x - centre.x) * s + (p.y - centre.y) * c) - halfWidth;
    double outside = std::hypot(std::max(along, 0.0), std::max(across, 0.0));
    return outside + std::min(std::max(along, across), 0.0);
}

double polylineDistance(Point p, const std::vector<Point>& line) {
    double best = 1e9;
    for (size_t i = 1; i < line.size(); ++i)
        best = std::min(best, segmentDistance(p, line[i - 1], line[i]));
    return best;
}

void blendPixel(uint32_t& pixel, uint32_t colour, double coverage) {
    if (coverage <= 0) return;
    coverage = std::min(coverage, 1.0);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        double under = (pixel >> shift) & 0xFF, over = (colour >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(under + (over - under) * coverage)) << shift;
    }
    pixel = out;
}

// Paints `colour` where distance(x, y) < 0, inside the box [x0, x1) x [y0, y1).
template <typename Distance>
void paint(std::vector<uint32_t>& pixels, uint32_t colour, int x0, int y0, int x1, int y1,
           Distance distance) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x)
            blendPixel(pixels[y * width + x], colour, 0.5 - distance(Point{x + 0.5, y + 0.5}));
}

void drawStar(std::vector<uint32_t>& pixels, Point centre, double halfLength, double halfWidth) {
    paint(pixels, starBlue, static_cast<int>(centre.x - halfLength - 2),
          static_cast<int>(centre.y - halfLength - 2), static_cast<int>(centre.x + halfLength + 3),
          static_cast<int>(centre.y + halfLength + 3), [&](Point p) {
              double d = 1e9;
              for (int arm = 0; arm < 3; ++arm)
                  d = std::min(
                      d, boxDistance(p, centre, M_PI / 2 + arm * M_PI / 3, halfLength, halfWidth));
              return d;
          });
}

// The staff with its knob, and the snake winding up around it to its head.
void drawRod(std::vector<uint32_t>& pixels, Point centre, double halfLength) {
    Point top{centre.x, centre.y - halfLength * 0.76},
        bottom{centre.x, centre.y + halfLength * 0.76};
    std::vector<Point> snake;
    constexpr int steps = 28;
    for (int i = 0; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        double y = bottom.y - 6 - t * (bottom.y - top.y - 16);
        snake.push_back(Point{centre.x + 9.5 * std::sin(t * 2.5 * 2 * M_PI), y});
    }
    Point head{snake.back().x + 2, snake.back().y - 3};
    paint(pixels, snakeWhite, static_cast<int>(centre.x - 16), static_cast<int>(top.y - 8),
          static_cast<int>(centre.x + 17), static_cast<int>(bottom.y + 4), [&](Point p) {
              double staff = segmentDistance(p, top, bottom) - 3.0;
              double knob = std::hypot(p.x - top.x, p.y - top.y + 1) - 4.2;
              double body = polylineDistance(p, snake) - 2.4;
              double snakeHead = std::hypot((p.x - head.x) / 1.4, p.y - head.y) - 3.2;
              return std::min({staff, knob, body, snakeHead});
          });
}

// "ORVEN" in capitals made of strokes: centre lines in a box one unit high.
void drawName(std::vector<uint32_t>& pixels, double centreX, double top, double em) {
    std::vector<Point> ring;
    for (int i = 0; i <= 32; ++i)
        ring.push_back(
            Point{0.36 + 0.36 * std::cos(i * M_PI / 16), 0.5 + 0.5 * std::sin(i * M_PI / 16)});
    struct Letter {
        double width;
        std::vector<std::vector<Point>> strokes;
    };
    const std::vector<Letter> letters = {
        {0.72, {ring}},
        {0.62,
         {{{0, 1},
           {0, 0},
           {0.36, 0},
           {0.5, 0.05},
           {0.56, 0.14},
           {0.56, 0.34},
           {0.5, 0.44},
           {0.36, 0.5},
           {0, 0.5}},
          {{0.32, 0.5}, {0.62, 1}}}},
        {0.68, {{{0, 0}, {0.34, 1}, {0.68, 0}}}},
        {0.5, {{{0.5, 0}, {0, 0}, {0, 1}, {0.5, 1}}, {{0, 0.5}, {0.42, 0.5}}}},
        {0.6, {{{0, 1}, {0, 0}, {0.6, 1}, {0.6, 0}}}},
    };
    constexpr double gap = 0.34, halfStroke = 0.09;
    double total = -gap;
    for (const Letter& letter : letters) total += letter.width + gap;
    double x = centreX - total * em / 2;
    for (const Letter& letter : letters) {
        std::vector<std::vector<Point>> scaled;
        for (const auto& stroke : letter.strokes) {
            scaled.emplace_back();
            for (Point p : stroke) scaled.back().push_back(Point{x + p.x * em, top + p.y * em});
        }
        int margin = static_cast<int>(halfStroke * em) + 2;
        paint(pixels, nameRed, static_cast<int>(x) - margin, static_cast<int>(top) - margin,
              static_cast<int>(x + letter.width * em) + margin, static_cast<int>(top + em) + margin,
              [&](Point p) {
                  double d = 1e9;
                  for (const auto& stroke : scaled) d = std::min(d, polylineDistance(p, stroke));
                  return d - halfStroke * em;
              });
        x += (letter.width + gap) * em;
    }
}

// Red, lighter at the top, with a dark edge above and a dark divider in the middle.
void drawBar(std::vector<uint32_t>& pixels) {
    for (int row = 0; row < barHeight; ++row) {
        double t = static_cast<double>(row) / (barHeight - 1);
        uint32_t red = static_cast<uint32_t>(std::lround(234 - 64 * t));
        uint32_t green = static_cast<uint32_t>(std::lround(34 - 34 * t));
        uint32_t colour = row == 0 ? 0x780000 : (red << 16) | (green << 8) | green;
        for (int x = 0; x < width; ++x)
            pixels[(emblemSize + row) * width + x] =
                x == width / 2 && row > 3 && row < barHeight - 3 ? 0x8C0000 : colour;
    }
}

}  // namespace

namespace orven::resources {

const uint32_t* skinPixels() {
    static const std::vector<uint32_t> pixels = [] {
        std::vector<uint32_t> canvas(static_cast<size_t>(width) * height, 0xFFFFFF);
        Point centre{emblemSize / 2.0, 70};
        drawStar(canvas, centre, 60, 19);
        drawRod(canvas, centre, 60);
        drawName(canvas, emblemSize / 2.0, 142, 21);
        drawBar(canvas);
        return canvas;
    }();
    return pixels.data();
}

}  // namespace orven::resources
