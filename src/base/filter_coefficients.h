// The equal-loudness filter coefficients of one sample rate. Index 0 of the feedback arrays
// holds 0 and is never read (a0 is 1 by definition), so index j multiplies the value j samples back.
#pragma once

#include <array>

namespace varnook {

struct FilterCoefficients {
    std::array<double, 11> YuleA{};  // a1..a10 at 1..10
    std::array<double, 11> YuleB{};  // b0..b10
    std::array<double, 3> ButterA{}; // a1, a2 at 1, 2
    std::array<double, 3> ButterB{}; // b0, b1, b2
};

}  // namespace varnook
