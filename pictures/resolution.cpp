#include "resolution.h"

#include <cmath>

namespace fernweave {

std::int32_t PixelsPerMetre(std::uint16_t dpi) {
    return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(dpi) * 39.37));
}

}  // namespace fernweave
