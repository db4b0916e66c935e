#include "renderer.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "hit_counter.h"
#include "solver.h"

#if defined(__x86_64__)
#include <emmintrin.h>
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
        if (!s.DrawnChances) ComputeProbabilities(s);
        s.DrawnChances = false;
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

// Rounds a float, or a double that holds one, to the nearest integer, halves
// to even, as a 64-bit value so that the canvas index needs no widening. NaN
// and values beyond the int64 range give INT64_MIN; like every value beyond
// +-2^31, that lies far beyond the reset bound.
template <typename Real>
inline std::int64_t RoundCoordinate(Real v) {
#if defined(__x86_64__)
    if constexpr (sizeof(Real) == sizeof(float))
        return _mm_cvtss_si64(_mm_set_ss(v));
    else
        return _mm_cvtsd_si64(_mm_set_sd(v));
#else
    if (!(v >= Real{-2147483648.0} && v < Real{2147483648.0})) return INT64_MIN;
    return std::llrint(v);
#endif
}

inline bool FarAway(std::int64_t ix, std::int64_t iy) {
    return ix < -FarAwayBound || ix > FarAwayBound || iy < -FarAwayBound || iy > FarAwayBound;
}

// A map's coefficients, a cache line each: the step finds them with a shift.
struct alignas(64) MapCoefficients {
    double A, B, C, D, E, F;
};

constexpr int BatchSize = 256;

// After a loop that set bits in words the set had reserved: the set's size
// grows to cover the highest bit set beyond it. Bits past the size are
// always clear, so any set bit there is one the loop painted.
void GrowOverNewBits(BitSet& set, const std::uint64_t* words, std::size_t sizeBefore, std::size_t pixelCount) {
    if (sizeBefore >= pixelCount) return;
    const std::size_t low = sizeBefore >> 6;
    for (std::size_t w = (pixelCount + 63) >> 6; w-- > low;) {
        if (words[w] != 0) {
            const std::size_t highest = w * 64 + 63 - static_cast<std::size_t>(std::countl_zero(words[w]));
            set.GrowTo(highest + 1);
            return;
        }
    }
}

// A colour as its three bytes lie in the picture (blue, green, red from the
// low byte up), so that plotting is a byte and a 16-bit store.
constexpr std::uint32_t PixelBytes(TColor c) {
    const auto u = static_cast<std::uint32_t>(c);
    return (u & 0xFF00FF00u) | ((u >> 16) & 0xFF) | ((u & 0xFF) << 16);
}
constexpr TColor ColorOfPixelBytes(std::uint32_t p) { return static_cast<TColor>(PixelBytes(static_cast<TColor>(p))); }

// For a value that is never zero.
inline int LowestSetBit(std::uint64_t v) {
#if defined(__GNUC__)
    return __builtin_ctzll(v);  // without the test for zero of std::countr_zero
#else
    return std::countr_zero(v);
#endif
}

// Everything the steps use, in one block: the loop reaches all of it from a
// single register. The point's coordinates lie apart on purpose: side by
// side, the compiler packs them into one vector register and puts shuffles
// into the chain.
struct StepData {
    // Fixed for the rendering.
    MapCoefficients coeffs[MaxMaps + 1];
    std::uint32_t pixelBytes[MaxMaps + 1];
    std::uint32_t diffuseMap[MaxMaps + 1];  // k for a Diffuse map k, else 0
    std::uint64_t mapAbove[MaxMaps + 1];    // k above the four recent bytes (bit 7: never zero)
    MapCoefficients place;
    MapChooser::Table chooser;
    const std::atomic<bool>* stop;
    HitTarget* hits;  // the counting loop's target, else nullptr
    std::uint8_t* pixels;
    std::size_t stride;
    std::uint64_t* bits;
    std::uint32_t width, height;  // of the samples, or of the rows the canvas keeps
    std::uint64_t firstRow;       // the picture row of the canvas's first row (a band of a poster)
    float startX, startY;

    // The steps ahead, in a ring of two batches: the chain reads one while
    // the other fills.
    alignas(64) std::uint8_t mapOf[2 * BatchSize + 2];  // and two spare slots of map 0
    alignas(64) std::uint32_t colorOf[2 * BatchSize];  // as pixel bytes

    // Carried from one run of steps to the next.
    float x;
    std::int32_t untilRepaint;  // plots left until the next repaint
    float y;
    std::uint32_t generator;  // after the last step worked out ahead
    float px;
    std::uint32_t recentDiffuse;  // byte i: the map of the step i back if Diffuse, else 0
    float py;
};

