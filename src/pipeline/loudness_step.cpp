#include "pipeline/loudness_step.h"

#include <cmath>

#include "base/context.h"
#include "io/numbers.h"
#include "io/errors.h"
#include "loudness/loudness.h"

namespace varnook {
namespace {

// Silence has no level in LUFS or dBTP: it is shown as such rather than as a number.
std::string LevelText(const Context& ctx, double value)
{
    return std::isfinite(value) ? FormatFixed2(value, ctx.decimalSeparator) : "-inf";
}

std::optional<LoudnessMeasure> Measured(Context& ctx, const std::string& path, Measure what)
{
    const WavInfo& wav = ctx.wav;
    const Pcm16Stretch stretch{path, wav.Channels, wav.SampleRate, wav.DataStart, wav.DataSize};
    try {
        return MeasureLoudness(stretch, what, [&ctx] { ctx.host.Yield(); });
    } catch (const FileError& error) {
        ctx.host.LogLine(error.LogText());
        return std::nullopt;
    }
}

}  // namespace

std::optional<double> R128Analyzed(Context& ctx, std::shared_ptr<const GatingBlocks>* blocks)
{
    auto measure = Measured(ctx, ctx.request.WorkPath, Measure::Integrated);
    if (!measure) return std::nullopt;
    ctx.host.LogLine("Integrated loudness: " + LevelText(ctx, measure->Integrated) + " LUFS");
    if (blocks != nullptr) *blocks = std::move(measure->Blocks);
    return R128Gain(ctx.settings.Target, measure->Integrated);
}

std::optional<double> LogTruePeakBefore(Context& ctx)
{
    if (!ctx.settings.TruePeak) return std::nullopt;
    const auto measure = Measured(ctx, ctx.request.WorkPath, Measure::TruePeak);
    if (!measure) return std::nullopt;
    ctx.host.LogLine("True peak before: " + LevelText(ctx, measure->TruePeak) + " dBTP");
    return measure->TruePeak;
}

double CeiledGain(Context& ctx, double gain, std::optional<double>& truePeak)
{
    const std::optional<double> measured = LogTruePeakBefore(ctx);
    if (!measured) return gain;
    truePeak = measured;
    return CeilingGain(gain, *measured, *ctx.settings.TruePeak);
}

std::optional<double> LogTruePeakAfter(Context& ctx)
{
    if (!ctx.settings.TruePeak) return std::nullopt;
    const auto measure = Measured(ctx, ctx.request.TempPath, Measure::TruePeak);
    if (!measure) return std::nullopt;
    ctx.host.LogLine("True peak after: " + LevelText(ctx, measure->TruePeak) + " dBTP");
    return measure->TruePeak;
}

}  // namespace varnook
