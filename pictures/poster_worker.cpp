#include "poster_worker.h"

#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "fractal_state.h"
#include "object_file.h"
#include "png_codec.h"
#include "save_worker.h"

namespace fernweave {

namespace {

// The steps of all the renderings a poster takes: one, or a band's runs each.
std::uint64_t StepsOfAllRuns(const PosterSettings& settings) {
    const PictureJob job = PosterPictureJob(settings);
    const int bands = settings.BandRows > 0 ? (settings.Height + settings.BandRows - 1) / settings.BandRows : 1;
    return job.Steps * static_cast<std::uint64_t>(BandRuns(job, bands));
}

}  // namespace

TPosterWorker::TPosterWorker(const TIfsObject& object, const TTriangle& placement, const PosterSettings& settings,
                             std::string fileName, int format, std::uint32_t resolution, int quality, EndNotice ended,
                             FileWriter writer)
    : TWorker(std::move(ended)),
      object_(object),
      placement_(placement),
      settings_(settings),
      fileName_(std::move(fileName)),
      format_(format),
      resolution_(resolution),
      quality_(quality),
      writer_(writer),
      steps_(StepsOfAllRuns(settings)) {
    writer_.Cancel = &stop_;
    Start([this] { Execute(); });
}

void TPosterWorker::Rewrite(std::string fileName, int format) {
    Join();
    fileName_ = std::move(fileName);
    format_ = format;
    done_.store(0);
    Start([this] { Banded() ? Execute() : Write(); });
}

void TPosterWorker::Finish(Outcome outcome, const std::string& error) {
    outcome_ = outcome;
    error_ = error;
}

std::string TPosterWorker::PosterText() const {
    return PosterOptions(settings_, placement_, static_cast<int>(resolution_ & 0xFFFF));
}

void TPosterWorker::Execute() {
    std::string error;
    try {
        auto state = std::make_unique<FractalState>();
        PreparePoster(*state, object_, placement_, settings_.Density ? settings_.Supersample : 1);
        const PictureJob job = PosterPictureJob(settings_);
        ParallelOptions options;
        options.Threads = settings_.Threads > 0 ? settings_.Threads : AvailableCores();
        options.IdlePriority = true;
        options.Stop = &stop_;
        options.StepsDone = &done_;
        options.MemoryReady = &memoryReady_;
        phase_.store(Phase::Rendering);
        if (Banded()) {
            // Rendered and written band by band: done when the file is.
            BandedRendering banded(*state, job, options, settings_.BandRows);
            const bool written = WriteBandedPicture(fileName_, banded, job, format_, resolution_, quality_,
                                                    EncodeObject(object_), PosterText(), &error, writer_);
            Finish(written ? Outcome::Written : stop_.load() ? Outcome::Cancelled : Outcome::Failed, error);
            return;
        }
        const ParallelStats stats = RenderPicture(*state, job, options, poster_, &deep_);
        state.reset();
        if (stats.Steps < job.Steps || stop_.load()) {
            poster_.Clear();
            deep_ = {};
            Finish(Outcome::Cancelled, {});
            return;
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    if (!error.empty()) {
        poster_.Clear();
        deep_ = {};
        Finish(Outcome::Failed, error);
        return;
    }
    Write();
}

void TPosterWorker::Write() {
    phase_.store(Phase::Writing);
    Outcome outcome = Outcome::Failed;
    std::string error;
    try {
        // A PNG poster carries its object and the renderer's options that make it again.
        const std::vector<std::uint8_t> object = EncodeObject(object_);
        const std::string options = PosterText();
        if (!deep_.Samples.empty() && format_ != FormatPng)
            throw std::runtime_error("a transparent or 16-bit poster can be written only as PNG");
        const auto bytes = !deep_.Samples.empty() ? EncodeDeepPng(deep_, resolution_, object, options)
                                                  : EncodePicture(poster_, format_, resolution_, quality_, object, options);
        if (stop_.load())
            outcome = Outcome::Cancelled;
        else if (WriteFileReplacing(fileName_, bytes, &error, writer_))
            outcome = Outcome::Written;
        else if (stop_.load())
            outcome = Outcome::Cancelled;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to encode the poster";
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unknown error";
    }
    // Kept only while it may still be written elsewhere.
    if (outcome != Outcome::Failed) {
        poster_.Clear();
        deep_ = {};
    }
    Finish(outcome, error);
}

}  // namespace fernweave
