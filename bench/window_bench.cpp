// Whether the render worker keeps its core while the window is shown (not a
// test). For each canvas, 550 x 364 and 1200 x 1200, it renders the fern for a
// fixed time headless and then in the real window, sized to show the whole
// canvas, and prints: the worker's share of one core, the share of every
// other thread of the process together, the worker's steps per second in the
// window against headless, and the gaps between the canvas's frames.
// Run it through scripts/window_bench.sh (Xvfb, a 1920 x 1440 screen):
//   fernweave_window_bench [seconds per run, default 10]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <unistd.h>
#include <vector>

#include "canvas_document.h"
#include "canvas_image.h"
#include "dialogs.h"
#include "fractal_state.h"
#include "main_window.h"
#include "renderer.h"
#include "strokes.h"

namespace {

using namespace fernweave;
using Clock = std::chrono::steady_clock;

// The fern of the samples, drawn for 550 x 364, scaled to the canvas.
const int FernPoints[] = {187, 354, 374, 354, 275, 7,   273, 354, 277, 354, 275, 299, 200, 296, 359, 304,
                          289, 5,   257, 320, 295, 277, 185, 223, 288, 362, 260, 313, 372, 256};
const TColor FernColors[] = {0x2B5A8A, 0x4DA33F, 0x42C27C, 0x2F9E5E};

void DrawFern(FractalState& s, int W, int H) {
    s.BeginDrawing();
    for (int i = 0; i < 15; ++i) {
        const int map = i / 3 - 1;  // -1: the base
        s.AddPoint(FernPoints[2 * i] * W / 550, FernPoints[2 * i + 1] * H / 364, map < 0 ? clWhite : FernColors[map],
                   map == 0);
    }
}

// CPU time of every thread of this process, in clock ticks, by thread id.
std::map<int, long> ThreadTicks() {
    std::map<int, long> ticks;
    for (const QString& tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/self/task/" + tid + "/stat");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = f.readAll();
        // Fields after the command name in parentheses: utime and stime are 14 and 15.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13) ticks[tid.toInt()] = fields[11].toLong() + fields[12].toLong();
    }
    return ticks;
}

struct WindowRun {
    double workerShare = 0, othersShare = 0, stepsPerSecond = 0;
    std::vector<double> gapsMs;
    bool wholeCanvasShown = false;
};

double StepsPerSecondHeadless(int W, int H, int seconds) {
    FractalState s;
    Picture24 canvas(W, H);
    s.ResetPaintedBits(static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    DrawFern(s, W, H);
    PrepareRendering(s);
    s.Rendering = true;
    s.StopRequested = false;
    std::thread worker([&] { RunPreparedLoop(s, canvas, {}); });
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const std::uint64_t steps = s.StepsRendered.load();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    s.StopRequested = true;
    worker.join();
    return static_cast<double>(steps) / elapsed;
}

class TPaintTimes : public QObject {
public:
    std::vector<Clock::time_point> times;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) times.push_back(Clock::now());
        return false;
    }
};

WindowRun RunInWindow(QApplication& app, int W, int H, int seconds) {
    FractalState state;
    TQtDialogs dialogs;
    TfrmMain window(state, dialogs);
    window.Document().NewPicture(Picture24(W, H), TResolution{72, 72});
    window.CenterCanvas();
    window.move(0, 0);
    window.resize(std::min(1900, W + 300), std::min(1420, H + 220));
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 50);

    WindowRun run;
    QWidget* canvas = window.findChild<QWidget*>("imgPaint");
    run.wholeCanvasShown = canvas->visibleRegion() == QRegion(canvas->rect());
    TPaintTimes paints;
    canvas->installEventFilter(&paints);

    DrawFern(state, W, H);
    const std::map<int, long> before = ThreadTicks();
    const auto start = Clock::now();
    QMetaObject::invokeMethod(&window, "mnuRenderStartClick");
    std::uint64_t steps = 0;
    QTimer::singleShot(seconds * 1000, &app, [&] {
        steps = state.StepsRendered.load();
        app.exit();
    });
    app.exec();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const std::map<int, long> after = ThreadTicks();
    QMetaObject::invokeMethod(&window, "mnuRenderStopClick");
    while (window.RenderActive()) app.processEvents(QEventLoop::AllEvents, 50);
    canvas->removeEventFilter(&paints);
    window.Document().FSaved = true;

    // The worker is the thread that was not there before the start and ran most.
    const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
    long workerTicks = 0, otherTicks = 0;
    int worker = 0;
    for (const auto& [tid, t] : after)
        if (!before.count(tid) && t > workerTicks) {
            workerTicks = t;
            worker = tid;
        }
    for (const auto& [tid, t] : after)
        if (tid != worker) otherTicks += t - (before.count(tid) ? before.at(tid) : 0);
    run.workerShare = static_cast<double>(workerTicks) / hz / elapsed;
    run.othersShare = static_cast<double>(otherTicks) / hz / elapsed;
    run.stepsPerSecond = static_cast<double>(steps) / elapsed;
    for (std::size_t i = 1; i < paints.times.size(); ++i)
        if (paints.times[i] - start < std::chrono::seconds(seconds))
            run.gapsMs.push_back(std::chrono::duration<double, std::milli>(paints.times[i] - paints.times[i - 1]).count());
    return run;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    const QScreen* screen = QGuiApplication::primaryScreen();
    std::printf("screen %dx%d at %.0f Hz; %d s per run; CPU shares in units of one core\n",
                screen ? screen->size().width() : 0, screen ? screen->size().height() : 0,
                screen ? screen->refreshRate() : 0.0, seconds);
    std::printf("%-10s %7s %7s %12s %12s %7s %7s %8s %8s\n", "canvas", "worker", "others", "steps/s win",
                "headless", "ratio", "frames", "gap max", "gap p95");
    for (const auto& [W, H] : {std::pair{550, 364}, std::pair{1200, 1200}}) {
        const double headlessBefore = StepsPerSecondHeadless(W, H, seconds);
        WindowRun run = RunInWindow(app, W, H, seconds);
        const double headlessAfter = StepsPerSecondHeadless(W, H, seconds);
        const double headless = (headlessBefore + headlessAfter) / 2;
        std::sort(run.gapsMs.begin(), run.gapsMs.end());
        const double gapMax = run.gapsMs.empty() ? 0 : run.gapsMs.back();
        const double gap95 = run.gapsMs.empty() ? 0 : run.gapsMs[run.gapsMs.size() * 95 / 100];
        std::printf("%4dx%-5d %7.3f %7.3f %12.4g %12.4g %7.3f %7zu %6.1fms %6.1fms%s\n", W, H, run.workerShare,
                    run.othersShare, run.stepsPerSecond, headless, run.stepsPerSecond / headless,
                    run.gapsMs.size() + 1, gapMax, gap95, run.wholeCanvasShown ? "" : "  (canvas not wholly shown)");
    }
    return 0;
}
