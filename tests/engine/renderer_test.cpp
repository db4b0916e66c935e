#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "../reference_game.h"
#include "drawing.h"
#include "renderer.h"
#include "solver.h"

namespace fernweave {
namespace {

// What the step-by-step game plotted, and where it asked for repaints.
struct ReferenceResult {
    std::vector<std::uint64_t> repaintAtPlotted;
    std::uint64_t plotted = 0;
};

ReferenceResult ReferenceLoop(FractalState& s, Picture24& canvas, bool placed, std::uint64_t steps) {
    ReferenceResult result;
    std::int32_t counter = 8000;
    const int W = canvas.Width(), H = canvas.Height();
    reference::PlayGame(s, placed, steps, [&](std::int64_t ix, std::int64_t iy, TColor color) {
        if (ix < 0 || ix >= W || iy < 0 || iy >= H) return false;
        ++counter;
        ++result.plotted;
        SetPixel24(canvas, static_cast<int>(ix), static_cast<int>(iy), color);
        if (counter == 10000) {
            result.repaintAtPlotted.push_back(result.plotted);
            counter = 0;
        }
        s.PaintedBits.Set(static_cast<std::size_t>(iy) * static_cast<std::size_t>(W) + static_cast<std::size_t>(ix));
        return true;
    });
    return result;
}

struct RepaintLog {
    int calls = 0;
    static void Record(void* self) { ++static_cast<RepaintLog*>(self)->calls; }
};

void DrawObject(FractalState& s, const std::vector<TTriangle>& triangles, const std::vector<TColor>& colors,
                const std::vector<bool>& diffuse) {
    TDrawing drawing{triangles[0], {}};
    for (std::size_t t = 1; t < triangles.size(); ++t)
        drawing.Maps.push_back({triangles[t], colors[t - 1], diffuse[t - 1]});
    LoadDrawing(s, drawing);
}

void ExpectSameOutcome(const FractalState& a, const Picture24& ca, const FractalState& b, const Picture24& cb) {
    EXPECT_TRUE(ca == cb) << "pictures differ";
    EXPECT_TRUE(a.PaintedBits == b.PaintedBits) << "painted bits differ";
    EXPECT_EQ(a.RandomState, b.RandomState);
    EXPECT_EQ(a.CurrentPoint.x, b.CurrentPoint.x);
    EXPECT_EQ(a.CurrentPoint.y, b.CurrentPoint.y);
    EXPECT_EQ(a.RecentMaps, b.RecentMaps);
    EXPECT_EQ(a.PlotColor, b.PlotColor);
}

// Renders the same drawn object both ways from the same generator state.
void CompareDrawn(const std::vector<TTriangle>& tris, const std::vector<TColor>& colors, const std::vector<bool>& diffuse,
                  int W, int H, std::uint64_t steps, std::uint32_t seedState) {
    FractalState fast, ref;
    for (FractalState* s : {&fast, &ref}) {
        DrawObject(*s, tris, colors, diffuse);
        PrepareRendering(*s);
        s->RandomState = seedState;
        s->ResetPaintedBits(static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    }
    Picture24 cf(W, H, MakeColor(1, 2, 3)), cr(W, H, MakeColor(1, 2, 3));
    RepaintLog log;
    const RenderStats stats = RenderDrawn(fast, cf, {&RepaintLog::Record, &log}, steps);
    const ReferenceResult r = ReferenceLoop(ref, cr, false, steps);
    EXPECT_EQ(stats.Steps, steps);
    EXPECT_EQ(stats.Plotted, r.plotted);
    EXPECT_EQ(static_cast<std::size_t>(log.calls), r.repaintAtPlotted.size());
    ExpectSameOutcome(fast, cf, ref, cr);
}

TEST(RenderDrawn, MatchesTheStepByStepGameForASierpinskiTriangle) {
    const std::vector<TTriangle> tris = {{TPoint{275, 20}, TPoint{40, 340}, TPoint{510, 340}},
                                         {TPoint{275, 20}, TPoint{158, 180}, TPoint{392, 180}},
                                         {TPoint{158, 180}, TPoint{40, 340}, TPoint{275, 340}},
                                         {TPoint{392, 180}, TPoint{275, 340}, TPoint{510, 340}}};
    // Mixed Diffuse flags exercise the colour rule across batches.
    CompareDrawn(tris, {0x0000FF, 0x00FF00, 0xFF0000}, {true, false, false}, 550, 364, 300000, 0);
    CompareDrawn(tris, {0x0000FF, 0x00FF00, 0xFF0000}, {false, false, false}, 550, 364, 100001, 12345);
    CompareDrawn(tris, {0x0000FF, 0x00FF00, 0xFF0000}, {true, true, true}, 17, 9, 5000, 0xFFFFFFF0u);
}

TEST(RenderDrawn, MatchesTheStepByStepGameForRandomObjects) {
    std::mt19937 gen(3);
    for (int round = 0; round < 12; ++round) {
        const int maps = 1 + static_cast<int>(gen() % (round < 6 ? 6 : MaxMaps));
        std::vector<TTriangle> tris;
        std::vector<TColor> colors;
        std::vector<bool> diffuse;
        // Some triangles larger than the base make diverging maps that leave
        // the canvas and get reset; some are degenerate.
        const int span = round % 3 == 0 ? 800 : 300;
        for (int t = 0; t <= maps; ++t) {
            TTriangle tri;
            for (auto& p : tri) p = {static_cast<int>(gen() % span) - 50, static_cast<int>(gen() % span) - 50};
            if (t == 2) tri[2] = tri[1];
            tris.push_back(tri);
            if (t > 0) {
                colors.push_back(static_cast<TColor>(gen() & 0xFFFFFF));
                diffuse.push_back(gen() % 3 == 0);
            }
        }
        CompareDrawn(tris, colors, diffuse, 300, 200, 50000 + gen() % 1000, static_cast<std::uint32_t>(gen()));
    }
}

TEST(RenderPlaced, MatchesTheStepByStepGame) {
    for (int variant = 0; variant < 4; ++variant) {
        // Variant 3: the last map throws the point far away now and then, so
        // the chain restarts between steps that plot.
        const int far = variant == 3 ? 200000 : 0;
        FractalState fast, ref;
        for (FractalState* s : {&fast, &ref}) {
            DrawObject(*s,
                       {{TPoint{10, 10}, TPoint{200, 10}, TPoint{10, 200}},
                        {TPoint{10, 10}, TPoint{105, 10}, TPoint{10, 105}},
                        {TPoint{105, 10}, TPoint{200, 10}, TPoint{105, 105}},
                        {TPoint{10 + far, 105}, TPoint{105 + far, 105}, TPoint{10 + far, 200}}},
                       {0xFF, 0xFF00, 0xFF0000}, {true, false, true});
            PrepareRendering(*s);  // solves the object as a finished rendering would
            // Import: place the object on a new triangle. Variant 1 sends
            // points far away; variant 2 is degenerate.
            PlaceImported(*s, {TPoint{300, 40}, TPoint{variant == 1 ? 900 : 120, 300},
                               TPoint{variant == 2 ? 300 : 500, variant == 2 ? 40 : 330}});
            PrepareRendering(*s);
            EXPECT_FALSE(s->ObjectImported);
            EXPECT_TRUE(s->RenderPlacedObject);
            s->ResetPaintedBits(550 * 364);
        }
        Picture24 cf(550, 364), cr(550, 364);
        const RenderStats stats = RenderPlaced(fast, cf, {}, 200000);
        const ReferenceResult r = ReferenceLoop(ref, cr, true, 200000);
        EXPECT_EQ(stats.Plotted, r.plotted);
        ExpectSameOutcome(fast, cf, ref, cr);
        EXPECT_EQ(fast.PlacedPoint.x, ref.PlacedPoint.x);
        EXPECT_EQ(fast.PlacedPoint.y, ref.PlacedPoint.y);
    }
}

TEST(RenderPlaced, OnItsOwnBaseTriangleThePlacementIsTheIdentity) {
    FractalState s;
    s.MapCount = 1;
    s.Maps[1] = TIfsMap{0.5f, 0.1f, 3, 0.2f, 0.5f, 4, 1, 0xFF, 1};
    s.BaseTriangle = {TPoint{12, 20}, TPoint{300, 25}, TPoint{40, 310}};
    PlaceImported(s, s.BaseTriangle);
    PrepareRendering(s);
    EXPECT_EQ(s.PlacementMap, (std::array<float, 6>{1, 0, 0, 0, 1, 0}));
    Picture24 canvas(400, 400);
    s.ResetPaintedBits(400 * 400);
    for (int i = 0; i < 50; ++i) {
        RenderPlaced(s, canvas, {}, 1 + i);
        EXPECT_EQ(s.PlacedPoint.x, s.CurrentPoint.x);
        EXPECT_EQ(s.PlacedPoint.y, s.CurrentPoint.y);
    }
}

// A one-map object with fixed coefficients, rendered with the loop only.
class SingleMapLoop : public ::testing::Test {
protected:
    FractalState s;
    Picture24 canvas{100, 60};
    void SetMap(float a, float b, float c, float d, float e, float f, TColor color = 0x0000FF) {
        s.MapCount = 1;
        s.Maps[1] = TIfsMap{a, b, c, d, e, f, 1, color, 1};
        s.ResetPaintedBits(100 * 60);
    }
};

TEST_F(SingleMapLoop, ShrinkingTowardsTheFirstVertexPlotsOnlyThatPixel) {
    s.BaseTriangle = {TPoint{20, 30}, TPoint{90, 30}, TPoint{20, 5}};
    SetMap(0.5f, 0, 10, 0, 0.5f, 15, MakeColor(200, 100, 50));
    const RenderStats stats = RenderDrawn(s, canvas, {}, 1000);
    EXPECT_EQ(stats.Plotted, 1000u);
    Picture24 expected(100, 60);
    SetPixel24(expected, 20, 30, MakeColor(200, 100, 50));
    EXPECT_TRUE(canvas == expected);
    EXPECT_TRUE(s.PaintedBits.Test(30 * 100 + 20));
}

TEST_F(SingleMapLoop, RoundsHalvesToEven) {
    const float xs[] = {2.5f, 3.5f, -0.5f, 0.49999997f};
    const int columns[] = {2, 4, 0, 0};
    for (int i = 0; i < 4; ++i) {
        canvas.Fill(clBlack);
        SetMap(0, 0, xs[i], 0, 0, 5);
        RenderDrawn(s, canvas, {}, 1);
        EXPECT_EQ(canvas.Pixel(columns[i], 5), 0x0000FF) << xs[i];
        EXPECT_TRUE(s.PaintedBits.Test(5 * 100 + static_cast<std::size_t>(columns[i])));
    }
}

TEST_F(SingleMapLoop, FarAwayPointsRestartFromTheFirstVertex) {
    s.BaseTriangle = {TPoint{7, 8}, TPoint{50, 8}, TPoint{7, 40}};
    // (-1, 5): off the canvas, neither plotted nor reset.
    SetMap(0, 0, -1, 0, 0, 5);
    EXPECT_EQ(RenderDrawn(s, canvas, {}, 3).Plotted, 0u);
    EXPECT_EQ(s.CurrentPoint.x, -1.0f);
    // (100000, 5) is not reset; (100001, 5) and (5, -100001) are.
    SetMap(0, 0, 100000, 0, 0, 5);
    RenderDrawn(s, canvas, {}, 3);
    EXPECT_EQ(s.CurrentPoint.x, 100000.0f);
    SetMap(0, 0, 100001, 0, 0, 5);
    RenderDrawn(s, canvas, {}, 3);
    EXPECT_EQ(s.CurrentPoint.x, 7.0f);
    EXPECT_EQ(s.CurrentPoint.y, 8.0f);
    SetMap(0, 0, 5, 0, 0, -100001);
    RenderDrawn(s, canvas, {}, 3);
    EXPECT_EQ(s.CurrentPoint.y, 8.0f);
    EXPECT_TRUE(canvas == Picture24(100, 60));
}

TEST_F(SingleMapLoop, NotANumberAndInfinityAreNeverPlotted) {
    s.BaseTriangle = {TPoint{7, 8}, TPoint{50, 8}, TPoint{7, 40}};
    const float nan = std::nanf("");
    const float inf = INFINITY;
    for (float c : {nan, inf, -inf, 3e9f, -3e9f, 1e30f}) {
        SetMap(1, 0, c, 0, 1, 0);
        const RenderStats stats = RenderDrawn(s, canvas, {}, 100);
        EXPECT_EQ(stats.Plotted, 0u) << c;
        EXPECT_EQ(s.CurrentPoint.x, 7.0f) << c;  // restarted every step
    }
    SetMap(nan, nan, nan, nan, nan, nan);
    EXPECT_EQ(RenderDrawn(s, canvas, {}, 100).Plotted, 0u);
    EXPECT_TRUE(canvas == Picture24(100, 60));
}

TEST_F(SingleMapLoop, RepaintAfter2000PlottedThenEvery10000) {
    s.BaseTriangle = {TPoint{1, 1}, TPoint{50, 1}, TPoint{1, 40}};
    SetMap(0, 0, 3, 0, 0, 4);
    // Alternate on and off the canvas: off-canvas points must not count.
    s.MapCount = 2;
    s.Maps[1].Probability = 0.5f;
    s.Maps[2] = TIfsMap{0, 0, -5, 0, 0, 4, 0.5f, 0xFF, 1};
    RepaintLog log;
    // Find how many steps the 2000th and 12000th on-canvas points take.
    FractalState probe;
    probe.MapCount = 2;
    probe.Maps = s.Maps;
    std::uint64_t steps2000 = 0, steps12000 = 0, plotted = 0;
    for (std::uint64_t step = 1; plotted < 22000; ++step) {
        if (ChooseMap(probe) == 1) ++plotted;
        if (plotted == 2000 && !steps2000) steps2000 = step;
        if (plotted == 12000 && !steps12000) steps12000 = step;
    }
    s.RandomState = 0;
    RenderDrawn(s, canvas, {&RepaintLog::Record, &log}, steps2000 - 1);
    EXPECT_EQ(log.calls, 0);
    s.RandomState = 0;
    RenderDrawn(s, canvas, {&RepaintLog::Record, &log}, steps2000);
    EXPECT_EQ(log.calls, 1);
    log.calls = 0;
    s.RandomState = 0;
    RenderDrawn(s, canvas, {&RepaintLog::Record, &log}, steps12000 - 1);
    EXPECT_EQ(log.calls, 1);
    log.calls = 0;
    s.RandomState = 0;
    RenderDrawn(s, canvas, {&RepaintLog::Record, &log}, steps12000);
    EXPECT_EQ(log.calls, 2);
}

TEST(ChoosePlotColor, TheNewestDiffuseMapAmongTheLastFourWins) {
    FractalState s;
    s.MapCount = 3;
    s.Maps[1] = TIfsMap{.Color = 0x0000FF, .Diffuse = 1};  // red, Diffuse
    s.Maps[2] = TIfsMap{.Color = 0xFF0000, .Diffuse = 0};  // blue
    s.Maps[3] = TIfsMap{.Color = 0x00FF00, .Diffuse = 7};  // any non-zero value is on
    using R = std::array<std::int32_t, 4>;
    s.RecentMaps = R{0, 0, 1, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0x0000FF);
    s.RecentMaps = R{1, 2, 2, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0x0000FF);
    s.RecentMaps = R{2, 2, 2, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0xFF0000);
    s.RecentMaps = R{0, 0, 0, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0xFF0000);
    s.RecentMaps = R{1, 3, 2, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0x00FF00);
    s.RecentMaps = R{3, 2, 1, 2};
    EXPECT_EQ(ChoosePlotColor(s), 0x0000FF);
}

struct StopAtFirstRepaint {
    FractalState* s;
    int calls = 0;
    static void Hit(void* self) {
        auto* me = static_cast<StopAtFirstRepaint*>(self);
        ++me->calls;
        me->s->StopRequested.store(true);
    }
};

TEST(RenderStop, EndsAfterTheStepInProgressAndKeepsTheGeneratorExact) {
    const std::vector<TTriangle> tris = {{TPoint{275, 20}, TPoint{40, 340}, TPoint{510, 340}},
                                         {TPoint{275, 20}, TPoint{158, 180}, TPoint{392, 180}},
                                         {TPoint{158, 180}, TPoint{40, 340}, TPoint{275, 340}}};
    FractalState s, ref;
    for (FractalState* st : {&s, &ref}) {
        DrawObject(*st, tris, {0xFF, 0xFF00}, {true, true});
        PrepareRendering(*st);
        st->ResetPaintedBits(550 * 364);
    }
    Picture24 canvas(550, 364), refCanvas(550, 364);
    StopAtFirstRepaint stopper{&s};
    const RenderStats stats = RenderDrawn(s, canvas, {&StopAtFirstRepaint::Hit, &stopper});
    EXPECT_EQ(stopper.calls, 1);
    EXPECT_EQ(stats.Plotted, 2000u);  // the stop came with the 2000th plotted point
    ReferenceLoop(ref, refCanvas, false, stats.Steps);
    ExpectSameOutcome(s, canvas, ref, refCanvas);

    // A set flag stops the loop before its first step.
    const std::uint32_t before = s.RandomState;
    EXPECT_EQ(RenderDrawn(s, canvas, {}).Steps, 0u);
    EXPECT_EQ(s.RandomState, before);
}

TEST(RenderObject, RunsOnAnotherThreadUntilStoppedAndClearsRendering) {
    FractalState s;
    DrawObject(s,
               {{TPoint{10, 10}, TPoint{200, 10}, TPoint{10, 200}},
                {TPoint{10, 10}, TPoint{105, 10}, TPoint{10, 105}},
                {TPoint{105, 10}, TPoint{200, 10}, TPoint{105, 105}}},
               {0xFF, 0xFF00}, {true, true});
    s.ResetPaintedBits(300 * 300);
    Picture24 canvas(300, 300);
    std::atomic<int> repaints{0};
    RepaintRequest repaint{[](void* c) { static_cast<std::atomic<int>*>(c)->fetch_add(1); }, &repaints};
    s.Rendering = true;
    s.StopRequested = false;
    std::thread worker([&] { RenderObject(s, canvas, repaint); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (repaints.load() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(s.Rendering.load());
    s.StopRequested = true;
    worker.join();
    EXPECT_GE(repaints.load(), 3);
    EXPECT_FALSE(s.Rendering.load());
    EXPECT_EQ(s.BaseTriangle[1], (TPoint{200, 10}));
}

TEST(RenderDrawn, GrowsABitSetSmallerThanTheCanvas) {
    // A loaded picture larger than the bit sets: plotting grows them.
    FractalState s;
    s.BaseTriangle = {TPoint{5, 40}, TPoint{6, 40}, TPoint{5, 41}};
    s.MapCount = 1;
    s.Maps[1] = TIfsMap{0, 0, 5, 0, 0, 40, 1, 0xFF, 1};
    s.ResetPaintedBits(10);
    Picture24 canvas(50, 50);
    RenderDrawn(s, canvas, {}, 5);
    EXPECT_EQ(s.PaintedBits.Size(), 40u * 50 + 5 + 1);
    EXPECT_TRUE(s.PaintedBits.Test(40 * 50 + 5));
    EXPECT_EQ(s.UndoPaintedBits.Size(), 10u);
}

}  // namespace
}  // namespace fernweave
