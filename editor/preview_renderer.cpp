#include "preview_renderer.h"

#include <algorithm>

#include "renderer.h"

namespace fernweave {

// The game of one change, seen from the repaint requests of its loop.
struct TPreviewRenderer::Running {
    TPreviewRenderer* Owner;
    FractalState State;
    Picture24 Frame;
    std::uint64_t Change;
    std::uint64_t Requests = 0;
    std::chrono::steady_clock::time_point Deadline;
    std::chrono::steady_clock::time_point LastFrame{};
    bool Shown = false;
};

TPreviewRenderer::TPreviewRenderer(FrameReady ready, TPreviewLimits limits)
    : TWorker({}), ready_(std::move(ready)), limits_(limits) {
    Start([this] { Run(); });
}

void TPreviewRenderer::Cancel() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        if (running_) running_->State.StopRequested = true;
    }
    wake_.notify_all();
}

std::uint64_t TPreviewRenderer::Submit(const TDrawing& object, std::shared_ptr<const Picture24> background) {
    std::uint64_t change;
    {
        std::lock_guard lock(mutex_);
        change = ++changes_;
        pending_ = Job{change, object, std::move(background)};
        if (running_) running_->State.StopRequested = true;
    }
    wake_.notify_all();
    return change;
}

bool TPreviewRenderer::TakeFrame(Picture24& into, std::uint64_t& seen, TPreviewFrameInfo* info) {
    std::lock_guard lock(frameMutex_);
    if (serial_ == seen) return false;
    into = published_;
    seen = serial_;
    if (info) *info = publishedInfo_;
    return true;
}

bool TPreviewRenderer::WaitFinished(std::uint64_t change, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [&] { return finishedChange_ >= change; });
}

void TPreviewRenderer::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || pending_.has_value(); });
            if (quit_) return;
            job = std::move(*pending_);
            pending_.reset();
        }
        RunJob(std::move(job));
    }
}

void TPreviewRenderer::RunJob(Job job) {
    auto run = std::make_unique<Running>();
    run->Owner = this;
    run->Change = job.Change;
    run->Frame = job.Background ? *job.Background : Picture24();
    // The clicks of a drawing into a fresh state: what fernweave-render does with a text drawing.
    LoadDrawing(run->State, job.Object);
    run->State.ResetPaintedBits(static_cast<std::size_t>(run->Frame.Width()) *
                                static_cast<std::size_t>(run->Frame.Height()));
    run->Deadline = std::chrono::steady_clock::now() + limits_.MaxTime;
    {
        std::lock_guard lock(mutex_);
        if (quit_ || pending_) return;  // already overtaken
        running_ = run.get();
    }
    RenderStats stats;
    if (run->State.MapCount > 0) stats = RenderObject(run->State, run->Frame, RepaintRequest{&OnRepaint, run.get()}, limits_.MaxSteps);
    bool cancelled;
    {
        std::lock_guard lock(mutex_);
        running_ = nullptr;
        cancelled = pending_.has_value() || quit_;
    }
    if (cancelled) return;
    Publish(run->Frame, {run->Change, stats.Plotted, stats.Steps, true});
    {
        std::lock_guard lock(mutex_);
        finishedChange_ = run->Change;
    }
    wake_.notify_all();
}

void TPreviewRenderer::OnRepaint(void* context) {
    auto* run = static_cast<Running*>(context);
    TPreviewRenderer* self = run->Owner;
    // The loop asks after 2000 plotted points, then after every 10000 more.
    ++run->Requests;
    const std::uint64_t plotted = 2000 + (run->Requests - 1) * 10000;
    const auto now = std::chrono::steady_clock::now();
    if (now >= run->Deadline) run->State.StopRequested = true;
    if (plotted < self->limits_.FramePoints) return;
    if (run->Shown && now - run->LastFrame < self->limits_.FrameGap) return;
    run->Shown = true;
    run->LastFrame = now;
    self->Publish(run->Frame, {run->Change, plotted, 0, false});
}

void TPreviewRenderer::Publish(const Picture24& frame, const TPreviewFrameInfo& info) {
    {
        std::lock_guard lock(frameMutex_);
        if (published_.Width() == frame.Width() && published_.Height() == frame.Height())
            std::copy(frame.Data(), frame.Data() + frame.ByteSize(), published_.Data());
        else
            published_ = frame;
        publishedInfo_ = info;
        ++serial_;
    }
    if (ready_) ready_();
}

}  // namespace fernweave
