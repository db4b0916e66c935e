// Turns triangles into affine maps and probabilities, and supplies the three
// primitive steps of the chaos game: the random number, the map choice and the
// application of a map.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fractal_state.h"

namespace fernweave {

// The map carrying `base` onto `target`, vertex by vertex, as A, B, C, D, E, F.
// Every named intermediate is a float32 formed once from double arithmetic.
std::array<float, 6> SolveTriangleMap(const TTriangle& base, const TTriangle& target);

// Twice the signed area of a triangle, exact for coordinates within 2^30.
std::int64_t DoubleArea(const TTriangle& t);

// What keeps the solver from carrying the base onto the triangles.
struct TBaseWarnings {
    bool ColumnZero = false;  // base vertex 1 or 2 in pixel column 0
    bool NoArea = false;
    bool Any() const { return ColumnZero || NoArea; }
};
TBaseWarnings CheckBaseTriangle(const TTriangle& base);

void SolveMap(FractalState& s, int k);          // BaseTriangle -> TargetTriangle into map k
void SolvePlacementMap(FractalState& s);        // BaseTriangle -> TargetTriangle into PlacementMap
void SolveAllMaps(FractalState& s);             // from Points: base, then maps 1..MapCount
void ComputeProbabilities(FractalState& s);     // maps 1..MapCount

constexpr std::uint32_t RandomMultiplier = 134775813u;  // 0x08088405

inline std::uint32_t NextRandomState(std::uint32_t state) { return state * RandomMultiplier + 1u; }
// The generator's value for a state: state / 2^32, in [0, 1).
inline double RandomValue(std::uint32_t state) { return static_cast<double>(state) / 4294967296.0; }

double RandomFraction(FractalState& s);
int ChooseMap(FractalState& s);
void ApplyMap(FractalState& s, int k);
void ApplyMapPlaced(FractalState& s, int k);

// The map ChooseMap picks for a given generator state, with the probabilities
// of maps 1..mapCount. A monotonic function of the state.
int ChooseMapForState(const TMapArray& maps, int mapCount, std::uint32_t state);

// A fast equivalent of ChooseMapForState for one set of probabilities: the
// state space is cut into buckets, and only buckets that hold a boundary
// between two maps need a short scan.
class MapChooser {
public:
    // The chooser's tables as plain values, for a loop that keeps them in
    // registers (its writes to the canvas could alias the chooser object).
    struct Table {
        const std::uint8_t* bucket;
        const std::uint64_t* threshold;
        int mapCount;
        unsigned Choose(std::uint32_t state) const {
            const unsigned entry = bucket[state >> BucketShift];
            if (!(entry & Mixed)) [[likely]] return entry;  // the map itself
            unsigned k = entry & MapMask;
            while (static_cast<int>(k) < mapCount && state >= threshold[k]) ++k;
            return k;
        }
    };

    void Build(const TMapArray& maps, int mapCount);
    Table View() const { return {bucket_.data(), threshold_.data(), mapCount_}; }
    int Choose(std::uint32_t state) const { return static_cast<int>(View().Choose(state)); }

private:
    static constexpr int BucketBits = 14;
    static constexpr int BucketShift = 32 - BucketBits;
    int mapCount_ = 0;
    // threshold_[k]: the smallest state that chooses a map after k (2^32 if none).
    std::array<std::uint64_t, MaxMaps + 1> threshold_{};
    // bucket_[b]: the map chosen by the first state of bucket b, plus Mixed
    // when a later state of the bucket chooses another map. One load a step.
    static constexpr unsigned Mixed = 0x80;
    static constexpr unsigned MapMask = 0x7F;
    static_assert(MaxMaps <= static_cast<int>(MapMask));
    std::vector<std::uint8_t> bucket_;
};

}  // namespace fernweave
