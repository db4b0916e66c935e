#include "renderer.h"

#include <algorithm>
#include <climits>

#include "solver.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define FERNWEAVE_HAVE_SSE 1
#else
#include <cmath>
#endif

namespace fernweave {

TColor ChoosePlotColor(const FractalState& s) {
    int count = 0;
    for (int k : s.RecentMaps)
        if (k >= 1 && s.Maps[k].Diffuse != 0) ++count;
    if (count > 0) {
        for (int i = 3; i >= 0; --i) {
            const int k = s.RecentMaps[i];
            if (k >= 1 && s.Maps[k].Diffuse != 0) return s.Maps[k].Color;
        }
    }
    return s.Maps[s.RecentMaps[3]].Color;
}

void PrepareRendering(FractalState& s) {
    if (!s.ObjectImported) {
        SolveAllMaps(s);
        ComputeProbabilities(s);
        s.RenderPlacedObject = false;
    } else {
        // The imported maps keep their stored coefficients and probabilities.
        s.ObjectImported = false;
        s.TargetTriangle = {s.Points[1], s.Points[2], s.Points[3]};
        SolvePlacementMap(s);
        s.RenderPlacedObject = true;
    }
    s.CurrentPoint = {static_cast<float>(s.BaseTriangle[0].x), static_cast<float>(s.BaseTriangle[0].y)};
}

namespace {

// Rounds to the nearest integer, halves to even. NaN and values outside the
// int32 range give INT32_MIN, which lies far beyond the reset bound.
inline std::int32_t RoundCoordinate(float v) {
#ifdef FERNWEAVE_HAVE_SSE
    return _mm_cvtss_si32(_mm_set_ss(v));
#else
    if (!(v >= -2147483648.0f && v < 2147483648.0f)) return INT32_MIN;
    return static_cast<std::int32_t>(std::lrintf(v));
#endif
}

inline bool FarAway(std::int32_t ix, std::int32_t iy) {
    return ix < -FarAwayBound || ix > FarAwayBound || iy < -FarAwayBound || iy > FarAwayBound;
}

struct MapCoefficients {
    double A, B, C, D, E, F;
};

constexpr int BatchSize = 256;

// The chaos game is one long dependency chain through the point. Everything
// that does not depend on the point (the generator, the map choice, the
// Diffuse colour) is worked out a batch ahead, so that the chain runs alone.
template <bool Placed>
RenderStats RunLoop(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    RenderStats stats;
    const int n = s.MapCount;
    s.RecentMaps = {0, 0, 0, 0};
    const float startX = static_cast<float>(s.BaseTriangle[0].x);
    const float startY = static_cast<float>(s.BaseTriangle[0].y);
    s.CurrentPoint = {startX, startY};
    if (n < 1) return stats;  // an object without maps has nothing to render

    MapChooser chooser;
    chooser.Build(s.Maps, n);
    MapCoefficients coeffs[MaxMaps + 1];
    TColor colors[MaxMaps + 1] = {};
    bool diffuse[MaxMaps + 1];
    for (int k = 1; k <= n; ++k) {
        const TIfsMap& m = s.Maps[k];
        coeffs[k] = {m.A, m.B, m.C, m.D, m.E, m.F};
        colors[k] = m.Color;
        diffuse[k] = m.Diffuse != 0;
    }
    const auto& pm = s.PlacementMap;
    const MapCoefficients place{pm[0], pm[1], pm[2], pm[3], pm[4], pm[5]};

    const int W = canvas.Width(), H = canvas.Height();
    std::uint8_t* const pixels = canvas.Data();
    const std::size_t stride = canvas.Stride();
    const std::size_t pixelCount = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    std::uint64_t* const bits = s.PaintedBits.ReserveWords(pixelCount);
    std::size_t bitsSize = s.PaintedBits.Size();
    const std::atomic<bool>& stop = s.StopRequested;

    float x = startX, y = startY;
    float px = s.PlacedPoint.x, py = s.PlacedPoint.y;
    std::int32_t counter = RepaintCounterStart;
    std::uint32_t rng = s.RandomState;
    std::int64_t lastDiffuseStep = -8;
    int lastDiffuseMap = 0;
    TColor plotColor = s.PlotColor;
    std::array<std::int32_t, 4> recent{0, 0, 0, 0};

    std::uint8_t mapOf[BatchSize];
    TColor colorOf[BatchSize];
    bool stopped = false;

    while (!stopped && stats.Steps < maxSteps) {
        const int count = static_cast<int>(std::min<std::uint64_t>(BatchSize, maxSteps - stats.Steps));
        const std::int64_t first = static_cast<std::int64_t>(stats.Steps);

        // Ahead of the chain: maps and colours of the next `count` steps.
        std::uint32_t r = rng;
        for (int j = 0; j < count; ++j) {
            r = NextRandomState(r);
            const int k = chooser.Choose(r);
            mapOf[j] = static_cast<std::uint8_t>(k);
            const bool d = diffuse[k];
            lastDiffuseStep = d ? first + j : lastDiffuseStep;
            lastDiffuseMap = d ? k : lastDiffuseMap;
            // The newest Diffuse map among the last four, else the map itself.
            colorOf[j] = (first + j - lastDiffuseStep <= 3) ? colors[lastDiffuseMap] : colors[k];
        }

        // The chain.
        int done = 0;
        for (; done < count; ++done) {
            if (stop.load(std::memory_order_relaxed)) {
                stopped = true;
                break;
            }
            const MapCoefficients& m = coeffs[mapOf[done]];
            const double xd = x, yd = y;
            x = static_cast<float>(m.A * xd + m.B * yd + m.C);
            y = static_cast<float>(m.D * xd + m.E * yd + m.F);
            if constexpr (Placed) {
                const double cx = x, cy = y;
                px = static_cast<float>(place.A * cx + place.B * cy + place.C);
                py = static_cast<float>(place.D * cx + place.E * cy + place.F);
            } else {
                px = x;
                py = y;
            }
            const std::int32_t ix = RoundCoordinate(px);
            const std::int32_t iy = RoundCoordinate(py);
            if (static_cast<std::uint32_t>(ix) < static_cast<std::uint32_t>(W) &&
                static_cast<std::uint32_t>(iy) < static_cast<std::uint32_t>(H)) {
                ++stats.Plotted;
                ++counter;
                const TColor c = colorOf[done];
                std::uint8_t* p = pixels + static_cast<std::size_t>(iy) * stride + 3 * static_cast<std::size_t>(ix);
                p[0] = static_cast<std::uint8_t>(c >> 16);
                p[1] = static_cast<std::uint8_t>(c >> 8);
                p[2] = static_cast<std::uint8_t>(c);
                if (counter == RepaintCounterLimit) {
                    repaint();
                    counter = 0;
                }
                const std::size_t bit = static_cast<std::size_t>(iy) * static_cast<std::size_t>(W) + static_cast<std::size_t>(ix);
                bits[bit >> 6] |= std::uint64_t{1} << (bit & 63);
                if (bit >= bitsSize) bitsSize = bit + 1;
            } else if (FarAway(ix, iy)) {
                x = startX;
                y = startY;
            }
        }

        // Bring the generator and the recent maps to where the chain stopped.
        if (done == count) {
            rng = r;
        } else {
            for (int j = 0; j < done; ++j) rng = NextRandomState(rng);
        }
        for (int j = std::max(0, done - 4); j < done; ++j) {
            recent = {recent[1], recent[2], recent[3], mapOf[j]};
        }
        if (done > 0) plotColor = colorOf[done - 1];
        stats.Steps += static_cast<std::uint64_t>(done);
    }

    s.PaintedBits.GrowTo(bitsSize);
    s.CurrentPoint = {x, y};
    if constexpr (Placed) s.PlacedPoint = {px, py};
    s.RandomState = rng;
    s.RecentMaps = recent;
    s.PlotColor = plotColor;
    return stats;
}

}  // namespace

RenderStats RenderDrawn(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    return RunLoop<false>(s, canvas, repaint, maxSteps);
}

RenderStats RenderPlaced(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    return RunLoop<true>(s, canvas, repaint, maxSteps);
}

RenderStats RunPreparedLoop(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    return s.RenderPlacedObject ? RenderPlaced(s, canvas, repaint, maxSteps)
                                : RenderDrawn(s, canvas, repaint, maxSteps);
}

RenderStats RenderObject(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    PrepareRendering(s);
    const RenderStats stats = RunPreparedLoop(s, canvas, repaint, maxSteps);
    s.Rendering.store(false);
    return stats;
}

}  // namespace fernweave
