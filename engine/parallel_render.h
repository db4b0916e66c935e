// Renderings in parts on every core, exactly as one chain would make them.
//
// The steps are cut into chunks. A chunk is started a warm-up ahead of its
// first step, from the first base vertex, with the generator jumped to that
// step: the maps of a contracting object forget where the chain started, so
// by the chunk's first step its point is usually the true one. It is checked
// bit for bit against the point the chunk before reached there; where it
// differs the chunk is computed again from the true point. Chunks paint into
// layers of their own, merged in step order, so the last write wins as in one
// chain, and the picture is the same for every number of threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "fractal_state.h"
#include "picture.h"

namespace fernweave {

struct ParallelOptions {
    int Threads = 1;
    std::uint64_t ChunkSteps = 0;  // 0: chosen from the canvas size
    std::uint64_t WarmUp = 0;      // 0: the default; doubled after a failed check
    int Layers = 0;                // chunks held at once; 0: Threads + 1
    bool IdlePriority = false;     // run the threads at SCHED_IDLE
    // For the tests: start every chunk from a guess, even where the true point
    // is already known, so that checks and recomputations happen on one thread too.
    bool GuessEveryChunk = false;
    const std::atomic<bool>* Stop = nullptr;
    std::atomic<std::uint64_t>* StepsDone = nullptr;  // steps merged so far, for progress
};

struct ParallelStats {
    std::uint64_t Steps = 0;    // fewer than asked when stopped
    std::uint64_t Plotted = 0;
    std::uint64_t Chunks = 0;
    std::uint64_t Recomputed = 0;  // chunks whose warm-up missed the true point
};

// The cores this process may run on (sched_getaffinity), at least 1.
int AvailableCores();

// The chunk length for a canvas of this many pixels (the merge of a layer
// costs a pass over it, so big canvases take long chunks).
std::uint64_t DefaultChunkSteps(std::uint64_t pixels, bool counting);

// How many chunk layers a job holds at once.
int LayerCount(const ParallelOptions& options);

// --- plain shading: the program's own pixels ---

// `prepared` has been through PrepareRendering (its RandomState is where the
// rendering starts). Paints `canvas` exactly as RunPreparedLoop would paint it
// in `steps` steps. `prepared` itself is not changed.
ParallelStats RenderPlainParallel(const FractalState& prepared, Picture24& canvas, std::uint64_t steps,
                                  const ParallelOptions& options);

// Bytes a plain job takes beyond the canvas.
std::uint64_t PlainJobBytes(int width, int height, const ParallelOptions& options);

// --- density shading ---

// All hits of a rendering on one picture pixel: the count and the colour sums.
struct DensityCell {
    std::uint64_t Count = 0, Blue = 0, Green = 0, Red = 0;
    friend bool operator==(const DensityCell&, const DensityCell&) = default;
};

struct DensityPicture {
    int Width = 0, Height = 0;
    std::vector<DensityCell> Cells;  // row by row
};

// Counts the hits of `steps` steps on a canvas `factor` times the picture's
// size (the object must be prepared at that size), each sample into the
// picture pixel that holds it. Plotted counts all the picture's hits.
ParallelStats RenderDensityParallel(const FractalState& prepared, DensityPicture& picture, int factor,
                                    std::uint64_t steps, const ParallelOptions& options);

// Bytes a density job takes, the totals included.
std::uint64_t DensityJobBytes(int width, int height, int factor, const ParallelOptions& options);

// The shaded picture: brightness a = (ln(1 + c) / ln(1 + cmax))^(1 / gamma),
// colour the mean of the hits, each channel background + a * (colour -
// background), rounded half to even. Pixels without hits keep the background.
void ShadeDensity(const DensityPicture& picture, TColor background, double gamma, Picture24& out);

}  // namespace fernweave
