// Exclusive-or strokes on the canvas picture: the rubber band, the triangle
// outlines and the grid. Drawing the same strokes again restores every byte.
// A stroke covers its start pixel and not its end pixel; a polyline is one
// stroke, so none of its pixels is flipped twice; separate strokes both act
// where they cross.
#pragma once

#include <initializer_list>
#include <span>

#include "fractal_state.h"
#include "picture.h"

namespace fernweave {

constexpr int GridSpacing = 24;
constexpr TColor GridMajorColor = MakeColor(112, 112, 112);  // the origin line and every fourth
constexpr TColor GridMinorColor = MakeColor(88, 88, 88);

// One stroke along the polyline (a single segment when it has two points).
// Width 1 or 2; pixels off the picture are clipped.
void XorStroke(Picture24& picture, std::span<const TPoint> polyline, int width, TColor color);
inline void XorStroke(Picture24& picture, std::initializer_list<TPoint> polyline, int width, TColor color) {
    XorStroke(picture, std::span<const TPoint>(polyline.begin(), polyline.size()), width, color);
}

// The band from the last clicked point to `rubberBandEnd`, in the pen colour
// the last click set (white for the base triangle, else the foreground colour).
void DrawRubberBand(Picture24& picture, const FractalState& s, TPoint rubberBandEnd, TColor penColor);

// The outline strokes of Points 1..PointCount, as the rubber band left them
// (in the pen colours the clicks set).
void DrawObjectOutline(Picture24& picture, const FractalState& s);

// The grid through (ox, oy): vertical and horizontal lines 24 pixels apart.
void DrawGridStrokes(Picture24& picture, int ox, int oy);

}  // namespace fernweave
