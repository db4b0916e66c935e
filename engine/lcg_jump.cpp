#include "lcg_jump.h"

#include "solver.h"

namespace fernweave {

namespace {

// `second` after `first`.
LcgStep Then(LcgStep first, LcgStep second) {
    return {second.Multiplier * first.Multiplier, second.Multiplier * first.Increment + second.Increment};
}

}  // namespace

LcgStep LcgStepsAhead(std::uint64_t n) {
    LcgStep result;                       // the identity
    LcgStep power{RandomMultiplier, 1u};  // one step, then 2, 4, 8, ... steps
    for (; n != 0; n >>= 1) {
        if (n & 1) result = Then(result, power);
        power = Then(power, power);
    }
    return result;
}

}  // namespace fernweave
