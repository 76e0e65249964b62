// The equal-loudness filter: one published coefficient set per supported sample rate, chosen by
// the file's rate. The recurrence that uses them is in equal_loudness.h. Depends on the records
// and the Host only.
#pragma once

#include <cstdint>
#include <optional>

#include "base/filter_coefficients.h"

namespace varnook {

struct Context;

// What SetFilter logs for a rate without a set, and so the reason a file's result gives.
inline constexpr const char* kNoFilter = "No filter for this frequency";

// The coefficient set for exactly this rate, or none.
std::optional<FilterCoefficients> FilterForRate(int32_t sampleRate);

// Selects the set for ctx.wav.SampleRate (the measuring copy's rate, when there is one) into
// ctx.filter. For a rate without a set, logs
// "No filter for this frequency", leaves ctx.filter as it was and returns false.
bool SetFilter(Context& ctx);

}  // namespace varnook
