#include "poster_job.h"

#include <algorithm>
#include <cmath>

#include "fractal_state.h"
#include "renderer.h"

namespace fernweave {

TTriangle PosterPlacement(const TTriangle& base, int canvasWidth, int canvasHeight, int posterWidth, int posterHeight) {
    const double scale = std::min(static_cast<double>(posterWidth) / canvasWidth,
                                  static_cast<double>(posterHeight) / canvasHeight);
    const double shiftX = (posterWidth - scale * canvasWidth) / 2;
    const double shiftY = (posterHeight - scale * canvasHeight) / 2;
    // Pixel i covers i - 0.5 .. i + 0.5: the canvas's edges go onto the poster's.
    const auto carry = [&](std::int32_t v, double shift) {
        return static_cast<std::int32_t>(std::nearbyint((v + 0.5) * scale - 0.5 + shift));
    };
    TTriangle t{};
    for (int i = 0; i < 3; ++i) t[i] = {carry(base[i].x, shiftX), carry(base[i].y, shiftY)};
    return t;
}

PictureJob PosterPictureJob(const PosterSettings& settings) {
    PictureJob job;
    job.Width = settings.Width;
    job.Height = settings.Height;
    job.Background = settings.Background;
    job.Steps = settings.HitsPerPixel * static_cast<std::uint64_t>(settings.Width) *
                static_cast<std::uint64_t>(settings.Height);
    job.Density = settings.Density;
    job.Supersample = settings.Density ? settings.Supersample : 1;
    return job;
}

void PreparePoster(FractalState& fresh, const TIfsObject& object, const TTriangle& placement, int supersample) {
    // As an import followed by its placement triangle.
    fresh.SetObject(object);
    fresh.ObjectImported = true;
    fresh.BeginDrawing();
    for (const TPoint& p : placement) fresh.AddPoint(p.x * supersample, p.y * supersample, clWhite, true);
    PrepareRendering(fresh);
}

}  // namespace fernweave
