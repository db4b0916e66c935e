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

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "fractal_state.h"
#include "hit_counter.h"
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
    std::uint64_t StepsBefore = 0;                    // added to StepsDone: the steps of earlier runs of one job
    std::atomic<bool>* MemoryReady = nullptr;         // set once the job's memory is set up and the steps begin
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
std::uint64_t DefaultChunkSteps(std::uint64_t pixels);

// How many chunk layers a job holds at once.
int LayerCount(const ParallelOptions& options);

// --- plain shading: the program's own pixels ---

// `prepared` has been through PrepareRendering (its RandomState is where the
// rendering starts). Paints `canvas` exactly as RunPreparedLoop would paint it
// in `steps` steps. `prepared` itself is not changed. A canvas that is a band
// of the picture gets exactly its rows of the whole, from picture row `firstRow` on.
ParallelStats RenderPlainParallel(const FractalState& prepared, Picture24& canvas, std::uint64_t steps,
                                  const ParallelOptions& options, int firstRow = 0);

// Bytes a plain job takes beyond the canvas.
std::uint64_t PlainJobBytes(int width, int height, const ParallelOptions& options);

// --- density shading ---

// A full cell's sums, set aside.
struct SpilledCell {
    std::uint64_t Cell = 0;
    DensitySums Sums;
};

// The hits of a picture, or of a band of its rows.
struct DensityPicture {
    int Width = 0, Height = 0;       // the whole picture
    std::vector<DensityCell> Cells;  // the rows kept, row by row: Cells.size() / Width of them
    int FirstRow = 0;                // the picture row of the first row kept
    std::vector<SpilledCell> Spilled;  // by cell, one entry a cell, what full cells set aside
    int Rows() const { return Width > 0 ? static_cast<int>(Cells.size() / static_cast<std::size_t>(Width)) : 0; }

    // Calls f(cell, sums) for every cell in order, its spilled hits added in.
    template <class F>
    void ForEachCell(const F& f) const {
        auto spilled = Spilled.begin();
        for (std::size_t i = 0; i < Cells.size(); ++i) {
            DensitySums sums;
            sums.Add(Cells[i]);
            if (spilled != Spilled.end() && spilled->Cell == i) sums.Add((spilled++)->Sums);
            f(i, sums);
        }
    }
};

// Counts the hits of `steps` steps on a canvas `factor` times the picture's
// size (the object must be prepared at that size), each sample into the
// picture pixel that holds it; hits outside the rows kept are dropped, so a
// band holds exactly its rows of the whole. All threads add into the one
// picture (sums do not depend on the order), each keeping only a list of its
// chunk's hits. Plotted counts the rows' hits.
ParallelStats RenderDensityParallel(const FractalState& prepared, DensityPicture& picture, int factor,
                                    std::uint64_t steps, const ParallelOptions& options);

// Bytes a density job takes: `rows` rows of cells (all when 0), the threads' hit lists and tables.
std::uint64_t DensityJobBytes(int width, int height, int factor, const ParallelOptions& options, int rows = 0);

// How a print maker sets the tone of density shading.
struct DensityTone {
    double Gamma = 2.2;
    double Exposure = 0;      // stops
    double WhitePoint = 99;   // percent of the lit pixels at or below the white count, 50 to 100
    double Highlights = 0;    // 0 to 1: how far the pixels beyond the white point go toward white
};

// The counts of the lit pixels of a picture, gathered band after band: how
// many pixels have each small count, and the few large counts one by one
// (at most the steps / Dense of them).
class LitCounts {
public:
    static constexpr std::uint64_t Dense = std::uint64_t{1} << 20;
    static constexpr std::uint64_t Bytes = Dense * sizeof(std::uint64_t);  // at most, the large counts apart

    void Add(std::uint64_t count);
    void Add(const DensityPicture& picture);

    // The white count: the count of the lit pixel at the white point, the
    // smallest count that at least WhitePoint percent of the lit pixels do
    // not exceed (100: the largest). An integer found exactly, so the same for
    // every thread count and band cut. 0 when nothing is lit.
    std::uint64_t WhiteCount(double whitePoint) const;

private:
    std::vector<std::uint64_t> small_;  // pixels with count c, for c below Dense
    std::vector<std::uint64_t> large_;
    std::uint64_t lit_ = 0;
};

// The white count of these counts, or of a picture's.
std::uint64_t WhiteCount(const std::vector<std::uint64_t>& counts, double whitePoint);
std::uint64_t WhiteCount(const DensityPicture& picture, double whitePoint);

// The shaded rows: with r = 2^exposure (ln(1 + c) / ln(1 + white))^(1 / gamma),
// brightness a = min(1, r), colour the mean of the hits, each channel
// background + a * (colour - background), rounded half to even; beyond the
// white point (r > 1) the colour goes toward white by highlights * min(1, r - 1).
// Pixels without hits keep the background. `out` gets the rows kept.
void ShadeDensity(const DensityPicture& picture, TColor background, const DensityTone& tone, std::uint64_t white,
                  Picture24& out);
// The same with the white count of the picture itself.
void ShadeDensity(const DensityPicture& picture, TColor background, const DensityTone& tone, Picture24& out);

// A picture with 8 or 16 bits a channel and maybe an alpha channel (posters).
struct DeepPicture {
    int Width = 0, Height = 0;
    bool Alpha = false;
    int Bits = 8;                        // 8 or 16
    std::vector<std::uint16_t> Samples;  // row by row: red, green, blue (and alpha) a pixel
};

// The shading above into a deep picture: 16 bits takes each value before its
// rounding times 257 (255 -> 65535); with alpha the pixel is its colour with
// alpha a over no background, and pixels without hits are transparent.
void ShadeDensityDeep(const DensityPicture& picture, TColor background, const DensityTone& tone, std::uint64_t white,
                      bool alpha, int bits, DeepPicture& out);

// A plain picture with its background colour transparent.
void TransparentBackground(const Picture24& picture, TColor background, DeepPicture& out);


}  // namespace fernweave
