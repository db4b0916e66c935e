// The chaos game written out step by step with the engine's primitive
// operations, the way it is defined. The fast loops must match it exactly.
#pragma once

#include <cmath>
#include <cstdint>

#include "fractal_state.h"
#include "renderer.h"
#include "solver.h"

namespace fernweave::reference {

// Rounds halves to even; false for NaN and for values no integer holds.
inline bool Round(float v, std::int64_t& out) {
    if (std::isnan(v) || std::fabs(v) >= 9.2e18f) return false;
    out = static_cast<std::int64_t>(std::nearbyint(v));
    return true;
}

// Plays `steps` steps from the first base vertex. Each rounded point goes to
// `plot(ix, iy, colour)`, which says whether it lay on the target; a point
// that did not and lies more than 100000 away, or is not a number, restarts
// the chain from the first base vertex.
template <class Plot>
void PlayGame(FractalState& s, bool placed, std::uint64_t steps, Plot&& plot) {
    const TFloatPoint start{static_cast<float>(s.BaseTriangle[0].x), static_cast<float>(s.BaseTriangle[0].y)};
    s.RecentMaps = {0, 0, 0, 0};
    s.CurrentPoint = start;
    for (std::uint64_t step = 0; step < steps; ++step) {
        const int k = ChooseMap(s);
        placed ? ApplyMapPlaced(s, k) : ApplyMap(s, k);
        s.RecentMaps = {s.RecentMaps[1], s.RecentMaps[2], s.RecentMaps[3], k};
        s.PlotColor = ChoosePlotColor(s);
        const TFloatPoint p = placed ? s.PlacedPoint : s.CurrentPoint;
        std::int64_t ix = 0, iy = 0;
        const bool finite = Round(p.x, ix) && Round(p.y, iy);
        if (finite && plot(ix, iy, s.PlotColor)) continue;
        if (!finite || ix < -100000 || ix > 100000 || iy < -100000 || iy > 100000) s.CurrentPoint = start;
    }
}

}  // namespace fernweave::reference
