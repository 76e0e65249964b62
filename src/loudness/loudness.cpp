#include "loudness/loudness.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <ebur128.h>

#include "dsp/true_peak.h"
#include "io/byte_order.h"
#include "io/file.h"

namespace varnook {
namespace {

constexpr int64_t kBlockFrames = 16384;
constexpr double kSilenceGain = 90;

}  // namespace

// The integrated loudness's gated meter. A mono file is counted as two speakers hear it, since
// players feed it to both: as dual mono, 3 dB above a single channel, so it gets the same
// loudness as its two-channel copy.
struct GatingBlocks {
    GatingBlocks(int channels, int32_t sampleRate)
        : state(ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I))
    {
        if (state && channels == 1 && ebur128_set_channel(state, 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS)
            ebur128_destroy(&state);
    }
    ~GatingBlocks()
    {
        if (state != nullptr) ebur128_destroy(&state);
    }
    GatingBlocks(const GatingBlocks&) = delete;
    GatingBlocks& operator=(const GatingBlocks&) = delete;

    ebur128_state* state;
};

LoudnessMeter::LoudnessMeter(int channels, int32_t sampleRate, Measure what, Reconstruction reconstruction)
    : channels_(channels), usable_(channels >= 1 && sampleRate > 0)
{
    if (!usable_) return;
    if (what != Measure::TruePeak) {
        gated_ = std::make_shared<GatingBlocks>(channels, sampleRate);
        usable_ = gated_->state != nullptr;
    }
    if (what != Measure::Integrated) peaks_.emplace(channels, sampleRate, reconstruction);
    samples_.resize(static_cast<size_t>(kBlockFrames * channels));
}

LoudnessMeter::~LoudnessMeter() = default;

// The bytes are turned into numbers explicitly so the byte order of the host never matters. Every
// sample goes to libebur128 in the top bits of an int, which it takes on a full scale of 2^31: a
// power of two, so a 16-bit sample shifted up reads exactly as libebur128 reads it as a short.
template <int Width>
void LoudnessMeter::AddPcm(std::span<const uint8_t> bytes)
{
    if (!usable_) return;
    const auto frameBytes = static_cast<size_t>(Width * channels_);
    const size_t blockBytes = static_cast<size_t>(kBlockFrames) * frameBytes;
    for (size_t done = 0; bytes.size() - done >= frameBytes;) {
        const auto piece = bytes.subspan(done, std::min(bytes.size() - done, blockBytes) / frameBytes * frameBytes);
        const size_t frames = piece.size() / frameBytes, count = piece.size() / Width;
        if (gated_) {
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* at = piece.data() + Width * i;
                samples_[i] = Width == 2 ? LoadLE16(at) * 65536 : LoadLE24(at) * 256;
            }
            ebur128_add_frames_int(gated_->state, samples_.data(), frames);
        }
        if constexpr (Width == 2) {
            if (peaks_) peaks_->AddPcm16(piece);
        } else if (peaks_) {
            peaks_->AddPcm24(piece);
        }
        done += piece.size();
    }
}

void LoudnessMeter::AddPcm16(std::span<const uint8_t> bytes)
{
    AddPcm<2>(bytes);
}

void LoudnessMeter::AddPcm24(std::span<const uint8_t> bytes)
{
    AddPcm<3>(bytes);
}

void LoudnessMeter::AddFloat(std::span<const float> samples)
{
    if (!usable_) return;
    const size_t frames = samples.size() / static_cast<size_t>(channels_);
    if (gated_) ebur128_add_frames_float(gated_->state, samples.data(), frames);
    if (peaks_) peaks_->AddFloat(samples.first(frames * static_cast<size_t>(channels_)));
}

std::optional<LoudnessMeasure> LoudnessMeter::Finish()
{
    if (!usable_) return std::nullopt;
    LoudnessMeasure measure;
    if (gated_ && ebur128_loudness_global(gated_->state, &measure.Integrated) != EBUR128_SUCCESS)
        return std::nullopt;
    if (peaks_) measure.TruePeak = Decibels(peaks_->Finish());
    measure.Blocks = gated_;
    return measure;
}

std::optional<LoudnessMeasure> MeasureLoudness(const PcmStretch& stretch, Measure what,
                                               const std::function<void()>& yield, Reconstruction reconstruction)
{
    LoudnessMeter meter(stretch.Channels, stretch.SampleRate, what, reconstruction);
    if (!meter.Usable()) return std::nullopt;
    const File file(stretch.Path, File::Mode::Read);
    const bool deep = stretch.Bits == 24;
    const int64_t frameBytes = (deep ? 3 : 2) * stretch.Channels;
    std::vector<uint8_t> bytes(static_cast<size_t>(kBlockFrames * frameBytes));
    int64_t position = stretch.DataStart;
    int64_t remaining = stretch.DataBytes / frameBytes * frameBytes;
    while (remaining > 0) {
        const int64_t wanted = std::min(remaining, kBlockFrames * frameBytes);
        const size_t got = file.ReadAt(position, std::span(bytes.data(), static_cast<size_t>(wanted)));
        if (deep) meter.AddPcm24(std::span(bytes.data(), got));
        else meter.AddPcm16(std::span(bytes.data(), got));
        yield();
        if (got < static_cast<size_t>(wanted)) break;
        position += wanted;
        remaining -= wanted;
    }
    return meter.Finish();
}

double Decibels(double linear)
{
    return linear > 0 ? 20 * std::log10(linear) : -HUGE_VAL;
}

double PooledLoudness(std::span<const std::shared_ptr<const GatingBlocks>> blocks)
{
    // libebur128 only reads the states it gates, but takes them unqualified.
    std::vector<ebur128_state*> states;
    for (const auto& measured : blocks)
        if (measured) states.push_back(measured->state);
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
