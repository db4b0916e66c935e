// The paced display path: how a picture that a worker thread draws into gets
// onto the screen without slowing the worker down.
//
//   TFrameClock clock(widget);           // on the user-interface thread
//   worker:  clock.WorkerRepaint() as its RepaintRequest (or clock.MarkDirty()
//            from any thread): it only marks the display dirty, never posts,
//            never waits
//   clock.BeforeFrame = [...] { ... };   // optional: e.g. take the newest frame
//   clock.Start();   when the work begins: frames at most at the screen's
//                    refresh rate, and at least every 50 ms even when clean
//   clock.Finish();  when it ends: one last frame at once, then the clock rests
//   paintEvent:      PaintPicture24(painter, event->region(), picture, scratch_)
//
// A dirty mark while the clock rests gives one frame at the next tick.
#pragma once

#include <QObject>
#include <QRegion>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "picture.h"
#include "renderer.h"

class QImage;
class QPainter;
class QTimer;
class QWidget;

namespace fernweave {

// The gap between frames, in milliseconds: at most the refresh rate (60 Hz
// when refreshHz is not a usable rate), slower where painting one frame costs
// more than its share of a core, but never slower than 25 Hz.
int FrameInterval(double refreshHz, double paintCostMs);

// The longest gap between two frames while the clock runs, dirty or not.
constexpr int MaxFrameGapMs = 50;
// The slowest tick: 25 Hz, leaving room for a late tick on a busy machine.
constexpr int SlowestFrameIntervalMs = 40;
// The share of one core that painting may take before the rate falls.
constexpr double PaintShare = 0.06;

class TFrameClock : public QObject {
public:
    explicit TFrameClock(QWidget* target);

    // Any thread: the display shows something old. One relaxed store while the clock runs.
    void MarkDirty();
    RepaintRequest WorkerRepaint() { return {&TFrameClock::MarkDirtyFrom, this}; }

    void Start();
    void Finish();
    bool Running() const { return running_; }
    // The clock ticks (while running, or to show a dirty mark made while resting).
    bool Ticking() const;

    // Runs before each frame, on the user-interface thread.
    std::function<void()> BeforeFrame;

private:
    static void MarkDirtyFrom(void* self) { static_cast<TFrameClock*>(self)->MarkDirty(); }
    void Wake();
    void Tick();
    void Frame();

    QWidget* target_;
    QTimer* timer_;
    std::atomic<bool> dirty_{false};
    std::atomic<bool> ticking_{false};
    std::atomic<bool> wakePosted_{false};
    bool running_ = false;
    int interval_ = 17;
    double paintCostMs_ = 0;  // smoothed thread time of one frame
    std::chrono::steady_clock::time_point lastFrame_{};
};

// Paints the parts of `region` that lie on the picture, pixel for pixel at
// the origin, through a 32-bit copy of just those parts (kept in `scratch`
// between paints): the cheapest way here from the 24-bit picture to the screen.
void PaintPicture24(QPainter& painter, const QRegion& region, const Picture24& picture, QImage& scratch);

}  // namespace fernweave
