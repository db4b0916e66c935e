#include "drawing.h"

#include <algorithm>

namespace fernweave {

namespace {

// Probabilities from shares as the engine makes them from areas: each share
// over the sum, the last map taking what remains.
void SetProbabilities(FractalState& s, const std::vector<TDrawnMap>& maps) {
    const int n = s.MapCount;
    double sum = 0;
    for (int k = 1; k <= n; ++k) sum += std::max(maps[static_cast<std::size_t>(k - 1)].Share, 0.0);
    if (sum <= 0) sum = 1;
    float last = 1.0f;
    for (int k = 1; k < n; ++k) {
        s.Maps[k].Probability = static_cast<float>(std::max(maps[static_cast<std::size_t>(k - 1)].Share, 0.0) / sum);
        last = static_cast<float>(double(last) - s.Maps[k].Probability);
    }
    if (n >= 1) s.Maps[n].Probability = last;
}

}  // namespace

void LoadDrawing(FractalState& s, const TDrawing& drawing, int scale, const std::function<void()>& afterClick) {
    s.PointCount = 0;
    s.UsedColorCount = 0;
    s.MapCount = 0;
    const auto click = [&](const TPoint& p, TColor color, bool diffuse) {
        s.AddPoint(p.x * scale, p.y * scale, color, diffuse);
        if (afterClick) afterClick();
    };
    for (const TPoint& p : drawing.Base) click(p, clWhite, true);
    for (const TDrawnMap& map : drawing.Maps)
        for (const TPoint& p : map.Triangle) click(p, map.Color, map.Diffuse);
    s.DrawnChances = drawing.CustomChances && s.MapCount > 0;
    if (s.DrawnChances) SetProbabilities(s, drawing.Maps);
}

void PlaceImported(FractalState& s, const TTriangle& placement, int scale) {
    // A waiting import keeps its maps while the placement triangle is drawn.
    s.ObjectImported = true;
    s.PointCount = 0;
    for (const TPoint& p : placement) s.AddPoint(p.x * scale, p.y * scale, clWhite, true);
}

}  // namespace fernweave
