// TPosterWorker: renders a poster at idle priority, so that a rendering on the
// canvas keeps its core, then writes it as the save worker writes a picture
// (a temporary file, renamed over a regular file only). When the file cannot
// be written the finished poster is kept, to be written elsewhere. A poster
// too big for the memory is rendered in bands, each written as it is done.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ifs_types.h"
#include "picture.h"
#include "parallel_render.h"
#include "poster_job.h"
#include "safe_file.h"
#include "worker.h"

namespace fernweave {

class TPosterWorker : public TWorker {
public:
    enum class Outcome { Written, Failed, Cancelled };
    enum class Phase { Preparing, Rendering, Writing };

    // Works on its own copy of the object and starts at once. `format` is the
    // save worker's; `threads` 0 means every core.
    TPosterWorker(const TIfsObject& object, const TTriangle& placement, const PosterSettings& settings,
                  std::string fileName, int format, std::uint32_t resolution, int quality, EndNotice ended,
                  FileWriter writer = {});
    ~TPosterWorker() override { Stop(); }

    // Stops the work in any phase; nothing is written, an existing file stays.
    void Cancel() override { stop_.store(true); }
    // After the end notice: how the work ended, and why it failed.
    Outcome Result() const { return outcome_; }
    const std::string& Error() const { return error_; }
    // The share of the steps done, 0 to 1, and the steps done.
    std::uint64_t StepsDone() const { return done_.load(std::memory_order_relaxed); }
    double Progress() const {
        return steps_ == 0 ? 1.0 : static_cast<double>(StepsDone()) / static_cast<double>(steps_);
    }
    std::uint64_t Steps() const { return steps_; }
    Phase CurrentPhase() const {
        const Phase p = phase_.load(std::memory_order_relaxed);
        return p == Phase::Rendering && !memoryReady_.load(std::memory_order_relaxed) ? Phase::Preparing : p;
    }

    // After a Failed end: whether the finished poster is kept, and writing it
    // to another file (on a thread again, with the same end notice). A poster
    // in bands is never whole in memory: it is rendered again into the file.
    bool HasPoster() const { return !poster_.Empty() || !deep_.Samples.empty(); }
    bool Banded() const { return settings_.BandRows > 0; }
    void Rewrite(std::string fileName, int format);
    const std::string& FileName() const { return fileName_; }

private:
    void Execute();
    void Write();
    void Finish(Outcome outcome, const std::string& error);  // how it ended; the end notice follows
    std::string PosterText() const;  // the renderer's options a PNG poster carries

    TIfsObject object_;
    TTriangle placement_;
    PosterSettings settings_;
    std::string fileName_;
    int format_;
    std::uint32_t resolution_;
    int quality_;
    FileWriter writer_;
    Outcome outcome_ = Outcome::Failed;
    std::string error_;
    std::uint64_t steps_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<Phase> phase_{Phase::Preparing};
    std::atomic<bool> memoryReady_{false};
    Picture24 poster_;  // the finished poster until it is written
    DeepPicture deep_;  // or, for a transparent or 16-bit PNG, this
};

}  // namespace fernweave
