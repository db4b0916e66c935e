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

ParallelStats RenderPicture(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                            Picture24& canvas, DeepPicture* deep) {
    if (!job.Density) {
        if (!canvas.Reset(job.Width, job.Height, job.Background, options.Stop)) return {};
        const ParallelStats stats = RenderPlainParallel(prepared, canvas, job.Steps, options);
        if (deep && job.Transparent && stats.Steps == job.Steps) {
            TransparentBackground(canvas, job.Background, *deep);
            canvas.Clear();
        }
        return stats;
    }
    canvas.Clear();
    DensityPicture hits{job.Width, job.Height, {}};
    if (!GrowStoppable(hits.Cells, static_cast<std::size_t>(job.Width) * static_cast<std::size_t>(job.Height),
                       options.Stop))
        return {};
    const ParallelStats stats = RenderDensityParallel(prepared, hits, job.Supersample, job.Steps, options);
    if (stats.Steps == job.Steps) {
        if (deep && job.Deep())
            ShadeDensityDeep(hits, job.Background, job.Tone, WhiteCount(hits, job.Tone.WhitePoint), job.Transparent,
                             job.Bits, *deep);
        else
            ShadeDensity(hits, job.Background, job.Tone, canvas);
    }
    return stats;
}

}  // namespace fernweave
