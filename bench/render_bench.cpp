// How close the chaos-game loops come to the speed limit of one core.
//
// Each point of the chaos game needs the previous one, so a core can go no
// faster than one map application per step (the "floor" below). The render
// loops add the map choice, the colour, the plotting, the painted bit, the
// stop test and the repaint counter; all of that should hide behind the chain.
// For every object and canvas this measures the floor, RenderDrawn and
// RenderPlaced, and at the end prints their ratios: medians over the
// repetitions, and the best of them (a busy machine only ever slows a run).
//
// By default 5 repetitions, interleaved at random, 0.2 s each; any
// --benchmark_* flag given overrides that. For the raw figures as JSON:
//   render_bench --benchmark_out=runs.json --benchmark_out_format=json
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "drawing.h"
#include "fractal_state.h"
#include "picture.h"
#include "renderer.h"
#include "solver.h"

namespace {

using fernweave::FractalState;
using fernweave::Picture24;
using fernweave::TPoint;
using fernweave::TTriangle;

// Steps per benchmark iteration: long enough to cross many batches and
// several repaints, short enough for many iterations per run.
constexpr std::uint64_t kSteps = std::uint64_t{1} << 22;

struct Canvas {
    int W, H;
};
constexpr Canvas kCanvases[] = {{550, 364}, {1200, 1200}};
constexpr int kMapCounts[] = {2, 4, 120};

struct Pt {
    double x, y;
};

TPoint Round(Pt p) { return {static_cast<std::int32_t>(std::lround(p.x)), static_cast<std::int32_t>(std::lround(p.y))}; }
Pt Lerp(Pt a, Pt b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// An object as the user would click it: the base triangle, then one triangle per map.
struct Drawing {
    std::vector<Pt> base;                 // 3 vertices
    std::vector<std::vector<Pt>> targets; // 3 vertices per map
};

// Two maps: the Heighway dragon, a filled curve spread over the canvas.
Drawing Dragon(const Canvas& c) {
    // In the plane of the dragon: f1(z) = (1+i) z / 2, f2(z) = 1 - (1-i) z / 2,
    // whose attractor spans [-1/3, 7/6] x [-1/3, 2/3].
    const double margin = 12;
    const double scale = std::min((c.W - 2 * margin) / 1.5, (c.H - 2 * margin) / 1.0);
    auto toCanvas = [&](double u, double v) -> Pt {
        return {c.W / 2.0 + scale * (u - 5.0 / 12.0), c.H / 2.0 - scale * (v - 1.0 / 6.0)};
    };
    Drawing d;
    d.base = {toCanvas(0, 0), toCanvas(1, 0), toCanvas(0, 0.5)};
    d.targets = {{toCanvas(0, 0), toCanvas(0.5, 0.5), toCanvas(-0.25, 0.25)},
                 {toCanvas(1, 0), toCanvas(0.5, 0.5), toCanvas(0.75, -0.25)}};
    return d;
}

// The base triangle cut into `cuts` x `cuts` small triangles. With all upright
// ones (cuts = 15 gives 120 maps) it is a Sierpinski-like dust; with the
// upside-down middle one too (cuts = 2) the whole triangle fills.
Drawing SubTriangles(const Canvas& c, int cuts, int mapCount, bool withInverted) {
    const double margin = 12;
    const Pt v1{margin, c.H - margin}, v2{c.W - margin, c.H - margin}, v3{c.W / 2.0, margin};
    Drawing d;
    d.base = {v1, v2, v3};
    auto at = [&](double i, double j) {  // i steps along v1->v3, j along v1->v2
        const Pt a = Lerp(v1, v2, j / cuts);
        return Pt{a.x + (v3.x - v1.x) * i / cuts, a.y + (v3.y - v1.y) * i / cuts};
    };
    for (int i = 0; i < cuts; ++i)
        for (int j = 0; j + i < cuts; ++j)
            d.targets.push_back({at(i, j), at(i, j + 1), at(i + 1, j)});
    if (withInverted) {
        // The middle triangle, turned half round: vertex 1 goes to the top.
        for (int i = 1; i < cuts; ++i)
            for (int j = 0; j + i < cuts; ++j)
                d.targets.push_back({at(i, j + 1), at(i, j), at(i - 1, j + 1)});
    }
    d.targets.resize(static_cast<std::size_t>(mapCount));
    return d;
}

Drawing MakeDrawing(int mapCount, const Canvas& c) {
    switch (mapCount) {
        case 2: return Dragon(c);
        case 4: return SubTriangles(c, 2, 4, true);
        default: return SubTriangles(c, 15, mapCount, false);
    }
}

constexpr fernweave::TColor kPalette[] = {
    fernweave::MakeColor(255, 64, 64),  fernweave::MakeColor(64, 200, 64), fernweave::MakeColor(64, 96, 255),
    fernweave::MakeColor(240, 220, 40), fernweave::MakeColor(200, 64, 220), fernweave::MakeColor(40, 220, 220),
    fernweave::MakeColor(255, 160, 32)};

// A state ready to render, as after a finished drawing. Every third map is
// Diffuse, so the colour rule does real work.
std::unique_ptr<FractalState> PrepareDrawn(int mapCount, const Canvas& c) {
    auto s = std::make_unique<FractalState>();
    s->RandomState = 0x2545F491u;
    const Drawing d = MakeDrawing(mapCount, c);
    const auto triangle = [](const std::vector<Pt>& t) { return TTriangle{Round(t[0]), Round(t[1]), Round(t[2])}; };
    fernweave::TDrawing drawing{triangle(d.base), {}};
    for (const auto& t : d.targets) {
        const int k = static_cast<int>(drawing.Maps.size()) + 1;
        drawing.Maps.push_back({triangle(t), kPalette[k % std::size(kPalette)], k % 3 == 0});
    }
    fernweave::LoadDrawing(*s, drawing);
    s->ResetPaintedBits(static_cast<std::size_t>(c.W) * static_cast<std::size_t>(c.H));
    fernweave::PrepareRendering(*s);
    return s;
}

// The same object imported and placed on a triangle drawn by the user: the
// base triangle mirrored left to right and shrunk a little about the centre.
std::unique_ptr<FractalState> PreparePlaced(int mapCount, const Canvas& c) {
    auto s = PrepareDrawn(mapCount, c);
    const double cx = c.W / 2.0, cy = c.H / 2.0;
    TTriangle placement;
    for (int i = 0; i < 3; ++i) {
        const TPoint b = s->BaseTriangle[static_cast<std::size_t>(i)];
        placement[static_cast<std::size_t>(i)] = Round({cx - 0.9 * (b.x - cx), cy + 0.9 * (b.y - cy)});
    }
    fernweave::PlaceImported(*s, placement);
    fernweave::PrepareRendering(*s);
    return s;
}

struct MapCoefficients {
    double A, B, C, D, E, F;
};

// The point recurrence alone, as RunLoop computes it, over map indices chosen
// beforehand by the same generator and chooser.
void Floor(benchmark::State& st, int mapCount, Canvas c) {
    const auto s = PrepareDrawn(mapCount, c);
    MapCoefficients coeffs[fernweave::MaxMaps + 1] = {};
    for (int k = 1; k <= s->MapCount; ++k) {
        const fernweave::TIfsMap& m = s->Maps[static_cast<std::size_t>(k)];
        coeffs[k] = {m.A, m.B, m.C, m.D, m.E, m.F};
    }
    fernweave::MapChooser chooser;
    chooser.Build(s->Maps, s->MapCount);
    // Small enough to stay in the first-level cache, like the loop's batch.
    constexpr std::size_t kSequence = 8192;
    std::vector<std::uint8_t> mapOf(kSequence);
    std::uint32_t r = s->RandomState;
    for (auto& k : mapOf) {
        r = fernweave::NextRandomState(r);
        k = static_cast<std::uint8_t>(chooser.Choose(r));
    }

    const float startX = static_cast<float>(s->BaseTriangle[0].x);
    const float startY = static_cast<float>(s->BaseTriangle[0].y);
    for (auto _ : st) {
        float x = startX, y = startY;
        for (std::uint64_t done = 0; done < kSteps; done += kSequence) {
            for (std::size_t j = 0; j < kSequence; ++j) {
                const MapCoefficients& m = coeffs[mapOf[j]];
                const double xd = x, yd = y;
                x = static_cast<float>(m.A * xd + m.B * yd + m.C);
                y = static_cast<float>(m.D * xd + m.E * yd + m.F);
            }
        }
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
    }
    st.counters["steps/s"] =
        benchmark::Counter(static_cast<double>(kSteps) * static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

void CountRepaint(void* context) { ++*static_cast<std::uint64_t*>(context); }

template <bool Placed>
void Render(benchmark::State& st, int mapCount, Canvas c) {
    const auto s = Placed ? PreparePlaced(mapCount, c) : PrepareDrawn(mapCount, c);
    Picture24 canvas(c.W, c.H);
    std::uint64_t repaints = 0;
    const fernweave::RepaintRequest repaint{&CountRepaint, &repaints};
    std::uint64_t steps = 0, plotted = 0;
    for (auto _ : st) {
        const fernweave::RenderStats r = Placed ? fernweave::RenderPlaced(*s, canvas, repaint, kSteps)
                                                : fernweave::RenderDrawn(*s, canvas, repaint, kSteps);
        steps += r.Steps;
        plotted += r.Plotted;
    }
    benchmark::DoNotOptimize(canvas.Data());
    st.counters["steps/s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
    // Share of the steps that landed on the canvas: near 1 for a sensible object.
    st.counters["plotted"] = steps ? static_cast<double>(plotted) / static_cast<double>(steps) : 0.0;
    if (steps != kSteps * st.iterations()) st.SkipWithError("the loop stopped early");
}

std::string RowName(int mapCount, Canvas c) {
    return std::to_string(mapCount) + "maps/" + std::to_string(c.W) + "x" + std::to_string(c.H);
}

// Prints every run as usual, then the table of floor, drawn and placed rates
// with their ratios. Several repetitions give medians.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const auto it = run.counters.find("steps/s");
            if (it == run.counters.end()) continue;
            Samples& samples = samples_[run.run_name.function_name];
            if (run.run_type == Run::RT_Iteration)
                samples.each.push_back(it->second.value);
            else if (run.aggregate_name == "median")
                samples.median = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        GetOutputStream().flush();
        PrintTable(out, "Median", &SummaryReporter::Median);
        PrintTable(out, "Best", &SummaryReporter::Best);
        std::fflush(out);
    }

private:
    struct Samples {
        std::vector<double> each;
        double median = 0;
    };

    using Statistic = double (SummaryReporter::*)(const std::string&) const;

    void PrintTable(std::FILE* out, const char* title, Statistic statistic) const {
        std::fprintf(out, "\n%s of %zu run(s):\n", title, Runs());
        std::fprintf(out, "%-5s %-10s %16s %16s %16s %12s %12s\n", "maps", "canvas", "floor steps/s", "drawn steps/s",
                     "placed steps/s", "ratio drawn", "ratio placed");
        for (int n : kMapCounts) {
            for (const Canvas& c : kCanvases) {
                const std::string row = RowName(n, c);
                const double floor = (this->*statistic)("floor/" + row);
                const double drawn = (this->*statistic)("drawn/" + row);
                const double placed = (this->*statistic)("placed/" + row);
                if (floor == 0 && drawn == 0 && placed == 0) continue;  // filtered out
                const std::string canvas = std::to_string(c.W) + "x" + std::to_string(c.H);
                std::fprintf(out, "%-5d %-10s %15.1fM %15.1fM %15.1fM %12s %12s\n", n, canvas.c_str(), floor / 1e6,
                             drawn / 1e6, placed / 1e6, Ratio(drawn, floor).c_str(), Ratio(placed, floor).c_str());
            }
        }
    }

    std::size_t Runs() const {
        std::size_t runs = 0;
        for (const auto& [name, samples] : samples_) runs = std::max(runs, samples.each.size());
        return runs;
    }

    double Best(const std::string& name) const {
        const auto it = samples_.find(name);
        if (it == samples_.end()) return 0;
        const std::vector<double>& v = it->second.each;
        return v.empty() ? it->second.median : *std::max_element(v.begin(), v.end());
    }

    double Median(const std::string& name) const {
        const auto it = samples_.find(name);
        if (it == samples_.end()) return 0;
        std::vector<double> v = it->second.each;
        if (v.empty()) return it->second.median;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }

    static std::string Ratio(double value, double floor) {
        if (value == 0 || floor == 0) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", value / floor);
        return text;
    }

    std::map<std::string, Samples> samples_;
};

}  // namespace

int main(int argc, char** argv) {
    // Defaults first, so that the same flags on the command line win.
    std::vector<char*> args{argv[0]};
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char minTime[] = "--benchmark_min_time=0.2";
    args.insert(args.end(), {repetitions, interleave, minTime});
    args.insert(args.end(), argv + 1, argv + argc);
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    for (int n : kMapCounts) {
        for (const Canvas& c : kCanvases) {
            const std::string row = RowName(n, c);
            benchmark::RegisterBenchmark(("floor/" + row).c_str(), Floor, n, c)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("drawn/" + row).c_str(), Render<false>, n, c)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("placed/" + row).c_str(), Render<true>, n, c)->Unit(benchmark::kMillisecond);
        }
    }
    SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                   : benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
