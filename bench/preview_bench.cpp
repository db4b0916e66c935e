// Frames per second of the object editor's live preview while a vertex is
// dragged: each frame is a new change (the vertex one pixel further), which
// cancels the game in progress; a frame counts once the preview has shown
// the change with its first 2 million plotted points. Run on 550 x 364 and
// 1200 x 1200 canvases for a few seconds each. Built, never run as a test.
//   preview_bench [seconds per canvas]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "object_edit_model.h"
#include "preview_renderer.h"

using namespace fernweave;
using Clock = std::chrono::steady_clock;

namespace {

// A fern of four maps, drawn to fill a canvas of the given size.
TDrawing Fern(int w, int h) {
    auto at = [&](double x, double y) { return TPoint{static_cast<int>(x * w), static_cast<int>(y * h)}; };
    TDrawing o;
    o.Base = {at(0.30, 0.95), at(0.70, 0.95), at(0.50, 0.05)};
    o.Maps = {{{at(0.34, 0.88), at(0.68, 0.90), at(0.52, 0.12)}, MakeColor(40, 200, 60), true},
              {{at(0.49, 0.95), at(0.51, 0.95), at(0.50, 0.80)}, MakeColor(120, 90, 40), true},
              {{at(0.50, 0.70), at(0.50, 0.55), at(0.25, 0.50)}, MakeColor(60, 220, 90), true},
              {{at(0.50, 0.75), at(0.50, 0.60), at(0.75, 0.55)}, MakeColor(60, 220, 90), true}};
    return o;
}

void Measure(int w, int h, double seconds) {
    std::mutex m;
    std::condition_variable cv;
    std::uint64_t published = 0;
    TPreviewRenderer preview([&] {
        std::lock_guard lock(m);
        ++published;
        cv.notify_all();
    });
    auto background = std::make_shared<const Picture24>(w, h, clBlack);
    TDrawing object = Fern(w, h);
    Picture24 frame;
    std::uint64_t seen = 0;
    std::vector<double> gaps;
    const auto start = Clock::now();
    auto last = start;
    int frames = 0, dx = 1;
    std::uint64_t plotted = 0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        TPoint& v = object.Maps[0].Triangle[2];
        if (v.x > w / 2 + 20 || v.x < w / 2 - 20) dx = -dx;
        v.x += dx;
        const std::uint64_t change = preview.Submit(object, background);
        for (;;) {
            {
                std::unique_lock lock(m);
                cv.wait(lock, [&] { return published > 0; });
                published = 0;
            }
            TPreviewFrameInfo info;
            if (preview.TakeFrame(frame, seen, &info) && info.Change == change) {
                plotted += info.Plotted;
                break;
            }
        }
        const auto now = Clock::now();
        gaps.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        ++frames;
    }
    const double elapsed = std::chrono::duration<double>(last - start).count();
    std::sort(gaps.begin(), gaps.end());
    std::printf("%4d x %-4d  %6.1f frames/s  %5.2f M points a frame  frame time median %5.1f ms, 95th %5.1f ms, max %5.1f ms\n",
                w, h, frames / elapsed, plotted / 1e6 / frames, gaps[gaps.size() / 2], gaps[gaps.size() * 95 / 100],
                gaps.back());
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    Measure(550, 364, seconds);
    Measure(1200, 1200, seconds);
    return 0;
}
