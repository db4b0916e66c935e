#include "strokes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace fernweave {

namespace {

__extension__ typedef __int128 Wide;

// floor(num / den) + rounding to nearest, for den > 0: the minor coordinate of
// step i of a line, the same whichever part of the line is being visited.
std::int64_t RoundedQuotient(Wide num, std::int64_t den) {
    Wide twice = 2 * num + den;
    Wide q = twice / (2 * static_cast<Wide>(den));
    if ((twice % (2 * static_cast<Wide>(den))) < 0) --q;
    return static_cast<std::int64_t>(q);
}

void FlipPixel(Picture24& picture, std::size_t index, TColor color) {
    const int W = picture.Width();
    const int x = static_cast<int>(index % static_cast<std::size_t>(W));
    const int y = static_cast<int>(index / static_cast<std::size_t>(W));
    std::uint8_t* p = picture.Row(y) + 3 * static_cast<std::size_t>(x);
    p[0] ^= static_cast<std::uint8_t>(BlueOf(color));
    p[1] ^= static_cast<std::uint8_t>(GreenOf(color));
    p[2] ^= static_cast<std::uint8_t>(RedOf(color));
}

// Appends the pixels of the segment a -> b (a included, b excluded) that lie
// on the picture. Only the steps whose major coordinate is on the picture are
// visited, so a far-away end costs nothing.
void CollectSegment(const Picture24& picture, TPoint a, TPoint b, int width, std::vector<std::size_t>& out) {
    const std::int64_t W = picture.Width(), H = picture.Height();
    const std::int64_t dx = static_cast<std::int64_t>(b.x) - a.x;
    const std::int64_t dy = static_cast<std::int64_t>(b.y) - a.y;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const std::int64_t steps = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    const std::int64_t majorStart = xMajor ? a.x : a.y;
    const std::int64_t minorStart = xMajor ? a.y : a.x;
    const std::int64_t majorDir = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const std::int64_t minorDelta = xMajor ? dy : dx;
    const std::int64_t majorLimit = xMajor ? W : H;

    // Steps i in [0, steps) with majorStart + majorDir * i in [0, majorLimit).
    std::int64_t lo, hi;
    if (majorDir > 0) {
        lo = std::max<std::int64_t>(0, -majorStart);
        hi = std::min<std::int64_t>(steps, majorLimit - majorStart);
    } else {
        lo = std::max<std::int64_t>(0, majorStart - (majorLimit - 1));
        hi = std::min<std::int64_t>(steps, majorStart + 1);
    }
    auto add = [&](std::int64_t px, std::int64_t py) {
        if (px >= 0 && px < W && py >= 0 && py < H)
            out.push_back(static_cast<std::size_t>(py) * static_cast<std::size_t>(W) + static_cast<std::size_t>(px));
    };
    for (std::int64_t i = lo; i < hi; ++i) {
        const std::int64_t major = majorStart + majorDir * i;
        const std::int64_t minor = minorStart + RoundedQuotient(static_cast<Wide>(i) * minorDelta, steps);
        const std::int64_t px = xMajor ? major : minor;
        const std::int64_t py = xMajor ? minor : major;
        add(px, py);
        // A 2-pixel pen thickens the line across its direction.
        if (width >= 2) xMajor ? add(px, py + 1) : add(px + 1, py);
    }
}

}  // namespace

void XorStroke(Picture24& picture, std::span<const TPoint> polyline, int width, TColor color) {
    if (polyline.size() < 2 || picture.Empty()) return;
    std::vector<std::size_t> pixels;
    for (std::size_t i = 1; i < polyline.size(); ++i) CollectSegment(picture, polyline[i - 1], polyline[i], width, pixels);
    std::sort(pixels.begin(), pixels.end());
    pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
    for (std::size_t index : pixels) FlipPixel(picture, index, color);
}

void DrawRubberBand(Picture24& picture, const FractalState& s, TPoint rubberBandEnd, TColor penColor) {
    const int n = s.PointCount;
    if (n < 1) return;
    const int width = n < 4 ? 2 : 1;
    if (n % 3 == 1) {
        XorStroke(picture, {rubberBandEnd, s.Points[n]}, width, penColor);
    } else if (n % 3 == 2) {
        XorStroke(picture, {s.Points[n], rubberBandEnd, s.Points[n - 1]}, width, penColor);
    }
}

void DrawObjectOutline(Picture24& picture, const FractalState& s) {
    // Each stroke is the band that was drawn after the click before its end
    // point, in that click's pen.
    for (int i = 2; i <= s.PointCount; ++i) {
        const int width = i < 4 ? 2 : 1;
        const TColor color = s.PenColors[i - 1];
        if ((i + 1) % 3 == 0) {
            XorStroke(picture, {s.Points[i], s.Points[i - 1]}, width, color);
        } else if (i % 3 == 0) {
            XorStroke(picture, {s.Points[i - 1], s.Points[i], s.Points[i - 2]}, width, color);
        }
    }
}

void DrawGridStrokes(Picture24& picture, int ox, int oy) {
    const int W = picture.Width(), H = picture.Height();
    auto colorFor = [](int k) { return k % 4 == 0 ? GridMajorColor : GridMinorColor; };
    auto vertical = [&](int x, int k) { XorStroke(picture, {TPoint{x, 0}, TPoint{x, H}}, 1, colorFor(k)); };
    auto horizontal = [&](int y, int k) { XorStroke(picture, {TPoint{0, y}, TPoint{W, y}}, 1, colorFor(k)); };
    // Counters in 64 bits: an origin far off the picture must not overflow.
    int k = 0;
    for (long long x = ox; x < W; x += GridSpacing, ++k)
        if (x >= 0) vertical(static_cast<int>(x), k);
    k = 1;
    for (long long x = static_cast<long long>(ox) - GridSpacing; x > 0; x -= GridSpacing, ++k)
        if (x < W) vertical(static_cast<int>(x), k);
    k = 0;
    for (long long y = oy; y < H; y += GridSpacing, ++k)
        if (y >= 0) horizontal(static_cast<int>(y), k);
    k = 1;
    for (long long y = static_cast<long long>(oy) - GridSpacing; y > 0; y -= GridSpacing, ++k)
        if (y < H) horizontal(static_cast<int>(y), k);
}

}  // namespace fernweave
