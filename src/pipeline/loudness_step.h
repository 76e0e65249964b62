// The loudness targets as the pipeline runs them: the "r128" analysis and the true-peak ceiling,
// measured through loudness/ on the WAV in hand (and on the delivered file, decoded through
// convert/) and logged in the program's words. Never changes a file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loudness/loudness.h"

namespace varnook {

struct Context;
struct RunSettings;

// A level in LUFS or dBTP as the log shows it, two decimals; silence, which has no level, as
// "-inf" rather than as a number.
std::string LevelText(const Context& ctx, double value);

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

// The true-peak ceiling in force, in dBTP: /tp, or in the limit mode kLimiterCeiling when /tp is
// empty; none in the gain mode without /tp.
std::optional<double> TruePeakCeiling(const RunSettings& settings);
inline constexpr double kLimiterCeiling = -1;

// With a ceiling in force: logs "True peak after: x dBTP" of the leveled file,
// ctx.request.TempPath, and gives it. In the limit mode it is read as the limiter reads it (the
// Precise reconstruction), since the standard meter may read a limited file up to 0.1 dB above
// the ceiling the limiter holds.
std::optional<double> LogTruePeakAfter(Context& ctx);

// The integrated loudness in LUFS of `path`, a WAV laid out as ctx.wav says (a leveled file),
// logging nothing but a file error.
std::optional<double> IntegratedLoudness(Context& ctx, const std::string& path);

// One leveling pass of the limit mode: its gain and the loudness it gave.
struct LevelingPass {
    double Gain;
    double Loudness;
};

// The limiter's cuts take loudness away with the peaks, the more the more it cuts (speech-like
// bursts raised 9 dB to -16 LUFS came out at -18.8), so the limit mode levels again until the
// file is within kLoudnessTolerance of `aim`. The gain of the next pass after `passes` (the
// last one is the latest), or none: close enough, kMostLevelings passes done, or a dB of gain
// buying less than kLeastSlope LU, where the limiter holds nearly every crest at the ceiling
// and more gain would only deepen its cuts. The loudness only grows with the gain, so once one
// pass fell short and another went over, the next gain lies between them, drawn through both.
// Before that it steps out by the shortfall over the slope of the last two passes (1 at first:
// under the limiter the loudness rises ever more slowly than the gain).
std::optional<double> NextLevelingGain(const std::vector<LevelingPass>& passes, double aim);
inline constexpr double kLoudnessTolerance = 0.1;  // LU
inline constexpr size_t kMostLevelings = 6;
inline constexpr double kLeastSlope = 0.05;  // LU per dB

// What became of a delivered file under the ceiling.
struct DeliveryCheck {
    std::optional<double> TruePeak;  // dBTP of the file delivered now; none when not decoded
    double Change = 0;               // dB it was encoded above the work file
    std::string Failure;             // why the ceiling is unchecked or broken; empty when held
};

// The ceiling held on the encoded output `path`, decoded as a player decodes it (DecodedSamples)
// and read by the Precise reconstruction: an encoder adds overshoot of its own after the true
// peak was measured. One over the ceiling (or within kReadingMargin of it) is encoded once more
// through `encodedAgain(change)`, `change` dB louder than the work file, the gain lowered by the
// excess and kReencodeMargin; an encoder's overshoot need not follow its input's level closely
// (lame's fell by 0.09 dB for 0.29 dB less input on noise bursts), so up to kMostReencodings
// times, the last excess taken off each time. With an `aim` (the limit mode) the loudness must
// hold as well, and an encoder may change it: lame turns its input down by 0.45 dB at 160 kbps
// and under. One under the ceiling that misses the aim by more than kLoudnessTolerance is
// encoded once more with the gain that reaches it, as far as the ceiling seems to let it; when
// that encoding is over the ceiling or further off after all (lame's overshoot on a limited
// piano crest grew by 1 dB for 0.5 dB more input), the first is made again, at a change of 0.
// Logs "True peak after encoding: x dBTP" (and with an aim "Loudness after encoding: x LUFS")
// for each encoding, ", encoding again" after the line that calls for one (", encoding again as
// before" for the undoing), and a failure in its own words. `encodedAgain` logs its own lines
// and returns false when the encoding failed, which ends the check.
DeliveryCheck CheckedDelivery(Context& ctx, const std::string& path, double ceiling, std::optional<double> aim,
                              const std::function<bool(double change)>& encodedAgain);
inline constexpr double kReencodeMargin = 0.1;
// Near the top of the band an independent upsampler (sox's `rate -v`) may read 0.05 dB more than
// the Precise reconstruction.
inline constexpr double kReadingMargin = 0.05;
inline constexpr int kMostReencodings = 3;

}  // namespace varnook
