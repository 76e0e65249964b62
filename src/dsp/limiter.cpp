#include "dsp/limiter.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "io/errors.h"

namespace varnook {
namespace {

constexpr double kAttackSeconds = 0.005;
constexpr double kHoldSeconds = 0.030;
constexpr double kReleaseSeconds = 0.150;
// The release heads for this gain and stops at unity, which it so reaches in finite time.
constexpr double kReleaseTarget = 1.01;
// The detection aims 0.1 dB under the ceiling (see the header).
constexpr double kDetectionMargin = 0.98855;

// The samples as floats, eight at a time so that the conversion compiles to vector code.
void ToFloats(const double* from, size_t count, float* to)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8)
        for (size_t k = 0; k < 8; ++k) to[i + k] = static_cast<float>(from[i + k]);
    for (; i < count; ++i) to[i] = static_cast<float>(from[i]);
}

size_t Frames(double seconds, int32_t sampleRate)
{
    return std::max<size_t>(1, static_cast<size_t>(std::lround(seconds * sampleRate)));
}

}  // namespace

TruePeakLimiter::TruePeakLimiter(int channels, int32_t sampleRate, double ceiling)
    : oversampler_(Reconstruction::Precise, sampleRate), channels_(channels), sampleRate_(sampleRate)
{
    if (channels < 1) throw ProgramError(program_errors::kInvalidArgument, "The limiter needs a channel");
    if (!(ceiling > 0)) throw ProgramError(program_errors::kInvalidArgument, "The limiter needs a ceiling above zero");
    detectionCeiling_ = ceiling * kDetectionMargin;
    attack_ = Frames(kAttackSeconds, sampleRate);
    guard_ = oversampler_.Reach();
    hold_ = Frames(kHoldSeconds, sampleRate);
    release_ = std::exp(-1 / (kReleaseSeconds * static_cast<double>(sampleRate)));
    const size_t reach = oversampler_.Reach();
    lookAhead_ = attack_ + guard_ + reach;

    raw_.assign(static_cast<size_t>(channels), std::vector<float>(reach + Oversampler::kMaxFrames + reach));
    peaks_.assign(static_cast<size_t>(channels), std::vector<float>(Oversampler::kMaxFrames));
    rawFilled_ = reach;  // silence before the first frame
    // Required gains are kept from the window's oldest step to the last one detected; a power of
    // two, so that a step's place in the ring is a mask away.
    required_.resize(std::bit_ceil(Oversampler::kMaxFrames + attack_ + 2 * guard_ + 1));
    ringMask_ = required_.size() - 1;
    window_.resize(required_.size());
    ramp_.assign(attack_, 1.0);
    rampSum_ = static_cast<double>(attack_);
}

void TruePeakLimiter::Limit(std::span<double* const> channels, size_t count, size_t ahead)
{
    if (channels.size() != static_cast<size_t>(channels_))
        throw ProgramError(program_errors::kInvalidArgument, "The limiter got another number of channels");
    const int64_t first = out_;
    const int64_t last = first + static_cast<int64_t>(count);
    if (ahead < lookAhead_) end_ = std::min(end_, last + static_cast<int64_t>(ahead));
    const auto lead = static_cast<int64_t>(attack_);
    const auto reachOfGain = static_cast<int64_t>(attack_ + guard_);
    while (gained_ < last + lead) {
        const int64_t pieceEnd = std::min<int64_t>(gained_ + static_cast<int64_t>(Oversampler::kMaxFrames), last + lead);
        Detect(channels, first, pieceEnd + reachOfGain);
        if (Idle()) {
            // Nothing in reach of these steps needs a cut: their gain is exactly 1.
            Skip(pieceEnd);
            continue;
        }
        for (; gained_ < pieceEnd; ++gained_) {
            const double gain = NextGain(gained_);
            const int64_t frame = gained_ - lead;
            if (frame < first || gain == 1) continue;
            ++framesLimiting_;
            smallestGain_ = std::min(smallestGain_, gain);
            for (double* channel : channels) channel[frame - first] *= gain;
        }
    }
    out_ = last;
}

