// The loudness analysis: equal-loudness filtering, 50 ms windows, the silence rule and the
// percentile that give the recommended gain against the pink-noise reference. It reads the file
// itself and takes the layout from the WAV info record; it must not depend on the editing steps,
// the pipeline or the windows (it reports through the Host alone).
#pragma once

#include <cstdint>
#include <vector>

#include "base/step_end.h"

namespace varnook {

struct Context;

// Analyses frameCount frames of ctx.request.WorkPath starting at byte `position`, with the
// filter in ctx.filter, the WAV layout in ctx.wav and PinkRef/RmsPercent/RmsDiff from
// ctx.settings. When it finishes, stores the recommended gain in dB in `gain`.
// 16 and 24-bit samples are measured on one scale. With ctx.measuringCopy, the same stretch of
// the copy is measured instead. Opens the file read-only for the call. Used by the pipeline for the whole data and by the
// trim step for single windows (a stretch shorter than 50 ms is one window of its own length).
// Warnings that still give a gain: "EOF reached before time!" (the file ended first; the windows
// read so far count) and "No more samples left in chunk!" (frameCount below 1; gain 90). A file
// error logs "Processing interrupted. Error message:" and "<number>: <text>" and fails; any other
// error shows the error box and is raised again. A stop asked for through ctx.stop ends the
// reading within one block, logging nothing. `windows`, when given, gets the mean squares of the
// windows measured (sorted): an album pools its tracks' windows into one table.
StepEnd Analyzed(Context& ctx, double& gain, int32_t position, int32_t frameCount,
                 std::vector<double>* windows = nullptr);

// Sorts values[first..last] ascending in place, without recursion. An empty or reversed range
// (first >= last) is left alone; the range must lie inside the vector.
void QuickSort(std::vector<double>& values, int64_t first, int64_t last);

// The recommended gain in dB for a table of window mean squares (sorted in place here): the
// quietest windows are passed over while they lie RmsDiff dB or more below the RmsPercent
// percentile of the windows from themselves upwards; the first that comes closer fixes the
// representative value at that percentile, and the gain is PinkRef - 10 log10(value), or 90
// when there is no window or the value is 0.
double RecommendedGain(std::vector<double>& windows, double pinkRef, double rmsPercent, double rmsDiff);

}  // namespace varnook
