// A poster: the object alone on the background, the canvas's view scaled to
// the poster's size, rendered from a fresh generator in parts on every core.
// It is what the headless renderer makes of the exported object placed on
// PosterPlacement.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ifs_types.h"
#include "picture_job.h"

namespace fernweave {

constexpr int MaxPosterSide = 65536;
constexpr int MaxPosterSamples = 65536;  // supersample x side: the reset bound must stay beyond it

struct PosterSettings {
    int Width = 0, Height = 0;
    bool Density = true;
    int Supersample = 2;
    std::uint64_t HitsPerPixel = 100;
    TColor Background = clBlack;
    DensityTone Tone;  // density only
    int Threads = 0;   // 0: every core
    bool Transparent = false;  // PNG only
    int Bits = 8;              // 16: PNG with density only
    int BandRows = 0;          // rendered and written in bands of this many rows; 0: whole
};

// The base triangle carried from the canvas's view onto the poster: scaled by
// the smaller of the two size ratios and centred, pixel edges onto pixel
// edges, each vertex rounded half to even.
TTriangle PosterPlacement(const TTriangle& base, int canvasWidth, int canvasHeight, int posterWidth, int posterHeight);

// Why the settings make no poster, naming the range a value must lie in; empty when fine.
std::string PosterSettingsProblem(const PosterSettings& settings);

// Print sizes a poster is made for, in millimetres, portrait.
struct PrintSize {
    const char* Name;
    double WidthMm, HeightMm;
};
extern const PrintSize PrintSizes[9];
// The size in pixels at `dpi`, turned to landscape when `landscape`.
void PrintSizePixels(const PrintSize& size, int dpi, bool landscape, int& width, int& height);

// The headless renderer's options that make the same poster of the exported
// object, for the poster's PNG text chunk.
std::string PosterOptions(const PosterSettings& settings, const TTriangle& placement, int dpi);

// The picture job of a poster: steps = hits x width x height.
PictureJob PosterPictureJob(const PosterSettings& settings);

// A fresh state holding `object` imported and placed on `placement`, the
// whole times the supersampling, prepared for rendering.
void PreparePoster(FractalState& fresh, const TIfsObject& object, const TTriangle& placement, int supersample);

}  // namespace fernweave