// Works out the map and the colour of a step ahead of the chain, into ring slot j.
inline void WorkOutStep(StepData& d, const MapChooser::Table& chooser, std::uint32_t& r, std::uint32_t& recentDiffuse,
                        int j) {
    r = NextRandomState(r);
    const std::size_t k = chooser.Choose(r);
    d.mapOf[j] = static_cast<std::uint8_t>(k);
    // The newest Diffuse map among the last four, else the map itself: the
    // lowest non-zero byte, with k above the four. No branch, because
    // whether a map is Diffuse is a coin toss to the predictor.
    recentDiffuse = (recentDiffuse << 8) | d.diffuseMap[k];
    const std::uint64_t candidates = recentDiffuse | d.mapAbove[k];
    const int shown = static_cast<int>((candidates >> (LowestSetBit(candidates) & ~7)) & 0x7F);
    d.colorOf[j] = d.pixelBytes[shown];
}

enum class StepsEnd { Batch, Stop, Repaint };

// One map application: the step of the chain. The point is a pair of floats;
// it is carried as doubles, exactly, so that each is widened once for all its uses.
inline void MapPoint(const MapCoefficients& m, double x, double y, double& xn, double& yn) {
    xn = static_cast<float>(m.A * x + m.B * y + m.C);
    yn = static_cast<float>(m.D * x + m.E * y + m.F);
}

// Runs the steps of the batch at ring offset Base from `done` up to `count`,
// working out the next batch on the way. Ends early at a stop request, or at
// a repaint that falls due: then that pixel is plotted but its bit (dueBit)
// is not yet set. Out of line and without calls, so that the point stays in
// registers: a call would push it into memory on every step.
//
// The chain runs two steps ahead of the plotting: the pass that plots step k
// applies the map of step k + 2. The plotting (placement, rounding, stores)
// then finds its point long since worked out, and runs and retires in the
// chain's shadow instead of holding places in the core's window while it
// waits; the chain's own operations come first and win the ports. Working
// ahead has no side effects: a stop or a repaint drops the two points ahead,
// and a far-away point works them out again from the start. The stop test
// for a step and the working out of its successor's map a batch ahead come
// after the step before it is plotted, as in a loop of single steps.
template <bool Placed, int Base, bool Counting>
[[gnu::noinline]] StepsEnd RunSteps(StepData& d, int& done, int count, std::size_t& dueBit) {
    // Locals: the canvas writes cannot alias them.
    const MapChooser::Table chooser = d.chooser;
    const MapCoefficients place = d.place;
    const std::atomic<bool>& stop = *d.stop;
    std::uint8_t* const pixels = d.pixels;
    const std::size_t stride = d.stride;
    std::uint64_t* const bits = d.bits;
    const std::uint64_t W = d.width, H = d.height, firstRow = d.firstRow;
    const double startX = d.startX, startY = d.startY;
    HitTarget hits;
    if constexpr (Counting) hits = *d.hits;
    double x = d.x, y = d.y;
    float px = d.px, py = d.py;
    std::int32_t untilRepaint = d.untilRepaint;
    std::uint32_t r = d.generator, recentDiffuse = d.recentDiffuse;

    StepsEnd end = StepsEnd::Batch;
    int k = done;
    if (k < count) {
        if (stop.load(std::memory_order_relaxed)) [[unlikely]] {
            end = StepsEnd::Stop;
        } else {
            WorkOutStep(d, chooser, r, recentDiffuse, (Base ^ BatchSize) + k);
            MapPoint(d.coeffs[d.mapOf[Base + k]], x, y, x, y);
            // (x, y): the point of step k, to plot in this pass; (x1, y1)
            // the point of step k + 1. Past the batch's end these read the
            // ring's spare slots or slots already filled, and what they give
            // is dropped.
            double x1, y1;
            MapPoint(d.coeffs[d.mapOf[Base + k + 1]], x, y, x1, y1);
            for (;;) {
                double x2, y2;
                MapPoint(d.coeffs[d.mapOf[Base + k + 2]], x1, y1, x2, y2);
                std::uint64_t ix, iy;
                if constexpr (Placed) {
                    px = static_cast<float>(place.A * x + place.B * y + place.C);
                    py = static_cast<float>(place.D * x + place.E * y + place.F);
                    ix = static_cast<std::uint64_t>(RoundCoordinate(px));
                    iy = static_cast<std::uint64_t>(RoundCoordinate(py));
                } else {
                    // The same rounding as of the float: the double holds it exactly.
                    ix = static_cast<std::uint64_t>(RoundCoordinate(x));
                    iy = static_cast<std::uint64_t>(RoundCoordinate(y));
                }
                // A point in the picture but outside the band lies well within the reset bound.
                const std::uint64_t row = iy - firstRow;
                if (ix < W && row < H) [[likely]] {
                    const std::uint32_t c = d.colorOf[Base + k];
                    if constexpr (Counting) {
                        hits.Add(static_cast<std::uint32_t>(ix), static_cast<std::uint32_t>(row), c);
                    } else {
                        std::uint8_t* p = pixels + row * stride + 3 * ix;
                        p[0] = static_cast<std::uint8_t>(c);
                        const auto greenRed = static_cast<std::uint16_t>(c >> 8);
                        std::memcpy(p + 1, &greenRed, 2);
                        const std::size_t bit = row * W + ix;
                        if (--untilRepaint == 0) [[unlikely]] {
                            dueBit = bit;
                            end = StepsEnd::Repaint;
                            ++k;
                            break;
                        }
                        bits[bit >> 6] |= std::uint64_t{1} << (bit & 63);
                    }
                } else if (FarAway(static_cast<std::int64_t>(ix), static_cast<std::int64_t>(iy))) [[unlikely]] {
                    // The maps are read again: held for this rare case, their
                    // coefficients would take registers through every step.
                    asm volatile("" ::: "memory");
                    x = startX;
                    y = startY;
                    MapPoint(d.coeffs[d.mapOf[Base + k + 1]], x, y, x1, y1);
                    MapPoint(d.coeffs[d.mapOf[Base + k + 2]], x1, y1, x2, y2);
                }
                ++k;
                if (k == count) break;
                if (stop.load(std::memory_order_relaxed)) [[unlikely]] {
                    end = StepsEnd::Stop;
                    break;
                }
                WorkOutStep(d, chooser, r, recentDiffuse, (Base ^ BatchSize) + k);
                x = x1;
                y = y1;
                x1 = x2;
                y1 = y2;
            }
        }
    }
    done = k;
    d.x = static_cast<float>(x);
    d.y = static_cast<float>(y);
    if constexpr (Placed) {
        d.px = px;
        d.py = py;
    }
    d.untilRepaint = untilRepaint;
    d.generator = r;
    d.recentDiffuse = recentDiffuse;
    if constexpr (Counting) d.hits->Next = hits.Next;
    return end;
}

