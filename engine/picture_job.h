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

// How a job is cut to fit the memory it may take.
struct BandPlan {
    bool Whole = true;  // held whole in memory with its encoded file (then one band)
    int Rows = 0;       // rows a band (the last may have fewer); 0: not even one row fits
    int Bands = 0;
};

// The fewest bands of equal height whose peak fits `available` bytes: the
// whole picture when PictureJobBytes fits.
BandPlan PlanBands(const PictureJob& job, const ParallelOptions& options, std::uint64_t available);

// The peak of a job rendered in bands of `rows` rows and written as they come.
std::uint64_t BandedJobBytes(const PictureJob& job, const ParallelOptions& options, int rows);

// The renderings a job takes: one a band, and for density shading in several
// bands one more a band before, which finds the white count of the whole.
int BandRuns(const PictureJob& job, int bands);

// A job rendered a band at a time as its rows are asked for, top down or
// bottom up: every band replays the whole chain and keeps only its rows, so
// each row is exactly the row of the job rendered whole. Progress counts on
// through the runs (options.StepsDone up to job.Steps x BandRuns).
class BandedRendering {
public:
    BandedRendering(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options, int rows);

    // Row y of the picture as Picture24 holds it (a plain job), or its samples
    // (a deep job); nullptr once stopped. Throws std::bad_alloc when memory runs out.
    const std::uint8_t* Row(int y);
    const std::uint16_t* DeepRow(int y);

    bool Stopped() const { return stopped_; }
    // The rows' plotted steps, summed as the bands come.
    std::uint64_t Plotted() const { return plotted_; }

private:
    bool Hold(int y);
    bool Render(int first, int rows, bool count);

    const FractalState& prepared_;
    const PictureJob job_;
    ParallelOptions options_;
    const int rows_;
    int run_ = 0;
    int first_ = 0, held_ = 0;  // the band held
    LitCounts lit_;  // gathered by the counting runs
    std::uint64_t white_ = 0;
    bool counted_ = false;
    bool stopped_ = false;
    std::uint64_t plotted_ = 0;
    Picture24 band_;
    DeepPicture deep_;
};

// Renders the prepared object (PrepareRendering done) into `canvas`, made here
// on the background. Stats.Steps < job.Steps when it was stopped, also while
// the memory is set up (options.Stop is seen there too); then `canvas` is empty.
ParallelStats RenderPicture(const FractalState& prepared, const PictureJob& job, const ParallelOptions& options,
                            Picture24& canvas, DeepPicture* deep = nullptr);

}  // namespace fernweave
