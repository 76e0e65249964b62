// The loudness targets as the pipeline runs them: the "r128" analysis and the true-peak ceiling,
// measured through loudness/ on the WAV in hand and logged in the program's words. Never
// changes a file.
#pragma once

#include <memory>
#include <optional>

namespace varnook {

struct Context;
struct GatingBlocks;

// The "r128" analysis of ctx.request.WorkPath (layout in ctx.wav): logs "Integrated loudness:
// x LUFS" and gives the recommended gain, Target - loudness. Empty when the file could not be
// measured (a file error is logged as "<number>: <text>"). `blocks`, when given, gets the gating
// blocks the loudness came from, for an album to pool.
std::optional<double> R128Analyzed(Context& ctx, std::shared_ptr<const GatingBlocks>* blocks = nullptr);

// With a ceiling in ctx.settings.TruePeak: measures the true peak of ctx.request.WorkPath, logs
// "True peak before: x dBTP" and gives it. Empty without a ceiling, or when it could not be
// measured.
std::optional<double> LogTruePeakBefore(Context& ctx);

// With a ceiling in ctx.settings.TruePeak: measures the true peak of ctx.request.WorkPath,
// logs "True peak before: x dBTP" and gives `gain` lowered so that the peak ends at or below the
// ceiling; `truePeak` gets the peak measured. Without a ceiling, `gain` as it is and nothing
// measured.
double CeiledGain(Context& ctx, double gain, std::optional<double>& truePeak);

// With a ceiling: logs "True peak after: x dBTP" of the leveled file, ctx.request.TempPath, and
// gives it.
std::optional<double> LogTruePeakAfter(Context& ctx);

}  // namespace varnook
