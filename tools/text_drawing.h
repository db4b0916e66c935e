// The text drawing: a drawing written down instead of clicked, for the headless
// renderer. One line per triangle:
//
//   base x1 y1 x2 y2 x3 y3
//   map  x1 y1 x2 y2 x3 y3 #RRGGBB diffuse|plain
//
// Coordinates are canvas pixels (y grows downward), vertices in click order.
// The base line comes first and once; then 1 to 120 map lines. Blank lines and
// lines starting with '#' are ignored, and a '#' word after the last field
// starts a comment. Fields are separated by blanks or tabs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ifs_types.h"

namespace fernweave::cli {

// Coordinates stay within 2^24 so that the solver's float conversion is exact.
constexpr std::int32_t DrawingCoordinateLimit = 16777216;

// Drawings are small: 121 lines. Anything much larger is not a drawing.
constexpr std::size_t TextDrawingMaxSize = 1 << 20;

struct DrawnMap {
    TTriangle Triangle{};
    TColor Color = clWhite;
    bool Diffuse = true;
    friend bool operator==(const DrawnMap&, const DrawnMap&) = default;
};

struct TextDrawing {
    TTriangle Base{};
    std::vector<DrawnMap> Maps;
    friend bool operator==(const TextDrawing&, const TextDrawing&) = default;
};

struct DrawingError {
    int Line = 0;  // 1-based; 0 when the fault is the drawing as a whole
    std::string Message;
};

// False, with the first fault in `error`, when the text is not a valid drawing.
bool ParseTextDrawing(std::string_view text, TextDrawing& drawing, DrawingError& error);

// The text of a drawing, which ParseTextDrawing reads back unchanged.
std::string FormatTextDrawing(const TextDrawing& drawing);

}  // namespace fernweave::cli
