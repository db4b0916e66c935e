// What the counting chaos-game loop plots into (density shading): a list of
// the chunk's hits, each the picture cell it falls into and its colour. The
// samples lie on a canvas K times the picture's size; each falls into the
// picture pixel that holds it, so the K x K samples of a pixel add up in one
// cell. A list costs the chunk's length, not the picture's size, and adds up
// into the one shared picture in any order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fernweave {

// The hits of a rendering on one picture pixel, as far as 32 bits hold them:
// the count and the colour sums. Half the size of 64-bit sums, so twice the
// pixels stay in the cache. A cell whose count reaches SpillCount hands its
// sums over to the picture's spill list and starts again from zero, long
// before a sum could overflow (255 x 2^24 < 2^32).
struct DensityCell {
    std::uint32_t Count = 0, Blue = 0, Green = 0, Red = 0;
    friend bool operator==(const DensityCell&, const DensityCell&) = default;
};
constexpr std::uint32_t SpillCount = std::uint32_t{1} << 24;

// All hits of one pixel.
struct DensitySums {
    std::uint64_t Count = 0, Blue = 0, Green = 0, Red = 0;
    template <class Sums>  // a DensityCell or DensitySums
    void Add(const Sums& c) {
        Count += c.Count;
        Blue += c.Blue;
        Green += c.Green;
        Red += c.Red;
    }
};

// pixelBytes: blue, green, red from the low byte up, as the canvas holds them.
// True when the cell is full and must be spilled.
inline bool AddHit(DensityCell& c, std::uint32_t pixelBytes) {
    c.Blue += pixelBytes & 0xFF;
    c.Green += (pixelBytes >> 8) & 0xFF;
    c.Red += (pixelBytes >> 16) & 0xFF;
    return ++c.Count == SpillCount;
}

// Takes a full cell's sums (cell: its index in the picture) and zeroes it; rare.
struct SpillRequest {
    void (*Function)(void* context, std::uint64_t cell, DensityCell& c) = nullptr;
    void* Context = nullptr;
};

// One hit: the cell above the low 24 bits, its colour (blue, green, red from the low byte up) in them.
using HitEntry = std::uint64_t;
constexpr int HitColorBits = 24;

// A sample row outside the rows kept (a band of the picture).
constexpr std::uint64_t RowOutside = ~std::uint64_t{0};

constexpr std::uint64_t MaxCountingChunk = std::uint64_t{1} << 24;

// Where the counting loop puts a hit: straight into the picture's cells (one
// chain in step order), or onto a list (a chunk that may yet be thrown away).
struct HitTarget {
    HitEntry* Next = nullptr;                   // where the next hit goes; room for one per step
    DensityCell* Cells = nullptr;               // when set, hits go here instead
    SpillRequest Spill;                         // for a full cell of Cells
    const std::uint32_t* ColumnCell = nullptr;  // sample column -> picture column
    const std::uint64_t* RowCell = nullptr;     // sample row -> first cell of its picture row, or RowOutside
    std::uint32_t SampleWidth = 0, SampleHeight = 0;

    void Add(std::uint32_t ix, std::uint32_t iy, std::uint32_t pixelBytes) {
        const std::uint64_t row = RowCell[iy];
        if (row == RowOutside) return;
        const std::uint64_t cell = row + ColumnCell[ix];
        if (Cells) {
            if (AddHit(Cells[cell], pixelBytes)) [[unlikely]]
                Spill.Function(Spill.Context, cell, Cells[cell]);
        } else
            *Next++ = cell << HitColorBits | (pixelBytes & 0xFFFFFF);
    }
};

}  // namespace fernweave
