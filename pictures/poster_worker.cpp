#include "poster_worker.h"

#include <exception>
#include <memory>

#include "fractal_state.h"
#include "save_worker.h"

namespace fernweave {

TPosterWorker::TPosterWorker(const TIfsObject& object, const TTriangle& placement, const PosterSettings& settings,
                             std::string fileName, int format, std::uint32_t resolution, int quality, EndNotice ended,
                             FileWriter writer)
    : object_(object),
      placement_(placement),
      settings_(settings),
      fileName_(std::move(fileName)),
      format_(format),
      resolution_(resolution),
      quality_(quality),
      ended_(std::move(ended)),
      writer_(writer),
      steps_(PosterPictureJob(settings).Steps) {
    thread_ = std::thread([this] { Execute(); });
}

TPosterWorker::~TPosterWorker() {
    Cancel();
    Join();
}

void TPosterWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

double TPosterWorker::Progress() const {
    return steps_ == 0 ? 1.0 : static_cast<double>(done_.load(std::memory_order_relaxed)) / static_cast<double>(steps_);
}

void TPosterWorker::Execute() {
    Outcome outcome = Outcome::Failed;
    std::string error;
    try {
        auto state = std::make_unique<FractalState>();
        PreparePoster(*state, object_, placement_, settings_.Density ? settings_.Supersample : 1);
        const PictureJob job = PosterPictureJob(settings_);
        ParallelOptions options;
        options.Threads = AvailableCores();
        options.IdlePriority = true;
        options.Stop = &stop_;
        options.StepsDone = &done_;
        Picture24 poster;
        const ParallelStats stats = RenderPicture(*state, job, options, poster);
        state.reset();
        if (stats.Steps < job.Steps || stop_.load()) {
            outcome = Outcome::Cancelled;
        } else {
            const auto bytes = EncodePicture(poster, format_, resolution_, quality_);
            poster.Clear();
            outcome = stop_.load() ? Outcome::Cancelled
                      : WriteFileReplacing(fileName_, bytes, &error, writer_) ? Outcome::Written
                                                                             : Outcome::Failed;
        }
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    if (ended_) ended_(outcome, error);
}

}  // namespace fernweave
