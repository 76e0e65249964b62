#include "loudness/loudness.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <ebur128.h>

#include "io/byte_order.h"
#include "io/file.h"

namespace varnook {
namespace {

constexpr int64_t kBlockFrames = 16384;
constexpr int64_t kBytesPerSample = 2;
constexpr double kSilenceGain = 90;

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using State = std::unique_ptr<ebur128_state, StateDeleter>;

int ModeFor(Measure what)
{
    switch (what) {
    case Measure::Integrated: return EBUR128_MODE_I;
    case Measure::TruePeak: return EBUR128_MODE_TRUE_PEAK;
    case Measure::Both: break;
    }
    return EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK;
}

double Decibels(double linear)
{
    return linear > 0 ? 20 * std::log10(linear) : -HUGE_VAL;
}

// Feeds the samples block by block; the bytes are turned into shorts explicitly so the byte
// order of the host never matters.
void Feed(ebur128_state* state, const File& file, const Pcm16Stretch& stretch, const std::function<void()>& yield)
{
    const int64_t frameBytes = kBytesPerSample * stretch.Channels;
    std::vector<uint8_t> bytes(static_cast<size_t>(kBlockFrames * frameBytes));
    std::vector<int16_t> samples(static_cast<size_t>(kBlockFrames * stretch.Channels));
    int64_t position = stretch.DataStart;
    int64_t remaining = stretch.DataBytes / frameBytes * frameBytes;
    while (remaining > 0) {
        const int64_t wanted = std::min(remaining, kBlockFrames * frameBytes);
        const size_t got = file.ReadAt(position, std::span(bytes.data(), static_cast<size_t>(wanted)));
        const size_t frames = got / static_cast<size_t>(frameBytes);
        const size_t count = frames * static_cast<size_t>(stretch.Channels);
        for (size_t i = 0; i < count; ++i) samples[i] = LoadLE16(bytes.data() + kBytesPerSample * i);
        ebur128_add_frames_short(state, samples.data(), frames);
        yield();
        if (got < static_cast<size_t>(wanted)) break;
        position += wanted;
        remaining -= wanted;
    }
}

}  // namespace

std::optional<LoudnessMeasure> MeasureLoudness(const Pcm16Stretch& stretch, Measure what,
                                               const std::function<void()>& yield)
{
    if (stretch.Channels < 1 || stretch.SampleRate <= 0) return std::nullopt;
    const File file(stretch.Path, File::Mode::Read);
    State state(ebur128_init(static_cast<unsigned>(stretch.Channels), static_cast<unsigned long>(stretch.SampleRate),
                             ModeFor(what)));
    if (!state) return std::nullopt;
    Feed(state.get(), file, stretch, yield);

    LoudnessMeasure measure;
    if (what != Measure::TruePeak && ebur128_loudness_global(state.get(), &measure.Integrated) != EBUR128_SUCCESS)
        return std::nullopt;
    if (what != Measure::Integrated) {
        double highest = 0;
        for (unsigned channel = 0; channel < static_cast<unsigned>(stretch.Channels); ++channel) {
            double peak = 0;
            if (ebur128_true_peak(state.get(), channel, &peak) != EBUR128_SUCCESS) return std::nullopt;
            highest = std::max(highest, peak);
        }
        measure.TruePeak = Decibels(highest);
    }
    return measure;
}

double R128Gain(double target, double integrated)
{
    return std::isfinite(integrated) ? target - integrated : kSilenceGain;
}

double CeilingGain(double gain, double truePeak, double ceiling)
{
    return std::isfinite(truePeak) ? std::min(gain, ceiling - truePeak) : gain;
}

}  // namespace varnook