// Works out the required gain of steps [detected_, upTo), reading the frames it needs from the
// caller's channels (whose frame 0 is `first`) into raw_ before they can be limited.
void TruePeakLimiter::Detect(std::span<double* const> channels, int64_t first, int64_t upTo)
{
    const size_t reach = oversampler_.Reach();
    const auto lead = static_cast<int64_t>(attack_);
    while (detected_ < upTo) {
        const auto count = static_cast<size_t>(std::min<int64_t>(Oversampler::kMaxFrames, upTo - detected_));
        const int64_t fillTo = detected_ + static_cast<int64_t>(count + reach);
        // Steps before frame 0 and frames past the end are silence.
        const int64_t from = std::clamp(rawEnd_ - lead, int64_t{0}, end_);
        const int64_t to = std::clamp(fillTo - lead, from, end_);
        const auto silentBefore = static_cast<size_t>(std::clamp(-(rawEnd_ - lead), int64_t{0}, fillTo - rawEnd_));
        for (size_t c = 0; c < raw_.size(); ++c) {
            float* into = std::fill_n(raw_[c].data() + rawFilled_, silentBefore, 0.0F);
            ToFloats(channels[c] + (from - first), static_cast<size_t>(to - from), into);
            std::fill(into + (to - from), raw_[c].data() + rawFilled_ + (fillTo - rawEnd_), 0.0F);
        }
        rawFilled_ += static_cast<size_t>(fillTo - rawEnd_);
        rawEnd_ = fillTo;

        // Frames none of whose points can reach the ceiling need no interpolation, and frames
        // whose peaks stay under it no gain of their own.
        const auto ceiling = static_cast<float>(detectionCeiling_);
        float largest = 0;
        for (size_t c = 0; c < raw_.size(); ++c) {
            if (oversampler_.Bound(raw_[c].data() + reach, count) > ceiling)
                largest = std::max(largest, oversampler_.FramePeaks(raw_[c].data() + reach, count, peaks_[c].data(), ceiling));
            else
                std::fill_n(peaks_[c].begin(), count, 0.0F);
        }
        if (largest <= ceiling) {
            for (size_t i = 0; i < count; ++i) required_[static_cast<size_t>(detected_ + static_cast<int64_t>(i)) & ringMask_] = 1.0;
            detected_ += static_cast<int64_t>(count);
        }
        for (size_t i = 0; largest > ceiling && i < count; ++i, ++detected_) {
            float peak = peaks_[0][i];
            for (size_t c = 1; c < peaks_.size(); ++c) peak = std::max(peak, peaks_[c][i]);
            const bool over = peak > ceiling;
            required_[static_cast<size_t>(detected_) & ringMask_] = over ? detectionCeiling_ / peak : 1.0;
            if (over) lastRequiring_ = detected_;
        }
        for (auto& channel : raw_)
            std::copy(channel.begin() + static_cast<ptrdiff_t>(count), channel.begin() + static_cast<ptrdiff_t>(rawFilled_),
                      channel.begin());
        rawFilled_ -= count;
    }
}

// True when the gain is at rest at unity and no step from here to the last one detected needs a
// cut: the gain stays exactly 1 up to the next step that does. (One before here that needed a
// cut would still hold the envelope down.)
bool TruePeakLimiter::Idle() const
{
    return envelope_ == 1 && rampBelowUnity_ == 0 && lastRequiring_ < gained_;
}

// Passes over the steps up to `to` as Idle() allows, keeping the state as stepping through them
// would: the window holds only gains of 1 (so it can start afresh), the ramp only ones.
void TruePeakLimiter::Skip(int64_t to)
{
    const auto skipped = static_cast<size_t>(to - gained_);
    rampSlot_ = (rampSlot_ + skipped) % attack_;
    gained_ = to;
    windowSize_ = 0;
    pushed_ = to;
}

// Lets `step` into the window, dropping from the back the steps that can no longer be the
// smallest, since this one needs as little gain or less and stays in the window longer.
void TruePeakLimiter::PushRequired(int64_t step)
{
    const double gain = required_[static_cast<size_t>(step) & ringMask_];
    while (windowSize_ > 0) {
        const int64_t back = window_[(windowFront_ + windowSize_ - 1) & ringMask_];
        if (required_[static_cast<size_t>(back) & ringMask_] < gain) break;
        --windowSize_;
    }
    window_[(windowFront_ + windowSize_) & ringMask_] = step;
    ++windowSize_;
}

// The gain of `step`: the smallest required gain around it, held, released and ramped.
double TruePeakLimiter::NextGain(int64_t step)
{
    const auto attack = static_cast<int64_t>(attack_);
    const auto guard = static_cast<int64_t>(guard_);
    while (pushed_ <= step + attack + guard) PushRequired(pushed_++);
    while (window_[windowFront_] < step - guard) {
        windowFront_ = (windowFront_ + 1) & ringMask_;
        --windowSize_;
    }
    const double least = required_[static_cast<size_t>(window_[windowFront_]) & ringMask_];
    if (least <= envelope_) {
        envelope_ = least;
        holding_ = hold_;
    } else if (holding_ > 0) {
        --holding_;
    } else {
        envelope_ = std::min({least, 1.0, kReleaseTarget - (kReleaseTarget - envelope_) * release_});
    }

    // The mean of the last `attack_` envelope values: a peak's cut, held over the whole window,
    // is reached in a straight line by the time the peak comes. The sum is set anew whenever the
    // ramp is all unity again, so that rounding never leaves a gain a hair off 1.
    const double leaving = ramp_[rampSlot_];
    ramp_[rampSlot_] = envelope_;
    rampSlot_ = rampSlot_ + 1 == attack_ ? 0 : rampSlot_ + 1;
    rampBelowUnity_ = rampBelowUnity_ + (envelope_ != 1 ? 1 : 0) - (leaving != 1 ? 1 : 0);
    rampSum_ += envelope_ - leaving;
    if (rampBelowUnity_ == 0) rampSum_ = static_cast<double>(attack_);
    return rampBelowUnity_ == 0 ? 1.0 : rampSum_ / static_cast<double>(attack_);
}

double TruePeakLimiter::LargestReductionDb() const
{
    return smallestGain_ < 1 ? -20 * std::log10(smallestGain_) : 0.0;
}

double TruePeakLimiter::SecondsLimiting() const
{
    return static_cast<double>(framesLimiting_) / sampleRate_;
}

}  // namespace varnook
