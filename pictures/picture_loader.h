// Reading BMP, JPEG and PNG pictures into a canvas picture.
#pragma once

#include <QString>
#include <cstdint>
#include <limits>
#include <optional>

#include "picture.h"

namespace fernweave {

enum class TPictureKind { Bmp, Jpeg, Png, Other };

// By the file name's extension, in any letter case.
TPictureKind PictureKindOf(const QString& fileName);

// BMP pictures above this many pixels are refused (384 MiB as 24 bits).
constexpr std::uint64_t MaxBmpPixels = std::uint64_t{1} << 27;

// The whole picture in 24-bit colour, or nothing when the file cannot be read
// completely (missing, damaged, cut short, too large to hold, unknown
// extension). Each format's own pixel limit holds, and `maxPixels` when it is
// lower; the sizes are checked against the budget of picture_budget.h before
// the picture's memory is taken.
std::optional<Picture24> LoadPictureFile(const QString& fileName,
                                         std::uint64_t maxPixels = std::numeric_limits<std::uint64_t>::max());

}  // namespace fernweave
