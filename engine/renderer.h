// The chaos-game renderers: they plot the attractor of the current object into
// the canvas picture until StopRequested is set (or a step limit is reached).
#pragma once

#include <cstdint>
#include <limits>

#include "fractal_state.h"
#include "hit_counter.h"
#include "picture.h"

namespace fernweave {

// Asks the canvas to repaint itself. Called from the render thread; a plain
// function pointer so that the loop never makes a virtual call.
struct RepaintRequest {
    void (*Function)(void* context) = nullptr;
    void* Context = nullptr;
    void operator()() const {
        if (Function) Function(Context);
    }
};

struct RenderStats {
    std::uint64_t Steps = 0;
    std::uint64_t Plotted = 0;
};

constexpr std::uint64_t Unlimited = std::numeric_limits<std::uint64_t>::max();

constexpr std::int32_t RepaintCounterStart = 8000;
constexpr std::int32_t RepaintCounterLimit = 10000;
constexpr std::int32_t FarAwayBound = 100000;

// The colour for the point of this step, from RecentMaps (the Diffuse rule).
TColor ChoosePlotColor(const FractalState& s);

// Solves what the rendering needs: for a drawn object its maps and
// probabilities; for an imported one the placement map onto Points 1..3
// (clearing ObjectImported). Sets RenderPlacedObject accordingly.
void PrepareRendering(FractalState& s);

// The two chaos-game loops. They stop when StopRequested is set (tested before
// every step) or after maxSteps steps.
RenderStats RenderDrawn(FractalState& s, Picture24& canvas, RepaintRequest repaint,
                        std::uint64_t maxSteps = Unlimited);
RenderStats RenderPlaced(FractalState& s, Picture24& canvas, RepaintRequest repaint,
                         std::uint64_t maxSteps = Unlimited);

// Runs the loop that PrepareRendering chose.
RenderStats RunPreparedLoop(FractalState& s, Picture24& canvas, RepaintRequest repaint,
                            std::uint64_t maxSteps = Unlimited);

// For renderings in parts (posters): the loop PrepareRendering chose, going on
// from the state's CurrentPoint, RecentMaps and RandomState instead of the
// first base vertex, stopping at `stop` or after maxSteps steps. It plots into
// `layer` and its painted bits into PaintedBits; it requests no repaint.
// A layer that is a band of the picture holds its rows from `firstRow` on and
// drops the points of the other rows.
RenderStats ContinuePreparedLoop(FractalState& s, Picture24& layer, const std::atomic<bool>& stop,
                                 std::uint64_t maxSteps, int firstRow = 0);
// The same loop listing each plotted step in `hits` (density shading), which
// has room for maxSteps entries; hits.Next ends past the last one.
RenderStats ContinuePreparedCounting(FractalState& s, HitTarget& hits, const std::atomic<bool>& stop,
                                     std::uint64_t maxSteps);

// PrepareRendering, the matching loop, then Rendering := false.
RenderStats RenderObject(FractalState& s, Picture24& canvas, RepaintRequest repaint,
                         std::uint64_t maxSteps = Unlimited);

}  // namespace fernweave
