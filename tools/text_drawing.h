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

#include "drawing.h"

namespace fernweave::cli {

// Drawings are small: 121 lines. Anything much larger is not a drawing.
constexpr std::size_t TextDrawingMaxSize = 1 << 20;

struct DrawingError {
    int Line = 0;  // 1-based; 0 when the fault is the drawing as a whole
    std::string Message;
};

// False, with the first fault in `error`, when the text is not a valid drawing.
bool ParseTextDrawing(std::string_view text, TDrawing& drawing, DrawingError& error);

// The text of a drawing, which ParseTextDrawing reads back unchanged.
std::string FormatTextDrawing(const TDrawing& drawing);

}  // namespace fernweave::cli
