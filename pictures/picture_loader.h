// Reading BMP, JPEG and PNG pictures into a canvas picture.
#pragma once

#include <QString>
#include <optional>

#include "picture.h"

namespace fernweave {

enum class TPictureKind { Bmp, Jpeg, Png, Other };

// By the file name's extension, in any letter case.
TPictureKind PictureKindOf(const QString& fileName);

// The whole picture in 24-bit colour, or nothing when the file cannot be read
// completely (missing, damaged, cut short, too large to hold, unknown extension).
std::optional<Picture24> LoadPictureFile(const QString& fileName);

}  // namespace fernweave
