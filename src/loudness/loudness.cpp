#include "loudness/loudness.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <ebur128.h>

#include "dsp/true_peak.h"
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

}  // namespace

struct GatingBlocks {
    State state;
};

namespace {

double Decibels(double linear)
{
    return linear > 0 ? 20 * std::log10(linear) : -HUGE_VAL;
}

// The integrated loudness's gated meter. A mono file is counted as two speakers hear it, since
// players feed it to both: as dual mono, 3 dB above a single channel, so it gets the same
// loudness as its two-channel copy.
State LoudnessState(const Pcm16Stretch& stretch)
{
    State state(ebur128_init(static_cast<unsigned>(stretch.Channels), static_cast<unsigned long>(stretch.SampleRate),
                             EBUR128_MODE_I));
    if (state && stretch.Channels == 1 && ebur128_set_channel(state.get(), 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS)
        return nullptr;
    return state;
}

// Feeds the samples block by block to whichever meters there are; the bytes are turned into
// shorts explicitly so the byte order of the host never matters.
void Feed(ebur128_state* state, TruePeakMeter* peaks, const File& file, const Pcm16Stretch& stretch,
          const std::function<void()>& yield)
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
        if (state != nullptr) {
            for (size_t i = 0; i < count; ++i) samples[i] = LoadLE16(bytes.data() + kBytesPerSample * i);
            ebur128_add_frames_short(state, samples.data(), frames);
        }
        if (peaks != nullptr) peaks->AddPcm16(std::span(bytes.data(), count * kBytesPerSample));
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
    State state;
    if (what != Measure::TruePeak) {
        state = LoudnessState(stretch);
        if (!state) return std::nullopt;
    }
    std::optional<TruePeakMeter> peaks;
    if (what != Measure::Integrated) peaks.emplace(stretch.Channels, stretch.SampleRate);
    Feed(state.get(), peaks ? &*peaks : nullptr, file, stretch, yield);

    LoudnessMeasure measure;
    if (state && ebur128_loudness_global(state.get(), &measure.Integrated) != EBUR128_SUCCESS) return std::nullopt;
    if (peaks) measure.TruePeak = Decibels(peaks->Finish());
    if (state) measure.Blocks = std::make_shared<const GatingBlocks>(GatingBlocks{std::move(state)});
    return measure;
}

double PooledLoudness(std::span<const std::shared_ptr<const GatingBlocks>> blocks)
{
    // libebur128 only reads the states it gates, but takes them unqualified.
    std::vector<ebur128_state*> states;
    for (const auto& measured : blocks)
        if (measured) states.push_back(measured->state.get());
    double loudness = -HUGE_VAL;
    if (states.empty() ||
        ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS)
        return -HUGE_VAL;
    return loudness;
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
