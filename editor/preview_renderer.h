// The object editor's live preview: a chaos game of the edited object on a
// thread of its own, with its own engine state and its own generator starting
// at 0, so the program's own object and generator stay untouched. Each change
// cancels the frame in progress and starts afresh; while nothing changes the
// game goes on, converging to the finished picture, until a time or step
// ceiling lets the core rest.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "object_edit_model.h"
#include "picture.h"
#include "worker.h"

namespace fernweave {

struct TPreviewLimits {
    std::uint64_t MaxSteps = 1'000'000'000;  // per change
    std::chrono::milliseconds MaxTime{10'000};  // per change
    // A frame is shown once it holds this many plotted points, or when the game ends.
    std::uint64_t FramePoints = 2'000'000;
    // Between two frames of one change, so that copying never crowds out the game.
    std::chrono::milliseconds FrameGap{15};
};

struct TPreviewFrameInfo {
    std::uint64_t Change = 0;   // the Submit it belongs to, counted from 1
    std::uint64_t Plotted = 0;  // at least; the exact count once Finished
    std::uint64_t Steps = 0;    // known once Finished
    bool Finished = false;      // the game of this change has ended (ceiling reached)
};

class TPreviewRenderer : public TWorker {
public:
    // Called on the preview thread when a new frame is ready: it must only hand
    // that news over (mark a display dirty), never paint.
    using FrameReady = std::function<void()>;

    // Runs until cancelled, with no end notice: it ends with its dialog.
    explicit TPreviewRenderer(FrameReady ready = {}, TPreviewLimits limits = {});
    ~TPreviewRenderer() override { Stop(); }
    void Cancel() override;

    // A change: the game in progress is cancelled and a fresh one of `object`
    // starts on a copy of `background`. Returns the change's number.
    std::uint64_t Submit(const TDrawing& object, std::shared_ptr<const Picture24> background);

    // Copies the newest frame into `into` when it is newer than `seen` (a
    // frame serial, 0 at first) and updates `seen`. False when nothing new.
    bool TakeFrame(Picture24& into, std::uint64_t& seen, TPreviewFrameInfo* info = nullptr);

    // Waits until the game of `change` has ended or `timeout` passed.
    bool WaitFinished(std::uint64_t change, std::chrono::milliseconds timeout);

private:
    struct Job {
        std::uint64_t Change = 0;
        TDrawing Object;
        std::shared_ptr<const Picture24> Background;
    };
    struct Running;

    void Run();
    void RunJob(Job job);
    static void OnRepaint(void* context);
    void Publish(const Picture24& frame, const TPreviewFrameInfo& info);

    FrameReady ready_;
    TPreviewLimits limits_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    bool quit_ = false;
    std::uint64_t changes_ = 0;
    Running* running_ = nullptr;  // the game in progress, under mutex_
    std::uint64_t finishedChange_ = 0;

    // The newest frame, under frameMutex_.
    std::mutex frameMutex_;
    Picture24 published_;
    TPreviewFrameInfo publishedInfo_;
    std::uint64_t serial_ = 0;
};

}  // namespace fernweave
