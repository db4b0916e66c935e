// Jumping the chaos game's generator ahead. One step, state * a + 1 modulo 2^32,
// is an affine map of the state, and affine maps compose into affine maps, so
// n steps are one multiply and one add, found by composing in O(log n).
#pragma once

#include <cstdint>

namespace fernweave {

// The map state -> state * Multiplier + Increment (modulo 2^32).
struct LcgStep {
    std::uint32_t Multiplier = 1;
    std::uint32_t Increment = 0;

    std::uint32_t operator()(std::uint32_t state) const { return state * Multiplier + Increment; }
};

// The generator's map for n steps.
LcgStep LcgStepsAhead(std::uint64_t n);

// The generator's state n steps after `state`.
inline std::uint32_t JumpRandomState(std::uint32_t state, std::uint64_t n) { return LcgStepsAhead(n)(state); }

}  // namespace fernweave
