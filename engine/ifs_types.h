// Basic types of a Fernweave object: points, colours and the 36-byte map record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fernweave {

constexpr int MaxPoints = 363;  // base triangle plus 120 map triangles
constexpr int MaxMaps = 120;

// Colour value 0x00BBGGRR: red in the low byte.
using TColor = std::int32_t;

constexpr TColor MakeColor(int r, int g, int b) {
    return static_cast<TColor>((static_cast<std::uint32_t>(b & 0xFF) << 16) |
                               (static_cast<std::uint32_t>(g & 0xFF) << 8) |
                               static_cast<std::uint32_t>(r & 0xFF));
}
constexpr int RedOf(TColor c) { return static_cast<int>(static_cast<std::uint32_t>(c) & 0xFF); }
constexpr int GreenOf(TColor c) { return static_cast<int>((static_cast<std::uint32_t>(c) >> 8) & 0xFF); }
constexpr int BlueOf(TColor c) { return static_cast<int>((static_cast<std::uint32_t>(c) >> 16) & 0xFF); }

constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clBlack = 0x00000000;

struct TPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Vertices in click order: element 0 is vertex 1.
using TTriangle = std::array<TPoint, 3>;

// One affine map (x, y) -> (A x + B y + C, D x + E y + F). This is also the
// record layout of the object file, so the field offsets are fixed.
struct TIfsMap {
    float A = 0;
    float B = 0;
    float C = 0;
    float D = 0;
    float E = 0;
    float F = 0;
    float Probability = 0;
    std::int32_t Color = 0;
    std::uint8_t Diffuse = 0;
    std::uint8_t Padding[3] = {0, 0, 0};

    friend bool operator==(const TIfsMap&, const TIfsMap&) = default;
};

static_assert(sizeof(float) == 4 && sizeof(TIfsMap) == 36, "map record must be 36 bytes");
static_assert(offsetof(TIfsMap, A) == 0 && offsetof(TIfsMap, B) == 4 && offsetof(TIfsMap, C) == 8 &&
              offsetof(TIfsMap, D) == 12 && offsetof(TIfsMap, E) == 16 && offsetof(TIfsMap, F) == 20 &&
              offsetof(TIfsMap, Probability) == 24 && offsetof(TIfsMap, Color) == 28 &&
              offsetof(TIfsMap, Diffuse) == 32 && offsetof(TIfsMap, Padding) == 33,
              "map record field offsets are part of the object file");

// Maps are numbered 1..120 as the user sees them; slot 0 is never used.
using TMapArray = std::array<TIfsMap, MaxMaps + 1>;
// Points are numbered 1..363 in click order; slot 0 is never used.
using TPointArray = std::array<TPoint, MaxPoints + 1>;

// The object as a whole: what the object file holds and what Undo exchanges.
struct TIfsObject {
    std::int32_t MapCount = 0;
    TTriangle BaseTriangle{};
    TMapArray Maps{};
    friend bool operator==(const TIfsObject&, const TIfsObject&) = default;
};

}  // namespace fernweave
