// The canvas resolution in dots per inch, and how it travels in picture headers.
#pragma once

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
std::int32_t PixelsPerMetre(std::uint16_t dpi);

}  // namespace fernweave