// The chaos game is one long dependency chain through the point. Everything
// that does not depend on the point (the generator, the map choice, the
// Diffuse colour) is worked out a batch ahead, inside the steps of the batch
// before, where it fills the time the chain spends waiting.
// Where a loop starts and what it plots into. A rendering starts from the
// first base vertex; a chunk of a rendering in parts (posters) goes on from
// the state's point, recent maps and generator. The counting loop (density
// shading) adds each plotted step to `hits` instead of painting the canvas.
struct LoopSetup {
    bool resume = false;
    HitTarget* hits = nullptr;
    const std::atomic<bool>* stop = nullptr;  // else the state's StopRequested
    int firstRow = 0;                         // the picture row of the canvas's first row
};

template <bool Placed, bool Counting>
RenderStats RunLoop(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps,
                    LoopSetup setup = {}) {
    RenderStats stats;
    const int n = s.MapCount;
    const float startX = static_cast<float>(s.BaseTriangle[0].x);
    const float startY = static_cast<float>(s.BaseTriangle[0].y);
    if (!setup.resume) {
        s.RecentMaps = {0, 0, 0, 0};
        s.CurrentPoint = {startX, startY};
    }
    s.StepsRendered.store(0, std::memory_order_relaxed);
    if (n < 1) return stats;  // an object without maps has nothing to render

    MapChooser chooser;
    chooser.Build(s.Maps, n);
    const std::size_t pixelCount =
        Counting ? 0 : static_cast<std::size_t>(canvas.Width()) * static_cast<std::size_t>(canvas.Height());
    std::uint64_t* const bits = s.PaintedBits.ReserveWords(pixelCount);
    const std::size_t bitsSizeBefore = s.PaintedBits.Size();

    StepData d;
    d.coeffs[0] = {};
    d.mapOf[2 * BatchSize] = d.mapOf[2 * BatchSize + 1] = 0;
    for (int k = 1; k <= n; ++k) {
        const TIfsMap& m = s.Maps[k];
        d.coeffs[k] = {m.A, m.B, m.C, m.D, m.E, m.F};
        d.pixelBytes[k] = PixelBytes(m.Color);
        d.diffuseMap[k] = m.Diffuse != 0 ? static_cast<std::uint32_t>(k) : 0u;
        d.mapAbove[k] = std::uint64_t{static_cast<std::uint32_t>(k) | 0x80u} << 32;
    }
    const auto& pm = s.PlacementMap;
    d.place = {pm[0], pm[1], pm[2], pm[3], pm[4], pm[5]};
    d.chooser = chooser.View();
    d.stop = setup.stop ? setup.stop : &s.StopRequested;
    d.hits = setup.hits;
    d.pixels = canvas.Data();
    d.stride = canvas.Stride();
    d.bits = bits;
    d.width = static_cast<std::uint32_t>(Counting ? setup.hits->SampleWidth : canvas.Width());
    d.height = static_cast<std::uint32_t>(Counting ? setup.hits->SampleHeight : canvas.Height());
    d.firstRow = Counting ? 0 : static_cast<std::uint64_t>(setup.firstRow);
    d.startX = startX;
    d.startY = startY;
    d.x = s.CurrentPoint.x;
    d.y = s.CurrentPoint.y;
    d.px = s.PlacedPoint.x;
    d.py = s.PlacedPoint.y;
    d.untilRepaint = RepaintCounterLimit - RepaintCounterStart;
    d.generator = s.RandomState;
    d.recentDiffuse = 0;
    std::array<std::int32_t, 4> recent = s.RecentMaps;
    for (int k : recent) d.recentDiffuse = (d.recentDiffuse << 8) | (k >= 1 ? d.diffuseMap[k] : 0u);

    // Plotted is plottedBase + the repaint counter: one count per plotted step.
    std::uint64_t plottedBase = static_cast<std::uint64_t>(-static_cast<std::int64_t>(RepaintCounterStart));
    std::uint32_t rng = s.RandomState;  // at the start of the current batch
    TColor plotColor = s.PlotColor;

    for (int j = 0; j < BatchSize; ++j) WorkOutStep(d, d.chooser, d.generator, d.recentDiffuse, j);
    std::uint32_t stateAfter[2];  // the generator after each whole batch
    stateAfter[0] = d.generator;

    int cur = 0;
    bool stopped = false;
    while (!stopped && stats.Steps < maxSteps) {
        const int count = static_cast<int>(std::min<std::uint64_t>(BatchSize, maxSteps - stats.Steps));
        const int base = cur * BatchSize;
        int done = 0;
        for (;;) {
            std::size_t dueBit = 0;
            const StepsEnd end = cur == 0 ? RunSteps<Placed, 0, Counting>(d, done, count, dueBit)
                                          : RunSteps<Placed, BatchSize, Counting>(d, done, count, dueBit);
            if (end != StepsEnd::Repaint) {
                stopped = end == StepsEnd::Stop;
                break;
            }
            // The repaint comes between the pixel and its painted bit.
            repaint();
            plottedBase += RepaintCounterLimit;
            d.untilRepaint = RepaintCounterLimit;
            bits[dueBit >> 6] |= std::uint64_t{1} << (dueBit & 63);
        }
        if (done == BatchSize) stateAfter[cur ^ 1] = d.generator;

        // Bring the generator and the recent maps to where the chain stopped.
        if (done == BatchSize) {
            rng = stateAfter[cur];
        } else {
            for (int j = 0; j < done; ++j) rng = NextRandomState(rng);
        }
        for (int j = std::max(0, done - 4); j < done; ++j) {
            recent = {recent[1], recent[2], recent[3], d.mapOf[base + j]};
        }
        if (done > 0) plotColor = ColorOfPixelBytes(d.colorOf[base + done - 1]);
        stats.Steps += static_cast<std::uint64_t>(done);
        s.StepsRendered.store(stats.Steps, std::memory_order_relaxed);
        cur ^= 1;
    }

    stats.Plotted = plottedBase + static_cast<std::uint64_t>(RepaintCounterLimit - d.untilRepaint);
    GrowOverNewBits(s.PaintedBits, bits, bitsSizeBefore, pixelCount);
    s.CurrentPoint = {d.x, d.y};
    if constexpr (Placed) s.PlacedPoint = {d.px, d.py};
    s.RandomState = rng;
    s.RecentMaps = recent;
    s.PlotColor = plotColor;
    return stats;
}

}  // namespace

RenderStats RenderDrawn(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    return RunLoop<false, false>(s, canvas, repaint, maxSteps);
}

RenderStats RenderPlaced(FractalState& s, Picture24& canvas, RepaintRequest repaint, std::uint64_t maxSteps) {
    return RunLoop<true, false>(s, canvas, repaint, maxSteps);
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

namespace fernweave {

RenderStats ContinuePreparedLoop(FractalState& s, Picture24& layer, const std::atomic<bool>& stop,
                                 std::uint64_t maxSteps, int firstRow) {
    const LoopSetup setup{true, nullptr, &stop, firstRow};
    return s.RenderPlacedObject ? RunLoop<true, false>(s, layer, {}, maxSteps, setup)
                                : RunLoop<false, false>(s, layer, {}, maxSteps, setup);
}

RenderStats ContinuePreparedCounting(FractalState& s, HitTarget& hits, const std::atomic<bool>& stop,
                                     std::uint64_t maxSteps) {
    Picture24 none;
    const LoopSetup setup{true, &hits, &stop};
    return s.RenderPlacedObject ? RunLoop<true, true>(s, none, {}, maxSteps, setup)
                                : RunLoop<false, true>(s, none, {}, maxSteps, setup);
}

}  // namespace fernweave
