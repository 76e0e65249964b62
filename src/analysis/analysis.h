// The loudness analysis: equal-loudness filtering, 50 ms windows, the silence rule and the
// percentile that give the recommended gain against the pink-noise reference.
#pragma once

#include <cstdint>
#include <vector>

namespace varnook {

struct Context;

// Analyses frameCount frames of ctx.request.WorkPath starting at byte `position`, with the
// filter in ctx.filter, the WAV layout in ctx.wav and PinkRef/RmsPercent/RmsDiff from
// ctx.settings. On success stores the recommended gain in dB in `gain` and returns true.
// Opens the file read-only for the call. Used by the pipeline for the whole data and by the
// trim step for single windows.
bool Analyzed(Context& ctx, double& gain, int32_t position, int32_t frameCount);

// Sorts values[first..last] ascending in place, without recursion.
void QuickSort(std::vector<double>& values, int64_t first, int64_t last);

}  // namespace varnook
