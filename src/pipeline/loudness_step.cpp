#include "pipeline/loudness_step.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "base/context.h"
#include "convert/decoded_samples.h"
#include "io/numbers.h"
#include "io/errors.h"
#include "loudness/loudness.h"

namespace varnook {
namespace {

std::optional<LoudnessMeasure> Measured(Context& ctx, const std::string& path, Measure what,
                                        Reconstruction reconstruction = Reconstruction::Standard)
{
    const WavInfo& wav = ctx.wav;
    const PcmStretch stretch{path, wav.Channels, wav.SampleRate, wav.DataStart, wav.DataSize, wav.BitsPerSample};
    try {
        return MeasureLoudness(stretch, what, [&ctx] { ctx.host.Yield(); }, reconstruction);
    } catch (const FileError& error) {
        ctx.host.LogLine(error.LogText());
        return std::nullopt;
    }
}

}  // namespace

std::string LevelText(const Context& ctx, double value)
{
    return std::isfinite(value) ? FormatFixed2(value, ctx.decimalSeparator) : "-inf";
}

std::optional<double> R128Analyzed(Context& ctx, std::shared_ptr<const GatingBlocks>* blocks)
{
    auto measure = Measured(ctx, ctx.request.WorkPath, Measure::Integrated);
    if (!measure) return std::nullopt;
    ctx.host.LogLine("Integrated loudness: " + LevelText(ctx, measure->Integrated) + " LUFS");
    if (blocks != nullptr) *blocks = std::move(measure->Blocks);
    return R128Gain(ctx.settings.Target, measure->Integrated);
}

std::optional<double> IntegratedLoudness(Context& ctx, const std::string& path)
{
    const auto measure = Measured(ctx, path, Measure::Integrated);
    return measure ? std::optional(measure->Integrated) : std::nullopt;
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

std::optional<double> TruePeakCeiling(const RunSettings& settings)
{
    if (settings.Peaks == PeakMode::Limit) return settings.TruePeak.value_or(kLimiterCeiling);
    return settings.TruePeak;
}

std::optional<double> LogTruePeakAfter(Context& ctx)
{
    if (!TruePeakCeiling(ctx.settings)) return std::nullopt;
    const Reconstruction reconstruction =
        ctx.settings.Peaks == PeakMode::Limit ? Reconstruction::Precise : Reconstruction::Standard;
    const auto measure = Measured(ctx, ctx.request.TempPath, Measure::TruePeak, reconstruction);
    if (!measure) return std::nullopt;
    ctx.host.LogLine("True peak after: " + LevelText(ctx, measure->TruePeak) + " dBTP");
    return measure->TruePeak;
}

std::optional<double> NextLevelingGain(const std::vector<LevelingPass>& passes, double aim)
{
    const LevelingPass& last = passes.back();
    if (std::abs(aim - last.Loudness) <= kLoudnessTolerance || passes.size() >= kMostLevelings) return std::nullopt;
    const LevelingPass* under = nullptr;
    const LevelingPass* over = nullptr;
    for (const LevelingPass& pass : passes) {
        if (pass.Loudness < aim && (!under || pass.Gain > under->Gain)) under = &pass;
        if (pass.Loudness > aim && (!over || pass.Gain < over->Gain)) over = &pass;
    }
    if (under && over)
        return under->Gain + (aim - under->Loudness) * (over->Gain - under->Gain) / (over->Loudness - under->Loudness);
    double slope = 1;
    if (passes.size() >= 2) {
        const LevelingPass& previous = passes[passes.size() - 2];
        slope = (last.Loudness - previous.Loudness) / (last.Gain - previous.Gain);
        if (!(slope >= kLeastSlope)) return std::nullopt;
    }
    return last.Gain + (aim - last.Loudness) / std::min(slope, 1.0);
}

namespace {

constexpr std::string_view kAgain = ", encoding again";
constexpr std::string_view kAsBefore = ", encoding again as before";
constexpr const char* kNotMeasured = "Could not measure the true peak after encoding";
constexpr const char* kStillOver = "Could not bring the true peak under the ceiling";

enum class Line { None, TruePeak, Loudness };

// A delivered file as the check goes through it: each measure logged, noted for the result.
class Delivery {
public:
    Delivery(Context& ctx, const std::string& path, double ceiling, std::optional<double> aim,
             const std::function<bool(double)>& encodedAgain)
        : ctx_(ctx), path_(path), ceiling_(ceiling), aim_(aim), encodedAgain_(encodedAgain)
    {
    }

    DeliveryCheck Check()
    {
        std::optional<LoudnessMeasure> measure = Measured();
        if (measure && !Over(*measure)) {
            if (aim_) MakeUpLoudness(*measure);
            else Log(*measure);
            return result_;
        }
        for (int again = 1; measure && Over(*measure); ++again) {
            if (again > kMostReencodings) {
                Log(*measure);
                ctx_.host.LogLine(kStillOver);
                result_.Failure = kStillOver;
                return result_;
            }
            Log(*measure, Line::TruePeak, kAgain);
            if (!Encoded(result_.Change + ceiling_ - measure->TruePeak - kReencodeMargin)) return result_;
            measure = Measured();
        }
        if (measure) Log(*measure);
        return result_;
    }

private:
    void MakeUpLoudness(const LoudnessMeasure& first)
    {
        const double miss = std::isfinite(first.Integrated) ? *aim_ - first.Integrated : 0;
        const double step = std::min(miss, ceiling_ - first.TruePeak - kReencodeMargin);
        const bool aiming = std::abs(miss) > kLoudnessTolerance && std::abs(step) > kLoudnessTolerance;
        Log(first, aiming ? Line::Loudness : Line::None, kAgain);
        if (!aiming || !Encoded(step)) return;
        const std::optional<LoudnessMeasure> second = Measured();
        if (!second) return;
        const bool closer = !Over(*second) && std::abs(*aim_ - second->Integrated) < std::abs(miss);
        Log(*second, closer ? Line::None : Over(*second) ? Line::TruePeak : Line::Loudness, kAsBefore);
        if (closer || !Encoded(0)) return;
        result_.TruePeak = first.TruePeak;
    }

    bool Over(const LoudnessMeasure& measure) const { return measure.TruePeak > ceiling_ - kReadingMargin; }

    bool Encoded(double change)
    {
        if (!encodedAgain_(change)) return false;
        result_.Change = change;
        return true;
    }

    std::optional<LoudnessMeasure> Measured()
    {
        std::optional<LoudnessMeter> meter;
        const Measure what = aim_ ? Measure::Both : Measure::TruePeak;
        const bool whole = DecodedSamples(
            path_, [&](int channels, int32_t rate) { meter.emplace(channels, rate, what, Reconstruction::Precise); },
            [&](std::span<const float> samples) {
                meter->AddFloat(samples);
                ctx_.host.Yield();
            });
        std::optional<LoudnessMeasure> measure = whole && meter ? meter->Finish() : std::nullopt;
        result_.TruePeak = measure ? std::optional(measure->TruePeak) : std::nullopt;
        if (!measure) {
            ctx_.host.LogLine(kNotMeasured);
            result_.Failure = kNotMeasured;
        }
        return measure;
    }

    void Log(const LoudnessMeasure& measure, Line calling = Line::None, std::string_view then = "")
    {
        const auto after = [&](Line line) { return std::string(calling == line ? then : ""); };
        ctx_.host.LogLine("True peak after encoding: " + LevelText(ctx_, measure.TruePeak) + " dBTP" +
                          after(Line::TruePeak));
        if (aim_)
            ctx_.host.LogLine("Loudness after encoding: " + LevelText(ctx_, measure.Integrated) + " LUFS" +
                              after(Line::Loudness));
    }

    Context& ctx_;
    const std::string& path_;
    double ceiling_;
    std::optional<double> aim_;
    const std::function<bool(double)>& encodedAgain_;
    DeliveryCheck result_;
};

}  // namespace

DeliveryCheck CheckedDelivery(Context& ctx, const std::string& path, double ceiling, std::optional<double> aim,
                              const std::function<bool(double change)>& encodedAgain)
{
    return Delivery(ctx, path, ceiling, aim, encodedAgain).Check();
}

}  // namespace varnook
