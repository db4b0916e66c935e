// The canvas resolution in dots per inch, and how it travels in picture headers.
#pragma once

#include <cmath>
#include <cstdint>

namespace fernweave {

struct TResolution {
    std::uint16_t X = 72;
    std::uint16_t Y = 72;
    friend bool operator==(const TResolution&, const TResolution&) = default;
};

// Handed on as one value: X in the low half, Y in the high half.
constexpr std::uint32_t PackResolution(TResolution r) { return static_cast<std::uint32_t>(r.X) | (static_cast<std::uint32_t>(r.Y) << 16); }
constexpr TResolution UnpackResolution(std::uint32_t packed) {
    return {static_cast<std::uint16_t>(packed & 0xFFFF), static_cast<std::uint16_t>(packed >> 16)};
}

// Dots per inch to pixels per metre: dpi x 39.37, rounded half to even.
inline std::int32_t PixelsPerMetre(std::uint16_t dpi) {
    return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(dpi) * 39.37));
}

// Pixels per metre to dots per inch: / 39.37 rounded half to even, low 16 bits
// kept; negative values give 0.
inline std::uint16_t DotsPerInch(std::int32_t pixelsPerMetre) {
    if (pixelsPerMetre <= 0) return 0;
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(pixelsPerMetre / 39.37)) & 0xFFFF);
}

}  // namespace fernweave
