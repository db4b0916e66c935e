// TPosterWorker: renders a poster on every core at idle priority, so that a
// rendering on the canvas keeps its core, then writes it as the save worker
// writes a picture (a temporary file, renamed over a regular file only).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "ifs_types.h"
#include "poster_job.h"
#include "safe_file.h"

namespace fernweave {

class TPosterWorker {
public:
    enum class Outcome { Written, Failed, Cancelled };
    // Called on the worker thread at the end; it must only hand the end over.
    using EndNotice = std::function<void(Outcome outcome, const std::string& error)>;

    // Works on its own copy of the object and starts at once.
    TPosterWorker(const TIfsObject& object, const TTriangle& placement, const PosterSettings& settings,
                  std::string fileName, int format, std::uint32_t resolution, int quality, EndNotice ended,
                  FileWriter writer = {});
    ~TPosterWorker();  // cancels and waits
    TPosterWorker(const TPosterWorker&) = delete;
    TPosterWorker& operator=(const TPosterWorker&) = delete;

    // Stops the rendering; nothing is written unless the writing had begun.
    void Cancel() { stop_.store(true); }
    void Join();
    // The share of the steps done, 0 to 1.
    double Progress() const;

private:
    void Execute();

    TIfsObject object_;
    TTriangle placement_;
    PosterSettings settings_;
    std::string fileName_;
    int format_;
    std::uint32_t resolution_;
    int quality_;
    EndNotice ended_;
    FileWriter writer_;
    std::uint64_t steps_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> done_{0};
    std::thread thread_;
};

}  // namespace fernweave
