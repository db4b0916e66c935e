// The window's use of the render worker and the save worker, without Qt, for
// ThreadSanitizer: a user-interface thread (the test's own) with a small queue
// of posted calls standing in for Qt's queued connections, and many rendering
// cycles in the orders the window allows: start and stop, stop at once, a
// stop racing the natural end, Undo and Redo between renderings, saves that
// run beside a rendering, an export and an import. Repaint requests are
// coalesced as the canvas widget does, and each shown repaint reads the canvas
// while the worker writes it: the one race the design accepts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "drawing.h"
#include "object_file.h"
#include "canvas_document.h"
#include "render_worker.h"
#include "resolution.h"
#include "renderer.h"
#include "save_worker.h"
#include "strokes.h"

namespace fernweave {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long any one wait may take before the test gives up on it.
constexpr auto WaitLimit = std::chrono::seconds(60);

// Posted calls, run in order on the user-interface thread.
class UiQueue {
public:
    void Post(std::function<void()> call) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        wake_.notify_one();
    }

    // Runs posted calls until `done` holds. False when the limit passed first.
    bool RunUntil(const std::function<bool()>& done) {
        const auto deadline = Clock::now() + WaitLimit;
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!wake_.wait_until(lock, deadline, [&] { return !calls_.empty(); })) return false;
            auto call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
        }
        return true;
    }

    // Runs whatever is waiting now, without blocking.
    void RunPending() {
        for (;;) {
            std::unique_lock lock(mutex_);
            if (calls_.empty()) return;
            auto call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> calls_;
};

// What showing the canvas costs the window: every pixel byte is read, as
// QPainter::drawImage reads the buffer it wraps. While a rendering runs the
// worker writes the same bytes; tsan.supp names this function for that race.
// Never inlined, so that the name is on the stack of every report.
__attribute__((noinline)) std::uint64_t DisplayReadsCanvasWhileRendering(const Picture24& canvas) {
    std::uint64_t sum = 0;
    for (int y = 0; y < canvas.Height(); ++y) {
        const std::uint8_t* row = canvas.Row(y);
        for (std::size_t i = 0; i < 3 * static_cast<std::size_t>(canvas.Width()); ++i) sum += row[i];
    }
    return sum;
}

enum class CycleKind {
    StopAfterRepaint,   // runs until a repaint was shown, then Stop
    StopAtOnce,         // Stop right after the start
    StepLimitRace,      // a few steps: the worker ends on its own as Stop arrives
    SaveWhileRendering, // a save of the canvas runs beside the rendering
    ExportWhileRendering,
    ImportAndPlace,     // an imported object placed on a drawn triangle
    Count
};

struct Counts {
    int Cycles = 0;
    int ByKind[static_cast<int>(CycleKind::Count)] = {};
    int RepaintsShown = 0;
    int RenderEnds = 0;
    int Undos = 0;
    int Redos = 0;
    int SavesStarted = 0;
    int SavesWritten = 0;
    int SavesFailed = 0;
    std::uint64_t DisplaySum = 0;  // kept, so that the reads are not optimised away
};

// The parts of TfrmMain that the worker and the save worker meet.
class Window {
public:
    explicit Window(fs::path dir) : dir_(std::move(dir)) {
        document_.NewPicture(Picture24(CanvasWidth, CanvasHeight, BackColor), {});
    }

    // The saves end first; then, as in the window's destructor, workers_ stops a rendering still running.
    ~Window() {
        ui_.RunUntil([&] { return !workers_.Find<TSavePicture>(); });
    }

    Counts counts;

    // --- drawing, as the canvas clicks do ---

    void Draw(int variant) {
        const int d = variant % 5;
        state_.BeginDrawing();
        Click(80, 4 + d, clWhite);
        Click(4, 116, clWhite);
        Click(156 - d, 116, clWhite);
        Click(80, 4 + d, MakeColor(255, 64, 64), true);
        Click(42, 60, MakeColor(255, 64, 64), true);
        Click(118, 60, MakeColor(255, 64, 64), true);
        Click(42, 60, MakeColor(64, 255, 64), variant % 2 == 0);
        Click(4, 116, MakeColor(64, 255, 64));
        Click(80, 116, MakeColor(64, 255, 64));
        Click(118, 60, MakeColor(64, 128, 255), true);
        Click(80, 116, MakeColor(64, 128, 255));
        Click(156 - d, 116, MakeColor(64, 128, 255));
    }

    // mnuFileImportClick and the placement triangle after it.
    bool ImportAndPlace(const std::string& file) {
        state_.SaveObject();
        if (!ReadObjectFile(state_, file)) {
            state_.RestoreSavedObject();
            return false;
        }
        PlaceImported(state_, {TPoint{150, 10}, TPoint{10, 20}, TPoint{90, 110}});
        return true;
    }

    // --- rendering, as StartRendering, RenderDone and mnuEditUndoClick do ---

    void StartRendering(std::uint64_t maxSteps = Unlimited) {
        // A drawing ends with a map triangle; an import with its placement triangle.
        ASSERT_TRUE(state_.CanStartRendering() || (state_.PointCount == 3 && state_.ObjectImported));
        ASSERT_FALSE(workers_.Find<TRender>());
        DrawObjectOutline(canvas_, state_);
        document_.BeginRendering(true);
        state_.Rendering = true;
        state_.StopRequested = false;
        state_.PointCount = 0;
        state_.UsedColorCount = 0;
        PrepareRendering(state_);
        ended_ = false;
        workers_.Start<TRender>(
            [&](TWorker::EndNotice notice) {
                return std::make_unique<TRender>(state_, canvas_, RepaintRequest{&Window::RepaintFromWorker, this},
                                                 std::move(notice), maxSteps);
            },
            [this](TRender& ended) { RenderDone(ended); });
    }

    void Stop() { state_.StopRequested = true; }

    bool WaitForEnd() { return ui_.RunUntil([&] { return ended_; }); }

    // True when a repaint was shown (or the rendering ended) in time.
    bool WaitForRepaint() {
        const int before = counts.RepaintsShown;
        return ui_.RunUntil([&] { return counts.RepaintsShown > before || ended_; });
    }

    void Undo() {
        ASSERT_FALSE(state_.Rendering.load());
        document_.SwapWithUndoSlot(BackColor);
        Show();
    }

    // --- files ---

    // SavePicture: a copy of the picture goes to its own thread. The window
    // saves only while idle, from the canvas; while a rendering runs, the test
    // saves the picture as the rendering began (the Undo slot's), which the
    // worker never touches.
    void SavePicture(const std::string& file, int format, FileWriter writer = {}) {
        SavePictureOf(Rendering() ? state_.UndoBitmap : canvas_, file, format, writer);
    }
    void SavePictureOf(const Picture24& picture, const std::string& file, int format, FileWriter writer) {
        ++counts.SavesStarted;
        workers_.Start<TSavePicture>(
            [&](TWorker::EndNotice notice) {
                return std::make_unique<TSavePicture>(picture, file, format, PackResolution({96, 96}), 75,
                                                      std::move(notice), writer);
            },
            [this](TSavePicture& ended) { SaveDone(ended); });
    }

    // The export command, which the window allows while a rendering runs.
    bool Export(const std::string& file) { return WriteObjectFile(state_, file); }

    bool WaitForSaves() { return ui_.RunUntil([&] { return !workers_.Find<TSavePicture>(); }); }

    const FractalState& State() const { return state_; }
    bool Rendering() const { return state_.Rendering.load(); }

private:
    static constexpr int CanvasWidth = 160;
    static constexpr int CanvasHeight = 120;
    static constexpr TColor BackColor = clBlack;

    void Click(int x, int y, TColor color, bool diffuse = true) {
        if (state_.AddPoint(x, y, color, diffuse)) state_.RecordMapColor();
    }

    // TCanvasImage::RepaintFromWorker: only a false-to-true change posts.
    static void RepaintFromWorker(void* self) {
        auto* me = static_cast<Window*>(self);
        if (me->repaintPending_.exchange(true)) return;
        me->ui_.Post([me] {
            me->repaintPending_.store(false);
            me->Show();
            ++me->counts.RepaintsShown;
        });
    }

    void Show() { counts.DisplaySum += DisplayReadsCanvasWhileRendering(canvas_); }

    void RenderDone(TRender& ended) {
        workers_.Release(ended);
        EXPECT_FALSE(state_.Rendering.load());
        ++counts.RenderEnds;
        ended_ = true;
        Show();  // the points plotted since the last repaint
    }

    // SaveDoneNotify: the worker that sent the notice is let go.
    void SaveDone(TSavePicture& ended) {
        ++(ended.Written() ? counts.SavesWritten : counts.SavesFailed);
        workers_.Release(ended);
    }

    fs::path dir_;
    UiQueue ui_;
    FractalState state_;
    TCanvasDocument document_{state_};
    Picture24& canvas_ = document_.Picture();
    TWorkerHost workers_{[this](std::function<void()> call) { ui_.Post(std::move(call)); }};
    std::atomic<bool> repaintPending_{false};
    bool ended_ = true;
};

// A full disk, for saves that fail.
bool FullDisk(int, const std::uint8_t*, std::size_t) {
    errno = ENOSPC;
    return false;
}

int CyclesToRun() {
    if (const char* text = std::getenv("FERNWEAVE_STRESS_CYCLES")) {
        const int n = std::atoi(text);
        if (n > 0) return n;
    }
    return 500;
}

class RenderStress : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/fernweave-stress-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST_F(RenderStress, StartStopUndoRedoAndSavesBesideTheWorker) {
    const int cycles = CyclesToRun();
    const auto started = Clock::now();
    Counts counts;
    {
        Window w(dir);
        const std::string objectFile = (dir / "object.ifs").string();
        const std::string throughFile = (dir / "object.ifs" / "picture.bmp").string();  // cannot be created

        for (int i = 0; i < cycles && !HasFailure(); ++i) {
            const auto kind = static_cast<CycleKind>(i % static_cast<int>(CycleKind::Count));
            ++w.counts.ByKind[static_cast<int>(kind)];

            if (kind == CycleKind::ImportAndPlace && fs::exists(objectFile)) {
                ASSERT_TRUE(w.ImportAndPlace(objectFile));
            } else {
                w.Draw(i);
            }
            // A save started before Start is still running when the worker starts.
            if (i % 4 == 1) w.SavePicture((dir / "before.bmp").string(), FormatBmp);

            switch (kind) {
                case CycleKind::StopAfterRepaint:
                case CycleKind::ImportAndPlace:
                    w.StartRendering();
                    ASSERT_TRUE(w.WaitForRepaint()) << "cycle " << i << ": no repaint in time";
                    w.Stop();
                    break;
                case CycleKind::StopAtOnce:
                    w.StartRendering();
                    w.Stop();
                    break;
                case CycleKind::StepLimitRace:
                    w.StartRendering(static_cast<std::uint64_t>(i % 97));
                    if (i % 3 != 0) std::this_thread::yield();
                    w.Stop();
                    break;
                case CycleKind::SaveWhileRendering: {
                    w.StartRendering();
                    const int format = i % 2 == 0 ? FormatJpeg : FormatBmp;
                    const std::string file = (dir / (format == FormatJpeg ? "during.jpg" : "during.bmp")).string();
                    if (i % 5 == 0)
                        w.SavePicture(throughFile, format);
                    else if (i % 7 == 0)
                        w.SavePicture(file, format, FileWriter{FullDisk});
                    else
                        w.SavePicture(file, format);
                    ASSERT_TRUE(w.WaitForRepaint());
                    w.Stop();
                    break;
                }
                case CycleKind::ExportWhileRendering: {
                    w.StartRendering();
                    const TIfsObject before = w.State().CurrentObject();
                    ASSERT_TRUE(w.WaitForRepaint());
                    EXPECT_TRUE(w.Export(objectFile));
                    EXPECT_EQ(w.State().CurrentObject().MapCount, before.MapCount);
                    w.Stop();
                    break;
                }
                case CycleKind::Count:
                    break;
            }
            ASSERT_TRUE(w.WaitForEnd()) << "cycle " << i << ": the end notice did not arrive";
            ASSERT_FALSE(w.Rendering());

            // Undo, and every other time Redo as well.
            w.Undo();
            ++w.counts.Undos;
            if (i % 2 == 0) {
                w.Undo();
                ++w.counts.Redos;
            }
            ++w.counts.Cycles;
        }
        EXPECT_TRUE(w.WaitForSaves());
        counts = w.counts;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    EXPECT_EQ(counts.Cycles, cycles);
    EXPECT_EQ(counts.RenderEnds, cycles);
    EXPECT_EQ(counts.SavesWritten + counts.SavesFailed, counts.SavesStarted);
    std::printf(
        "stress: %d start/stop cycles in %.1f s (%d stop after a repaint, %d stop at once, %d step limit, "
        "%d save while rendering, %d export while rendering, %d import), %d repaints shown, %d undos, "
        "%d redos, %d saves (%d written, %d failed as intended)\n",
        counts.Cycles, seconds, counts.ByKind[0], counts.ByKind[1], counts.ByKind[2], counts.ByKind[3],
        counts.ByKind[4], counts.ByKind[5], counts.RepaintsShown, counts.Undos, counts.Redos,
        counts.SavesStarted, counts.SavesWritten, counts.SavesFailed);
    RecordProperty("cycles", counts.Cycles);
}

}  // namespace
}  // namespace fernweave
