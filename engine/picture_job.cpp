#include "picture_job.h"

#include <algorithm>

namespace fernweave {

std::uint64_t PictureJobBytes(const PictureJob& job, const ParallelOptions& options) {
    // The picture, and then the rendering or the encoded file, which comes after it.
    const std::uint64_t canvas = Picture24::StrideFor(job.Width) * static_cast<std::uint64_t>(job.Height);
    const std::uint64_t rendering = job.Density ? DensityJobBytes(job.Width, job.Height, job.Supersample, options)
                                                : PlainJobBytes(job.Width, job.Height, options);
    const std::uint64_t picture =
        job.Deep() ? static_cast<std::uint64_t>(job.Width) * static_cast<std::uint64_t>(job.Height) * job.PixelBytes()
                   : canvas;
    return picture + std::max(picture + 1024, rendering);
}

namespace {

// A band's picture: its 24-bit rows, and the deep rows of a deep job.
std::uint64_t BandPictureBytes(const PictureJob& job, int rows) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(job.Width) * static_cast<std::uint64_t>(rows);
    return Picture24::StrideFor(job.Width) * static_cast<std::uint64_t>(rows) + (job.Deep() ? pixels * job.PixelBytes() : 0);
}

// What the encoders hold while rows stream through them (a JPEG's strips of rows, zlib's window).
std::uint64_t StreamingBytes(int width) { return static_cast<std::uint64_t>(width) * 192 + (std::uint64_t{4} << 20); }

}  // namespace

std::uint64_t BandedJobBytes(const PictureJob& job, const ParallelOptions& options, int rows) {
    const std::uint64_t rendering = job.Density ? DensityJobBytes(job.Width, job.Height, job.Supersample, options, rows) +
                                                      (rows < job.Height ? LitCounts::Bytes : 0)
                                                : PlainJobBytes(job.Width, rows, options);
    return BandPictureBytes(job, rows) + rendering + StreamingBytes(job.Width);
}

BandPlan PlanBands(const PictureJob& job, const ParallelOptions& options, std::uint64_t available) {
    if (PictureJobBytes(job, options) <= available) return {true, job.Height, 1};
    if (BandedJobBytes(job, options, 1) > available) return {false, 0, 0};
    int fits = 1, above = job.Height + 1;  // the most rows that fit, the fewest that do not
    while (above - fits > 1) {
        const int mid = fits + (above - fits) / 2;
        (BandedJobBytes(job, options, mid) <= available ? fits : above) = mid;
    }
    const int bands = (job.Height + fits - 1) / fits;
    return {false, (job.Height + bands - 1) / bands, bands};
}

int BandRuns(const PictureJob& job, int bands) { return job.Density && bands > 1 ? 2 * bands : bands; }

BandedRendering::BandedRendering(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                                 int rows)
    : prepared_(prepared), job_(job), options_(options), rows_(std::clamp(rows, 1, std::max(1, job.Height))) {}

const std::uint8_t* BandedRendering::Row(int y) { return Hold(y) ? band_.Row(y - first_) : nullptr; }

const std::uint16_t* BandedRendering::DeepRow(int y) {
    const std::size_t samples = static_cast<std::size_t>(job_.Width) * (deep_.Alpha ? 4 : 3);
    return Hold(y) ? deep_.Samples.data() + static_cast<std::size_t>(y - first_) * samples : nullptr;
}

bool BandedRendering::Hold(int y) {
    if (stopped_) return false;
    if (y >= first_ && y < first_ + held_) return true;
    // Density in several bands: the white count of the whole comes first.
    if (job_.Density && rows_ < job_.Height && !counted_) {
        for (int first = 0; first < job_.Height; first += rows_)
            if (!Render(first, std::min(rows_, job_.Height - first), true)) return false;
        white_ = lit_.WhiteCount(job_.Tone.WhitePoint);
        lit_ = {};
        counted_ = true;
    }
    const int first = y / rows_ * rows_;
    return Render(first, std::min(rows_, job_.Height - first), false);
}

namespace {

// Renders picture rows first .. first + rows - 1 of the job into `canvas`, or
// into `deep` for a deep job. Density shades with `white` when given, else
// with the rows' own white count; with `lit` it gathers the rows' counts
// there instead and shades nothing. Steps < job.Steps when stopped.
ParallelStats RenderRows(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options, int first,
                         int rows, const std::uint64_t* white, LitCounts* lit, Picture24& canvas, DeepPicture& deep) {
    canvas.Clear();
    deep = {};
    if (!job.Density) {
        if (!canvas.Reset(job.Width, rows, job.Background, options.Stop)) return {};
        const ParallelStats stats = RenderPlainParallel(prepared, canvas, job.Steps, options, first);
        if (stats.Steps == job.Steps && job.Transparent) {
            TransparentBackground(canvas, job.Background, deep);
            canvas.Clear();
        }
        return stats;
    }
    DensityPicture hits{job.Width, job.Height, {}, first};
    if (!GrowStoppable(hits.Cells, static_cast<std::size_t>(job.Width) * static_cast<std::size_t>(rows), options.Stop))
        return {};
    const ParallelStats stats = RenderDensityParallel(prepared, hits, job.Supersample, job.Steps, options);
    if (stats.Steps < job.Steps) return stats;
    if (lit) {
        lit->Add(hits);
        return stats;
    }
    const std::uint64_t shadeWhite = white ? *white : WhiteCount(hits, job.Tone.WhitePoint);
    if (job.Deep())
        ShadeDensityDeep(hits, job.Background, job.Tone, shadeWhite, job.Transparent, job.Bits, deep);
    else
        ShadeDensity(hits, job.Background, job.Tone, shadeWhite, canvas);
    return stats;
}

}  // namespace

bool BandedRendering::Render(int first, int rows, bool count) {
    held_ = 0;
    options_.StepsBefore = static_cast<std::uint64_t>(run_++) * job_.Steps;
    const ParallelStats stats = RenderRows(prepared_, job_, options_, first, rows, counted_ ? &white_ : nullptr,
                                           count ? &lit_ : nullptr, band_, deep_);
    if (stats.Steps < job_.Steps || (options_.Stop && options_.Stop->load())) return !(stopped_ = true);
    if (count) return true;
    plotted_ += stats.Plotted;
    first_ = first;
    held_ = rows;
    return true;
}

ParallelStats RenderPicture(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                            Picture24& canvas, DeepPicture* deep) {
    // Without a deep picture to fill, the canvas gets the job's 24-bit picture.
    PictureJob whole = job;
    DeepPicture unused;
    if (!deep) {
        whole.Transparent = false;
        whole.Bits = 8;
    }
    return RenderRows(prepared, whole, options, 0, job.Height, nullptr, nullptr, canvas, deep ? *deep : unused);
}

}  // namespace fernweave
