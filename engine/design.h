// A design from another program: affine maps in that program's own frame,
// with their chances and colours. Placing a design fits its attractor into the
// canvas and turns it into an object that waits for its placement triangle,
// like an imported object file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "fractal_state.h"
#include "ifs_types.h"

namespace fernweave {

// (x, y) -> (a x + b y + c, d x + e y + f): the field order of TIfsMap.
struct Affine {
    double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;

    Affine Then(const Affine& next) const;  // this map, then `next`
    std::optional<Affine> Inverse() const;
    std::array<double, 2> Apply(double x, double y) const { return {a * x + b * y + c, d * x + e * y + f}; }
    static Affine Of(const TIfsMap& m) { return {m.A, m.B, m.C, m.D, m.E, m.F}; }
    void CopyTo(TIfsMap& map) const;  // the coefficients, rounded to floats
};

struct DesignMap {
    Affine Map;
    float Chance = 0;
    std::optional<TColor> Color;  // none: a colour of the even spread of hues
};

struct Design {
    std::string Name;
    std::vector<DesignMap> Maps;
    bool YUp = true;  // the frame's y points up (classic IFS text) or down (flames)
};

// Distinct colours for `count` maps: hues spread evenly, full saturation and value.
std::vector<TColor> SpreadHues(int count);

struct AttractorBox {
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

// The bounding box of a design's attractor from a chaos game of its own (the
// generator starting at 0), the first steps skipped. Nothing when the points
// run away.
std::optional<AttractorBox> DesignBox(const Design& design);

// The design as an object fitted into a canvas of the given size: its box
// centred with a small margin, proportions kept; the base triangle is the
// box's bottom-left, bottom-right and top-left corners; the maps carried into
// canvas pixels; Diffuse off. Records beyond the maps keep `previous`'s.
// Nothing, with the reason in `error`, when it cannot be placed.
std::optional<TIfsObject> PlaceDesign(const Design& design, int canvasWidth, int canvasHeight,
                                      const TIfsObject& previous, std::string& error);

// The frame an export writes in: the base triangle's bounding box carried onto
// a box of height `height` with its bottom-left corner at the origin, y up.
Affine ExportFrame(const TTriangle& base, double height);

// Map k of the object carried into a frame (frame = canvas pixels -> frame).
Affine MapInFrame(const TIfsMap& map, const Affine& frame);

// The object as the canvas shows it, in the canvas's own pixels: an object
// placed on a triangle carried by its placement, and a supersampled canvas's
// pixels scaled down by `supersample`.
TIfsObject ObjectAsShown(const FractalState& state, int supersample = 1);

}  // namespace fernweave
