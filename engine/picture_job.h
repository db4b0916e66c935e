// One picture rendered in parts, plain or density-shaded: what the headless
// renderer and the window's posters both run.
#pragma once

#include <cstdint>

#include "fractal_state.h"
#include "parallel_render.h"
#include "picture.h"

namespace fernweave {

constexpr double DefaultGamma = 2.2;
constexpr double DefaultWhitePoint = 99;

struct PictureJob {
    int Width = 0, Height = 0;
    TColor Background = clBlack;
    std::uint64_t Steps = 0;
    bool Density = false;
    int Supersample = 1;  // density: the object is prepared this many times the size
    DensityTone Tone;  // density only
    // PNG posters: the background transparent, 16 bits a channel (density only);
    // either one makes RenderPicture fill its deep picture instead of the canvas.
    bool Transparent = false;
    int Bits = 8;
    bool Deep() const { return Transparent || Bits == 16; }
    // Bytes a pixel of the finished picture: 3, or 2 a sample of a deep one.
    int PixelBytes() const { return Deep() ? (Transparent ? 8 : 6) : 3; }
};

// The memory the job takes at its peak, the picture and its encoded file included.
std::uint64_t PictureJobBytes(const PictureJob& job, const ParallelOptions& options);

// Renders the prepared object (PrepareRendering done) into `canvas`, made here
// on the background. Stats.Steps < job.Steps when it was stopped, also while
// the memory is set up (options.Stop is seen there too); then `canvas` is empty.
ParallelStats RenderPicture(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                            Picture24& canvas, DeepPicture* deep = nullptr);

}  // namespace fernweave
