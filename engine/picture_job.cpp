#include "picture_job.h"

#include <algorithm>

namespace fernweave {

std::uint64_t PictureJobBytes(const PictureJob& job, const ParallelOptions& options) {
    // The picture, and then the rendering or the encoded file, which comes after it.
    const std::uint64_t canvas = Picture24::StrideFor(job.Width) * static_cast<std::uint64_t>(job.Height);
    const std::uint64_t rendering = job.Density ? DensityJobBytes(job.Width, job.Height, job.Supersample, options)
                                                : PlainJobBytes(job.Width, job.Height, options);
    return canvas + std::max(canvas + 1024, rendering);
}

ParallelStats RenderPicture(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                            Picture24& canvas) {
    if (!job.Density) {
        if (!canvas.Reset(job.Width, job.Height, job.Background, options.Stop)) return {};
        return RenderPlainParallel(prepared, canvas, job.Steps, options);
    }
    canvas.Clear();
    DensityPicture hits{job.Width, job.Height, {}};
    if (!GrowStoppable(hits.Cells, static_cast<std::size_t>(job.Width) * static_cast<std::size_t>(job.Height),
                       options.Stop))
        return {};
    const ParallelStats stats = RenderDensityParallel(prepared, hits, job.Supersample, job.Steps, options);
    if (stats.Steps == job.Steps) ShadeDensity(hits, job.Background, job.Tone, canvas);
    return stats;
}

}  // namespace fernweave
