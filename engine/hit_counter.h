// What the counting chaos-game loop plots into (density shading): for each
// picture pixel the number of hits and the sums of their colours. The samples
// lie on a canvas K times the picture's size; each falls into the picture
// pixel that holds it, so the K x K samples of a pixel add up in one cell.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fernweave {

// One chunk's hits on one picture pixel. 32 bits suffice while a chunk has
// fewer than 2^32 / 255 steps.
struct HitCell {
    std::uint32_t Count, Blue, Green, Red;
};

constexpr std::uint64_t MaxCountingChunk = std::uint64_t{1} << 24;  // 2^24 * 255 < 2^32

struct HitTarget {
    HitCell* Cells = nullptr;
    const std::uint32_t* ColumnCell = nullptr;  // sample column -> picture column
    const std::size_t* RowCell = nullptr;       // sample row -> first cell of its picture row
    std::uint32_t SampleWidth = 0, SampleHeight = 0;

    // pixelBytes: blue, green, red from the low byte up, as the canvas holds them.
    void Add(std::uint32_t ix, std::uint32_t iy, std::uint32_t pixelBytes) const {
        HitCell& h = Cells[RowCell[iy] + ColumnCell[ix]];
        ++h.Count;
        h.Blue += pixelBytes & 0xFF;
        h.Green += (pixelBytes >> 8) & 0xFF;
        h.Red += (pixelBytes >> 16) & 0xFF;
    }
};

}  // namespace fernweave
