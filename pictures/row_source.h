// Where a picture written as it is made takes its rows from, and where its bytes go.
#pragma once

#include <cstdint>
#include <functional>

#include "safe_file.h"

namespace fernweave {

// Row y as Picture24 holds it; nullptr to give up (the rendering was stopped).
using RowsOf = std::function<const std::uint8_t*(int y)>;
// Row y of a deep picture: red, green, blue (and alpha) samples a pixel.
using DeepRowsOf = std::function<const std::uint16_t*(int y)>;

}  // namespace fernweave
