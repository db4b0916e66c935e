#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <memory>
#include <vector>

#include "drawing.h"
#include "lcg_jump.h"
#include "memory_budget.h"
#include "parallel_render.h"
#include "picture_job.h"
#include "poster_job.h"
#include "../reference_game.h"
#include "renderer.h"
#include "solver.h"

namespace fernweave {
namespace {

TEST(LcgJump, EqualsSteppingOneAtATime) {
    for (std::uint32_t start : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        std::uint32_t stepped = start;
        for (std::uint64_t n = 0; n <= 70000; ++n) {
            if (n % 997 == 0 || n < 70) {
                ASSERT_EQ(JumpRandomState(start, n), stepped) << start << " " << n;
            }
            stepped = NextRandomState(stepped);
        }
        EXPECT_EQ(JumpRandomState(start, std::uint64_t{1} << 32), start);  // the full period
        EXPECT_EQ(JumpRandomState(start, (std::uint64_t{5} << 32) + 3), JumpRandomState(start, 3));
    }
}

struct Drawing {
    std::vector<TTriangle> triangles;  // the base first
    bool placed = false;               // rendered as an imported object on a triangle
};

// Four contracting maps.
Drawing Fern() {
    return {{{TPoint{187, 354}, TPoint{374, 354}, TPoint{275, 7}},
             {TPoint{273, 354}, TPoint{277, 354}, TPoint{275, 299}},
             {TPoint{200, 296}, TPoint{359, 304}, TPoint{289, 5}},
             {TPoint{257, 320}, TPoint{295, 277}, TPoint{185, 223}},
             {TPoint{288, 362}, TPoint{260, 313}, TPoint{372, 256}}}};
}

// A Sierpinski triangle imported and placed on a smaller, shifted triangle.
Drawing PlacedSierpinski() {
    return {{{TPoint{275, 12}, TPoint{25, 352}, TPoint{525, 352}},
             {TPoint{275, 12}, TPoint{150, 182}, TPoint{400, 182}},
             {TPoint{150, 182}, TPoint{25, 352}, TPoint{275, 352}},
             {TPoint{400, 182}, TPoint{275, 352}, TPoint{525, 352}},
             {TPoint{300, 40}, TPoint{60, 300}, TPoint{500, 330}}},  // the placement
            true};
}

// One map grows the picture threefold and is chosen most of the time: the
// point runs away and is reset, again and again.
Drawing Diverging() {
    return {{{TPoint{200, 150}, TPoint{260, 150}, TPoint{200, 210}},
             {TPoint{140, 90}, TPoint{320, 90}, TPoint{140, 270}},
             {TPoint{200, 150}, TPoint{230, 150}, TPoint{200, 180}}}};
}

// Two maps that only turn and shift the plane: no two points ever meet, so
// every guess misses.
Drawing Turning() {
    return {{{TPoint{100, 100}, TPoint{200, 100}, TPoint{100, 200}},
             {TPoint{300, 100}, TPoint{300, 200}, TPoint{200, 100}},
             {TPoint{150, 250}, TPoint{150, 150}, TPoint{250, 250}}}};
}

// A fresh state with the drawing prepared as the program would render it.
std::unique_ptr<FractalState> Prepare(const Drawing& d, int factor = 1) {
    auto s = std::make_unique<FractalState>();
    TDrawing drawing{d.triangles[0], {}};
    const std::size_t drawn = d.placed ? d.triangles.size() - 1 : d.triangles.size();
    for (std::size_t t = 1; t < drawn; ++t)
        drawing.Maps.push_back({d.triangles[t], MakeColor(40 * t, 255 - 50 * t, 90 + 30 * t), t % 2 == 1});
    LoadDrawing(*s, drawing, factor);
    if (d.placed) {
        SolveAllMaps(*s);
        ComputeProbabilities(*s);
        PlaceImported(*s, d.triangles.back(), factor);
    }
    PrepareRendering(*s);
    return s;
}

struct Named {
    const char* name;
    Drawing drawing;
};
std::vector<Named> AllObjects() {
    return {{"fern", Fern()}, {"placed Sierpinski", PlacedSierpinski()}, {"diverging", Diverging()},
            {"turning", Turning()}};
}

struct Cut {
    int threads;
    std::uint64_t chunk, warmUp;
    int layers;
    bool guessAll;
};
// Chunk lengths that do not divide the step counts, warm-ups from far too
// short to ample, as few layers as can be and more.
constexpr Cut Cuts[] = {{1, 500, 32, 0, true}, {2, 1000, 64, 0, false}, {3, 333, 8, 0, true}, {4, 97, 1, 1, false},
                        {2, 4096, 0, 5, true}};

ParallelOptions OptionsFor(const Cut& cut) {
    ParallelOptions options;
    options.Threads = cut.threads;
    options.ChunkSteps = cut.chunk;
    options.WarmUp = cut.warmUp;
    options.Layers = cut.layers;
    options.GuessEveryChunk = cut.guessAll;
    return options;
}
constexpr std::uint64_t StepCounts[] = {0, 1, 96, 1000, 1001, 23457};

TEST(RenderPlainParallel, PaintsWhatOneChainPaints) {
    const int W = 550, H = 364;
    for (const Named& object : AllObjects()) {
        for (std::uint64_t steps : StepCounts) {
            auto one = Prepare(object.drawing);
            one->ResetPaintedBits(static_cast<std::size_t>(W) * H);
            Picture24 expected(W, H, MakeColor(9, 8, 7));
            const RenderStats chain = RunPreparedLoop(*one, expected, {}, steps);
            for (const Cut& cut : Cuts) {
                SCOPED_TRACE(::testing::Message() << object.name << ", " << steps << " steps, " << cut.threads
                                                  << " threads, chunks of " << cut.chunk);
                auto prepared = Prepare(object.drawing);
                Picture24 canvas(W, H, MakeColor(9, 8, 7));
                const ParallelStats stats = RenderPlainParallel(*prepared, canvas, steps, OptionsFor(cut));
                EXPECT_EQ(stats.Steps, steps);
                EXPECT_EQ(stats.Plotted, chain.Plotted);
                EXPECT_TRUE(canvas == expected);
            }
        }
    }
}

// Guesses hold where the maps contract; where they never do, three misses
// in a row end the guessing.
TEST(RenderPlainParallel, GuessesHoldOnAContractingObjectAndStopMissingOnATurningOne) {
    const ParallelOptions options = OptionsFor({1, 5000, 0, 0, true});
    Picture24 canvas(550, 364);
    EXPECT_EQ(RenderPlainParallel(*Prepare(Fern()), canvas, 200000, options).Recomputed, 0u);
    EXPECT_EQ(RenderPlainParallel(*Prepare(Turning()), canvas, 200000, options).Recomputed, 3u);
}

TEST(RenderPlainParallel, StopsWithoutFinishing) {
    std::atomic<bool> stop{true};
    ParallelOptions options;
    options.Threads = 2;
    options.Stop = &stop;
    Picture24 canvas(50, 50);
    EXPECT_LT(RenderPlainParallel(*Prepare(Fern()), canvas, 1000000, options).Steps, 1000000u);
}

// What the step-by-step game hits, counted in cells of factor x factor.
DensityPicture ReferenceDensity(FractalState& s, int width, int height, int factor, std::uint64_t steps) {
    DensityPicture picture{width, height, std::vector<DensityCell>(static_cast<std::size_t>(width) * height)};
    reference::PlayGame(s, s.RenderPlacedObject, steps, [&](std::int64_t ix, std::int64_t iy, TColor color) {
        if (ix < 0 || ix >= width * factor || iy < 0 || iy >= height * factor) return false;
        DensityCell& c = picture.Cells[static_cast<std::size_t>(iy / factor * width + ix / factor)];
        ++c.Count;
        c.Red += RedOf(color);
        c.Green += GreenOf(color);
        c.Blue += BlueOf(color);
        return true;
    });
    return picture;
}

TEST(RenderDensityParallel, CountsWhatOneChainHits) {
    const int W = 183, H = 121, K = 3;
    for (const Named& object : AllObjects()) {
        const std::uint64_t steps = 30011;
        auto ref = Prepare(object.drawing, K);
        const DensityPicture expected = ReferenceDensity(*ref, W, H, K, steps);
        for (const Cut& cut : {Cut{1, 4000, 0, 0, false}, Cut{1, 1000, 8, 0, true}, Cut{3, 777, 16, 0, false}}) {
            SCOPED_TRACE(::testing::Message() << object.name << ", " << cut.threads << " threads");
            DensityPicture picture{W, H, std::vector<DensityCell>(static_cast<std::size_t>(W) * H)};
            EXPECT_EQ(RenderDensityParallel(*Prepare(object.drawing, K), picture, K, steps, OptionsFor(cut)).Steps, steps);
            EXPECT_TRUE(picture.Cells == expected.Cells);
        }
        // A band keeps exactly its rows of the whole, however the rows are cut.
        for (const auto& [first, rows, threads] : {std::tuple{0, 1, 1}, {37, 50, 2}, {H - 7, 7, 3}}) {
            DensityPicture band{W, H, std::vector<DensityCell>(static_cast<std::size_t>(W) * rows), first};
            Cut cut{threads, 1000, 16, 0, threads == 1};
            EXPECT_EQ(RenderDensityParallel(*Prepare(object.drawing, K), band, K, steps, OptionsFor(cut)).Steps, steps);
            EXPECT_TRUE(std::equal(band.Cells.begin(), band.Cells.end(), expected.Cells.begin() + first * W))
                << object.name << ", rows " << first << " + " << rows;
        }
    }
}

TEST(WhiteCount, IsTheNearestRankAmongTheLitPixels) {
    std::vector<std::uint64_t> counts = {0, 5, 0, 1, 9, 1, 3, 0};  // lit: 1 1 3 5 9
    EXPECT_EQ(WhiteCount(counts, 100), 9u);
    EXPECT_EQ(WhiteCount(counts, 80), 5u);   // 4 of 5
    EXPECT_EQ(WhiteCount(counts, 50), 3u);   // rank ceil(2.5) = 3
    EXPECT_EQ(WhiteCount(std::vector<std::uint64_t>(4, 0), 99), 0u);
    // Wide spreads narrow in a few passes, exactly.
    std::uint32_t r = 12345;
    counts.clear();
    for (int i = 0; i < 100000; ++i) {
        r = r * 1664525u + 1013904223u;
        counts.push_back(i % 7 == 0 ? 0 : (std::uint64_t{r} << (r % 29)) + (r >> 28));
    }
    std::vector<std::uint64_t> lit;
    for (const std::uint64_t c : counts)
        if (c != 0) lit.push_back(c);
    std::sort(lit.begin(), lit.end());
    for (const double p : {50.0, 99.0, 99.9, 100.0})
        EXPECT_EQ(WhiteCount(counts, p), lit[static_cast<std::size_t>(std::ceil(p / 100 * lit.size())) - 1]) << p;
}

// A stop while the memory is set up ends the job before any step, with nothing kept.
TEST(RenderPicture, StopsWhileTheMemoryIsSetUp) {
    std::atomic<bool> stop{true}, ready{false};
    ParallelOptions options;
    options.Stop = &stop;
    options.MemoryReady = &ready;
    options.Threads = 2;  // plain: a layer a thread to set up as well
    for (const bool density : {false, true}) {
        PictureJob job;
        job.Width = 4000;
        job.Height = 3000;
        job.Steps = 1000;
        job.Density = density;
        Picture24 canvas;
        EXPECT_EQ(RenderPicture(*Prepare(Fern()), job, options, canvas).Steps, 0u);
        EXPECT_TRUE(canvas.Empty());
        EXPECT_FALSE(ready.load());
    }
}

// A picture rendered in bands, asked for top down or bottom up, has the
// rows of the whole, byte for byte: plain and density, deep too, the white
// count found over all bands.
TEST(BandedRendering, GivesTheRowsOfTheWhole) {
    for (const Named& object : {AllObjects()[0], AllObjects()[1], AllObjects()[2]}) {
        for (const int kind : {0, 1, 2}) {  // plain, density, density 16-bit
            PictureJob job;
            job.Width = 131;
            job.Height = 97;
            job.Steps = 40009;
            job.Background = MakeColor(9, 8, 7);
            job.Density = kind > 0;
            job.Supersample = job.Density ? 2 : 1;
            job.Bits = kind == 2 ? 16 : 8;
            Picture24 whole;
            DeepPicture deep;
            ParallelOptions one;
            ASSERT_EQ(RenderPicture(*Prepare(object.drawing, job.Supersample), job, one, whole, &deep).Steps, job.Steps);
            for (const auto& [threads, rows, bottomUp] :
                 {std::tuple{1, 1, false}, {2, 10, true}, {3, 33, false}, {2, 96, true}, {1, 97, false}}) {
                SCOPED_TRACE(::testing::Message() << object.name << ", kind " << kind << ", " << threads
                                                  << " threads, bands of " << rows);
                ParallelOptions options = OptionsFor({threads, 3000, 16, 0, false});
                std::atomic<std::uint64_t> done{0};
                options.StepsDone = &done;
                auto prepared = Prepare(object.drawing, job.Supersample);
                BandedRendering banded(*prepared, job, options, rows);
                for (int i = 0; i < job.Height; ++i) {
                    const int y = bottomUp ? job.Height - 1 - i : i;
                    if (job.Deep()) {
                        const std::size_t samples = static_cast<std::size_t>(job.Width) * 3;
                        const std::uint16_t* row = banded.DeepRow(y);
                        ASSERT_TRUE(row);
                        ASSERT_TRUE(std::equal(row, row + samples, deep.Samples.begin() + y * samples)) << "row " << y;
                    } else {
                        const std::uint8_t* row = banded.Row(y);
                        ASSERT_TRUE(row);
                        ASSERT_TRUE(std::equal(row, row + 3 * job.Width, whole.Row(y))) << "row " << y;
                    }
                }
                const int bands = (job.Height + rows - 1) / rows;
                EXPECT_EQ(done.load(), job.Steps * BandRuns(job, bands));
            }
        }
    }
}

// The plan cuts a job that does not fit into the fewest bands of equal height that do.
TEST(PlanBands, TakesTheFewestBandsThatFit) {
    PictureJob job;
    job.Width = 20000;
    job.Height = 13000;
    job.Density = true;
    job.Supersample = 2;
    const ParallelOptions options = OptionsFor({2, 0, 0, 0, false});
    EXPECT_TRUE(PlanBands(job, options, PictureJobBytes(job, options)).Whole);
    const std::uint64_t available = std::uint64_t{2} << 30;
    const BandPlan plan = PlanBands(job, options, available);
    EXPECT_FALSE(plan.Whole);
    EXPECT_LE(BandedJobBytes(job, options, plan.Rows), available);
    EXPECT_GE(plan.Rows * plan.Bands, job.Height);
    EXPECT_GT(BandedJobBytes(job, options, (job.Height + plan.Bands - 2) / (plan.Bands - 1)), available);
    EXPECT_EQ(PlanBands(job, options, 1000).Rows, 0);
}

TEST(ShadeDensity, BrightensWithTheLogarithmOfTheHits) {
    // Pixels: none, one hit of pure red, the most hits (cmax) of grey 200.
    const DensityPicture picture{3, 1, {{}, {1, 0, 0, 255}, {99, 99 * 200, 99 * 200, 99 * 200}}};
    Picture24 out;
    ShadeDensity(picture, MakeColor(10, 20, 30), DensityTone{2.0, 0, 100, 0}, out);
    EXPECT_EQ(out.Pixel(0, 0), MakeColor(10, 20, 30));
    // a = sqrt(ln 2 / ln 100) = 0.3879...: 10 + a * 245 = 105.04, 20 - 20a = 12.24, 30 - 30a = 18.36
    EXPECT_EQ(out.Pixel(1, 0), MakeColor(105, 12, 18));
    EXPECT_EQ(out.Pixel(2, 0), MakeColor(200, 200, 200));
    // One stop brighter: a = 0.7759; the brightest pixel saturates at its colour.
    ShadeDensity(picture, MakeColor(10, 20, 30), DensityTone{2.0, 1, 100, 0}, out);
    EXPECT_EQ(out.Pixel(1, 0), MakeColor(200, 4, 7));  // 10 + 0.7759 * 245 = 200.1, 20 - 15.5, 30 - 23.3
    EXPECT_EQ(out.Pixel(2, 0), MakeColor(200, 200, 200));
    // White point at the dimmer pixel: the bright one lies beyond it (r = 2.58), and
    // highlights 0.5 take it half the way to white: 200 + 0.5 * 55 = 227.5, to even 228.
    ShadeDensity(picture, MakeColor(10, 20, 30), DensityTone{2.0, 0, 50, 0.5}, out);
    EXPECT_EQ(out.Pixel(1, 0), MakeColor(255, 0, 0));
    EXPECT_EQ(out.Pixel(2, 0), MakeColor(228, 228, 228));
}

// 16 bits hold the same values before rounding; alpha holds a over no background.
TEST(ShadeDensity, DeepPicturesKeepTheValuesBeforeRounding) {
    const DensityPicture picture{3, 1, {{}, {1, 0, 0, 255}, {99, 99 * 200, 99 * 200, 99 * 200}}};
    const DensityTone tone{2.0, 0, 100, 0};
    DeepPicture deep;
    ShadeDensityDeep(picture, MakeColor(10, 20, 30), tone, 99, false, 16, deep);
    // red of pixel 1: 10 + 0.38796 * 245 = 105.05 -> 26998 of 65535, not 105 * 257 = 26985
    EXPECT_EQ(deep.Samples[3], 26998);
    EXPECT_EQ(deep.Samples[0], 10 * 257);  // no hits: the background
    EXPECT_EQ(deep.Samples[6], 200 * 257);
    ShadeDensityDeep(picture, MakeColor(10, 20, 30), tone, 99, true, 8, deep);
    EXPECT_EQ(deep.Samples[3], 0);  // no hits: transparent
    EXPECT_EQ((std::vector<std::uint16_t>(deep.Samples.begin() + 4, deep.Samples.end())),
              (std::vector<std::uint16_t>{255, 0, 0, 99, 200, 200, 200, 255}));  // a = 0.38796 -> 98.9
}

// A few bright specks no longer dim the rest: with the white point at 99 %
// the bulk of the picture keeps its brightness.
TEST(ShadeDensity, TheWhitePointIgnoresAFewHotSpots) {
    DensityPicture picture{1000, 1, std::vector<DensityCell>(1000, DensityCell{50, 50 * 255, 0, 0})};
    for (int i = 0; i < 5; ++i) picture.Cells[static_cast<std::size_t>(i)] = {100000, 100000 * 255ull, 0, 0};
    Picture24 out;
    ShadeDensity(picture, clBlack, DensityTone{}, out);
    EXPECT_EQ(out.Pixel(500, 0), MakeColor(0, 0, 255));
    ShadeDensity(picture, clBlack, DensityTone{2.2, 0, 100, 0}, out);
    EXPECT_LT(BlueOf(out.Pixel(500, 0)), 200);  // the largest count as white: dimmed to 61 %
}

// The canvas's view scaled and centred, pixel edges onto pixel edges, halves to even.
TEST(PosterPlacement, ScalesTheViewAndCentresIt) {
    const TTriangle base{TPoint{0, 0}, TPoint{99, 99}, TPoint{1, 3}};
    const TTriangle wide = PosterPlacement(base, 100, 100, 300, 200);  // twice the size, 50 columns each side
    EXPECT_EQ(wide[0].x, 50);   // 50.5
    EXPECT_EQ(wide[0].y, 0);    // 0.5
    EXPECT_EQ(wide[1].x, 248);  // 248.5
    EXPECT_EQ(wide[1].y, 198);
    EXPECT_EQ(wide[2].x, 52);   // 52.5
    EXPECT_EQ(wide[2].y, 6);    // 6.5
    const TTriangle same = PosterPlacement(base, 100, 100, 100, 100);
    EXPECT_EQ(same, base);
    PosterSettings settings;
    settings.Width = 120;
    settings.Height = 90;
    settings.HitsPerPixel = 7;
    EXPECT_EQ(PosterPictureJob(settings).Steps, 7u * 120 * 90);
    // Density memory is the picture's table and a small list a thread, not a picture a thread.
    ParallelOptions one, sixteen;
    sixteen.Threads = 16;
    EXPECT_LT(DensityJobBytes(16384, 16384, 2, sixteen) - DensityJobBytes(16384, 16384, 2, one),
              std::uint64_t{16} * 9 << 20);
    settings.Width = 65537;
    EXPECT_EQ(PosterSettingsProblem(settings), "The width must be from 1 to 65536 pixels.");
}

TEST(MemoryBudget, ReadsTheLimitsAndSaysWhatIsMissing) {
    EXPECT_EQ(ParseMemAvailable("MemTotal:  100 kB\nMemFree: 5 kB\nMemAvailable:   2048 kB\n"), 2048u * 1024);
    EXPECT_EQ(ParseMemAvailable("MemTotal:  100 kB\n"), std::nullopt);
    EXPECT_EQ(ParseStatusField("Name:\tx\nVmSize:\t  12 kB\n", "VmSize:"), 12u * 1024);
    EXPECT_EQ(ParseCgroupPath("12:cpu:/a\n0::/user.slice/x.scope\n"), "/user.slice/x.scope");
    EXPECT_EQ(ParseMemoryMax("max\n"), std::nullopt);
    EXPECT_EQ(ParseMemoryMax("1073741824\n"), 1073741824u);
    EXPECT_EQ(ParseCgroupV1MemoryPath("12:cpu,cpuacct:/a\n4:blkio,memory:/box/1\n0::/x\n"), "/box/1");
    EXPECT_EQ(ParseCgroupV1MemoryPath("0::/user.slice\n"), std::nullopt);
    EXPECT_EQ(ParseMemoryLimitInBytes("1073741824\n"), 1073741824u);
    EXPECT_EQ(ParseMemoryLimitInBytes("9223372036854771712\n"), std::nullopt);
    EXPECT_EQ(CheckMemory(100, MemoryLimit{100, "MemAvailable"}), "");
    EXPECT_EQ(CheckMemory(3u << 30, MemoryLimit{1536u << 20, "RLIMIT_AS"}),
              "the job needs 3.0 GiB of memory, but only 1.5 GiB can be had (RLIMIT_AS)");
    EXPECT_EQ(CheckMemory(1, std::nullopt), "");
}

}  // namespace
}  // namespace fernweave
