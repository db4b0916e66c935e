// What reading one picture file may cost, whatever its header claims. Every
// reader (BMP, JPEG, PNG) checks the picture's size against this before it
// takes the picture's memory:
//   - each side at most MaxPictureSide, the largest widget Qt can show, so the
//     canvas never cuts a loaded picture off;
//   - at most the reader's pixel limit;
//   - its rows, each with its padding to 4 bytes and one row pointer, at most
//     MaxPictureRowBytes, so that a picture one pixel wide or tall costs what
//     its rows cost, not what its pixel count suggests.
// The readers keep no row pointers of their own; the last rule leaves room
// for a decoder that does.
#pragma once

#include <cstdint>

#include "picture.h"

namespace fernweave {

constexpr std::uint64_t MaxPictureSide = (std::uint64_t{1} << 24) - 1;  // QWIDGETSIZE_MAX
constexpr std::uint64_t MaxPictureRowBytes = std::uint64_t{1} << 30;

constexpr std::uint64_t PictureRowBytes(std::uint64_t width, std::uint64_t height) {
    return ((width * 3 + 3) & ~std::uint64_t{3}) * height + height * sizeof(void*);
}

constexpr bool PictureWithinBudget(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide &&
           width * height <= maxPixels && PictureRowBytes(width, height) <= MaxPictureRowBytes;
}

}  // namespace fernweave
