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
    canvas.Reset(job.Width, job.Height, job.Background);
    if (!job.Density) return RenderPlainParallel(prepared, canvas, job.Steps, options);
    DensityPicture hits{job.Width, job.Height,
                        std::vector<DensityCell>(static_cast<std::size_t>(job.Width) * job.Height)};
    const ParallelStats stats = RenderDensityParallel(prepared, hits, job.Supersample, job.Steps, options);
    if (stats.Steps == job.Steps) ShadeDensity(hits, job.Background, job.Gamma, canvas);
    return stats;
}

}  // namespace fernweave
