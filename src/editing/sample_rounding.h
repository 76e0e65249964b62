// Turning a computed sample value back into a 16 or 24-bit sample, shared by amplify and trim.
#pragma once

#include <cstdint>

namespace varnook {

// Nearest whole number, an exact half going to the even neighbour: the same as std::nearbyint
// in the default rounding mode, which the program never changes. Adding and taking away 1.5 *
// 2^52 leaves no bits below the units, so the hardware rounds the sum to a whole number in
// that mode; unlike the library call this is two additions the compiler can keep in the
// per-sample loop. Exact for |value| < 2^51; the caller guarantees the sample's range.
inline int32_t RoundToWhole(double value)
{
    constexpr double kRoundingBias = 6755399441055744.0;  // 1.5 * 2^52
    return static_cast<int32_t>((value + kRoundingBias) - kRoundingBias);
}

inline int16_t RoundToSample(double value)
{
    return static_cast<int16_t>(RoundToWhole(value));
}

}  // namespace varnook
