// A drawing: the object as the triangles a user clicks, the base triangle and
// one triangle per map with the map's colour and Diffuse state, as the object
// editor edits it and the headless renderer reads it from text.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fractal_state.h"
#include "ifs_types.h"

namespace fernweave {

// Coordinates stay within 2^24, where every whole number is a float exactly:
// the solver converts them to floats.
constexpr std::int32_t DrawingCoordinateLimit = 1 << 24;

struct TDrawnMap {
    TTriangle Triangle{};
    TColor Color = clWhite;
    bool Diffuse = true;
    double Share = 0;  // percent of the chaos game's choices, with custom chances
    friend bool operator==(const TDrawnMap&, const TDrawnMap&) = default;
};

struct TDrawing {
    TTriangle Base{};
    std::vector<TDrawnMap> Maps;
    // Each map's chance is its Share; else (by area, as drawn) its area's share.
    bool CustomChances = false;
    friend bool operator==(const TDrawing&, const TDrawing&) = default;
};

// Puts the drawing into the state as its clicks would, each coordinate times
// `scale` (a supersampled canvas), without saving the object before it. Custom
// chances become the maps' probabilities, kept by the next rendering.
// `afterClick`, when given, runs after each point.
void LoadDrawing(FractalState& s, const TDrawing& drawing, int scale = 1,
                 const std::function<void()>& afterClick = {});

// The object in the state, as just imported, placed on `placement` (times
// `scale`) as the three clicks of its placement triangle would place it.
void PlaceImported(FractalState& s, const TTriangle& placement, int scale = 1);

}  // namespace fernweave
