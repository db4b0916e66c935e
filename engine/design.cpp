#include "design.h"

#include <algorithm>
#include <cmath>

#include "solver.h"

namespace fernweave {

namespace {

constexpr int BoxSteps = 200000;
constexpr int BoxSkippedSteps = 100;
// Beyond this the points are taken to run away.
constexpr double RunawayBound = 1e12;
// The part of each canvas side left free around the design.
constexpr double Margin = 0.05;

}  // namespace

Affine Affine::Then(const Affine& n) const {
    return {n.a * a + n.b * d, n.a * b + n.b * e, n.a * c + n.b * f + n.c,
            n.d * a + n.e * d, n.d * b + n.e * e, n.d * c + n.e * f + n.f};
}

std::optional<Affine> Affine::Inverse() const {
    const double det = a * e - b * d;
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    const double ia = e / det, ib = -b / det, id = -d / det, ie = a / det;
    return Affine{ia, ib, -(ia * c + ib * f), id, ie, -(id * c + ie * f)};
}

void Affine::CopyTo(TIfsMap& map) const {
    map.A = static_cast<float>(a);
    map.B = static_cast<float>(b);
    map.C = static_cast<float>(c);
    map.D = static_cast<float>(d);
    map.E = static_cast<float>(e);
    map.F = static_cast<float>(f);
}

std::vector<TColor> SpreadHues(int count) {
    std::vector<TColor> colors;
    for (int k = 0; k < count; ++k) {
        const double h = 6.0 * k / count;  // sextant of the colour wheel
        const int sextant = static_cast<int>(h);
        const int rise = static_cast<int>(std::lround(255 * (h - sextant)));
        const int fall = 255 - rise;
        switch (sextant) {
            case 0: colors.push_back(MakeColor(255, rise, 0)); break;
            case 1: colors.push_back(MakeColor(fall, 255, 0)); break;
            case 2: colors.push_back(MakeColor(0, 255, rise)); break;
            case 3: colors.push_back(MakeColor(0, fall, 255)); break;
            case 4: colors.push_back(MakeColor(rise, 0, 255)); break;
            default: colors.push_back(MakeColor(255, 0, fall)); break;
        }
    }
    return colors;
}

std::optional<AttractorBox> DesignBox(const Design& design) {
    const int n = static_cast<int>(design.Maps.size());
    if (n < 1 || n > MaxMaps) return std::nullopt;
    TMapArray chances{};
    for (int k = 1; k <= n; ++k) chances[k].Probability = design.Maps[k - 1].Chance;
    std::uint32_t state = 0;
    double x = 0, y = 0;
    AttractorBox box;
    for (int step = 0; step < BoxSteps; ++step) {
        state = NextRandomState(state);
        const auto p = design.Maps[ChooseMapForState(chances, n, state) - 1].Map.Apply(x, y);
        x = p[0];
        y = p[1];
        if (!(std::fabs(x) < RunawayBound && std::fabs(y) < RunawayBound)) return std::nullopt;
        if (step < BoxSkippedSteps) continue;
        if (step == BoxSkippedSteps) box = {x, y, x, y};
        box.MinX = std::min(box.MinX, x);
        box.MaxX = std::max(box.MaxX, x);
        box.MinY = std::min(box.MinY, y);
        box.MaxY = std::max(box.MaxY, y);
    }
    return box;
}

std::optional<TIfsObject> PlaceDesign(const Design& design, int canvasWidth, int canvasHeight,
                                      const TIfsObject& previous, std::string& error) {
    const int n = static_cast<int>(design.Maps.size());
    if (n == 0) {
        error = design.Name + " has no map.";
        return std::nullopt;
    }
    if (n > MaxMaps) {
        error = design.Name + " has " + std::to_string(n) + " maps; Fernweave draws at most 120.";
        return std::nullopt;
    }
    auto box = DesignBox(design);
    if (!box) {
        error = design.Name + " has no bounded attractor: its points run away.";
        return std::nullopt;
    }
    // A line or a point still needs a box with an area.
    double w = box->MaxX - box->MinX, h = box->MaxY - box->MinY;
    const double least = std::max({w, h, 1e-300}) * 1e-3;
    if (w < least) {
        box->MinX -= (least - w) / 2;
        w = least;
    }
    if (h < least) {
        box->MinY -= (least - h) / 2;
        h = least;
    }

    const int width = std::max(canvasWidth, 8), height = std::max(canvasHeight, 8);
    const double scale = std::min(width * (1 - 2 * Margin) / w, height * (1 - 2 * Margin) / h);
    const double left = (width - w * scale) / 2, top = (height - h * scale) / 2;
    // Corners on whole pixels, never in column 0, never closer than a pixel.
    const auto l = static_cast<std::int32_t>(std::max(1L, std::lround(left)));
    const auto r = static_cast<std::int32_t>(std::max<long>(l + 1, std::lround(left + w * scale)));
    const auto t = static_cast<std::int32_t>(std::lround(top));
    const auto b = static_cast<std::int32_t>(std::max<long>(t + 1, std::lround(top + h * scale)));

    // The design's frame onto canvas pixels: one scale for both axes, so that
    // the shape stays exactly as it was; the corners above are this box's, rounded.
    Affine toCanvas;
    toCanvas.a = scale;
    toCanvas.c = left - box->MinX * scale;
    if (design.YUp) {
        toCanvas.e = -scale;
        toCanvas.f = top + h * scale + box->MinY * scale;
    } else {
        toCanvas.e = scale;
        toCanvas.f = top - box->MinY * scale;
    }
    // A point-like attractor has a scale whose square, the frame's determinant,
    // does not fit in a double; the frame is diagonal, so it is inverted directly.
    const Affine fromCanvas = toCanvas.Inverse().value_or(
        Affine{1 / toCanvas.a, 0, -toCanvas.c / toCanvas.a, 0, 1 / toCanvas.e, -toCanvas.f / toCanvas.e});

    TIfsObject object = previous;
    object.MapCount = n;
    object.BaseTriangle = {TPoint{l, b}, TPoint{r, b}, TPoint{l, t}};
    const auto hues = SpreadHues(n);
    for (int k = 1; k <= n; ++k) {
        const DesignMap& source = design.Maps[k - 1];
        const Affine m = fromCanvas.Then(source.Map).Then(toCanvas);
        TIfsMap& map = object.Maps[k];
        map = TIfsMap{};
        m.CopyTo(map);
        // Even a map that is never chosen must be a map the canvas can hold.
        for (float v : {map.A, map.B, map.C, map.D, map.E, map.F})
            if (!std::isfinite(v)) {
                error = design.Name + " has a map too large to draw (map " + std::to_string(k) + ").";
                return std::nullopt;
            }
        map.Probability = source.Chance;
        map.Color = source.Color.value_or(hues[static_cast<std::size_t>(k - 1)]);
    }
    return object;
}

Affine ExportFrame(const TTriangle& base, double height) {
    std::int64_t minX = base[0].x, maxX = base[0].x, minY = base[0].y, maxY = base[0].y;
    for (const TPoint& p : base) {
        minX = std::min<std::int64_t>(minX, p.x);
        maxX = std::max<std::int64_t>(maxX, p.x);
        minY = std::min<std::int64_t>(minY, p.y);
        maxY = std::max<std::int64_t>(maxY, p.y);
    }
    // A base triangle without height (it cannot be drawn) is measured by its width.
    const auto extent = static_cast<double>(maxY > minY ? maxY - minY : (maxX > minX ? maxX - minX : 1));
    const double k = height / extent;
    return {k, 0, -k * static_cast<double>(minX), 0, -k, k * static_cast<double>(maxY)};
}

Affine MapInFrame(const TIfsMap& map, const Affine& frame) {
    return frame.Inverse()->Then(Affine::Of(map)).Then(frame);
}

TIfsObject ObjectAsShown(const FractalState& state, int supersample) {
    TIfsObject object = state.CurrentObject();
    Affine toCanvas;
    if (state.RenderPlacedObject) {
        const auto& p = state.PlacementMap;
        toCanvas = Affine{p[0], p[1], p[2], p[3], p[4], p[5]};
    }
    const double down = 1.0 / supersample;
    toCanvas = toCanvas.Then(Affine{down, 0, 0, 0, down, 0});
    const auto back = toCanvas.Inverse();
    if (!back) return object;
    for (int k = 1; k <= std::clamp(object.MapCount, 0, MaxMaps); ++k) {
        const Affine m = back->Then(Affine::Of(object.Maps[k])).Then(toCanvas);
        m.CopyTo(object.Maps[k]);
    }
    for (TPoint& v : object.BaseTriangle) {
        const auto q = toCanvas.Apply(v.x, v.y);
        v = {static_cast<std::int32_t>(std::lround(q[0])), static_cast<std::int32_t>(std::lround(q[1]))};
    }
    return object;
}

}  // namespace fernweave
