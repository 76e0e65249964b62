#include "dsp/true_peak.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "io/byte_order.h"
#include "io/errors.h"

namespace varnook {
namespace {

// Taps and Kaiser window shapes of the two stages. The first stage's length sets how near the top
// of the band the interpolation stays true (see Reconstruction); the windows trade ripple in the
// band for rejection of its mirror image and were chosen on the standard's test signals.
constexpr size_t kStandardHalfTaps = 12;
constexpr double kStandardShape = 6;
constexpr size_t kPreciseHalfTaps = 48;
constexpr double kPreciseShape = 9;
constexpr size_t kQuarterTaps = 6;
constexpr double kQuarterShape = 5;
// From this rate on, two points per sample reach the 192 kHz the standard asks for.
constexpr int32_t kTwofoldRate = 96000;
constexpr double kFullScale = 32768;

double BesselI0(double x)
{
    double sum = 1;
    double term = 1;
    for (int k = 1; k < 64 && term > 1e-17 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// The first half of a symmetric filter that interpolates halfway between samples: a sinc under a
// Kaiser window, its taps summed to exactly one so that a constant signal stays constant.
std::vector<float> HalfwayTaps(size_t taps, double shape)
{
    const double half = static_cast<double>(taps) / 2;
    std::vector<double> values(taps);
    double sum = 0;
    for (size_t k = 0; k < taps; ++k) {
        const double t = half - 0.5 - static_cast<double>(k);  // distance from the new point
        const double r = t / half;
        const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        values[k] = sinc * BesselI0(shape * std::sqrt(1 - r * r)) / BesselI0(shape);
        sum += values[k];
    }
    std::vector<float> first(taps / 2);
    for (size_t k = 0; k < first.size(); ++k) first[k] = static_cast<float>(values[k] / sum);
    return first;
}

// Four or eight samples as one vector; single floats finish what does not fill one. Each lane
// gets exactly the arithmetic the single float gets (the core is built without contraction), so
// the lane width never changes a result, and neither does the piece a frame is interpolated in.
// Every function that takes or gives such a vector is inlined into the one kernel that uses it,
// so no call passes one and the ABI note about eight-float vectors does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float Floats4 __attribute__((vector_size(16)));
typedef float Floats8 __attribute__((vector_size(32)));

template <class V>
constexpr size_t kLanes = sizeof(V) / sizeof(float);

// Loads and stores at any float's address (a copy compiles to one unaligned move).
template <class V>
[[gnu::always_inline]] inline V Load(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void Store(float* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline V Magnitude(V v)
{
    return v < 0 ? -v : v;
}

template <class V>
[[gnu::always_inline]] inline V Larger(V a, V b)
{
    return a > b ? a : b;
}

// y[m] for m in [from, to): the point halfway after frame m, from the symmetric taps' pairs.
template <class V>
[[gnu::always_inline]] inline void Midpoints(const std::vector<float>& taps, const float* x, float* y, ptrdiff_t from,
                                             ptrdiff_t to)
{
    const auto half = static_cast<ptrdiff_t>(taps.size());
    for (ptrdiff_t m = from; m < to; m += static_cast<ptrdiff_t>(kLanes<V>)) {
        V sum{};
        for (ptrdiff_t k = 0; k < half; ++k)
            sum += taps[static_cast<size_t>(k)] * (Load<V>(x + m - half + 1 + k) + Load<V>(x + m + half - k));
        Store(y + m, sum);
    }
}

// The frame peaks of frames [from, to), their points interpolated from the samples x and the
// midpoints y. Returns the largest, folded into `largest`.
template <class V>
[[gnu::always_inline]] inline V FramePeaksFrom(const std::vector<float>& quarterTaps, const float* x, const float* y,
                                               ptrdiff_t from, ptrdiff_t to, size_t count, float* peaks,
                                               float* points, V largest)
{
    const bool fourfold = !quarterTaps.empty();
    for (ptrdiff_t n = from; n < to; n += static_cast<ptrdiff_t>(kLanes<V>)) {
        const V x0 = Load<V>(x + n);
        const V y0 = Load<V>(y + n);
        V peak = Larger(Magnitude(x0), Magnitude(y0));
        V quarter{};
        V threeQuarters{};
        if (fourfold) {
            // The second stage runs over the samples and midpoints taken in turn: its six taps
            // fall on x[n-1], y[n-1], x[n], y[n], x[n+1], y[n+1] for the point a quarter after n,
            // and one place later for the point three quarters after it.
            const float d0 = quarterTaps[0];
            const float d1 = quarterTaps[1];
            const float d2 = quarterTaps[2];
            const V xBefore = Load<V>(x + n - 1);
            const V x1 = Load<V>(x + n + 1);
            const V x2 = Load<V>(x + n + 2);
            const V yBefore = Load<V>(y + n - 1);
            const V y1 = Load<V>(y + n + 1);
            quarter = d0 * (xBefore + y1) + d1 * (yBefore + x1) + d2 * (x0 + y0);
            threeQuarters = d0 * (yBefore + x2) + d1 * (x0 + y1) + d2 * (y0 + x1);
            peak = Larger(peak, Larger(Magnitude(quarter), Magnitude(threeQuarters)));
        }
        if (peaks != nullptr) Store(peaks + n, peak);
        if (points != nullptr) {
            const auto row = static_cast<ptrdiff_t>(count);
            Store(points + n, x0);
            if (fourfold) {
                Store(points + row + n, quarter);
                Store(points + 2 * row + n, y0);
                Store(points + 3 * row + n, threeQuarters);
            } else {
                Store(points + row + n, y0);
            }
        }
        largest = Larger(largest, peak);
    }
    return largest;
}

// One pass over `count` frames: the midpoints first (one frame on either side more at fourfold,
// which the quarter points use), then the frame peaks; whole vectors first, single floats for
// the rest.
template <class V>
[[gnu::always_inline]] inline float Interpolate(Oversampler::Stages& stages, const float* x, size_t count,
                                                float* peaks, float* points)
{
    const auto n = static_cast<ptrdiff_t>(count);
    const auto lanes = static_cast<ptrdiff_t>(kLanes<V>);
    const ptrdiff_t margin = stages.QuarterTaps.empty() ? 0 : 1;
    float* y = stages.Midpoints.data() + 1;  // y[-1] is the midpoint before frame 0
    const ptrdiff_t midFrom = -margin;
    const ptrdiff_t midTo = n + margin;
    const ptrdiff_t midSplit = midFrom + (midTo - midFrom) / lanes * lanes;
    Midpoints<V>(stages.HalfTaps, x, y, midFrom, midSplit);
    Midpoints<float>(stages.HalfTaps, x, y, midSplit, midTo);

    const ptrdiff_t split = n / lanes * lanes;
    const V wide = FramePeaksFrom<V>(stages.QuarterTaps, x, y, 0, split, count, peaks, points, V{});
    float largest = FramePeaksFrom<float>(stages.QuarterTaps, x, y, split, n, count, peaks, points, 0.0F);
    for (size_t lane = 0; lane < kLanes<V>; ++lane) largest = std::max(largest, wide[lane]);
    return largest;
}

[[gnu::target("avx2")]] float InterpolateEight(Oversampler::Stages& stages, const float* x, size_t count,
                                               float* peaks, float* points)
{
    return Interpolate<Floats8>(stages, x, count, peaks, points);
}

float InterpolateFour(Oversampler::Stages& stages, const float* x, size_t count, float* peaks, float* points)
{
    return Interpolate<Floats4>(stages, x, count, peaks, points);
}

}  // namespace

int OversamplingFactor(int32_t sampleRate)
{
    return sampleRate < kTwofoldRate ? 4 : 2;
}

Oversampler::Oversampler(Reconstruction reconstruction, int32_t sampleRate)
{
    if (sampleRate <= 0) throw ProgramError(program_errors::kInvalidArgument, "The interpolation needs a positive rate");
    factor_ = OversamplingFactor(sampleRate);
    const bool precise = reconstruction == Reconstruction::Precise;
    stages_.HalfTaps = HalfwayTaps(precise ? kPreciseHalfTaps : kStandardHalfTaps, precise ? kPreciseShape : kStandardShape);
    if (factor_ == 4) stages_.QuarterTaps = HalfwayTaps(kQuarterTaps, kQuarterShape);
    // The midpoint after frame m reaches half the taps beyond it; the last frame's points use the
    // midpoint after the next frame.
    reach_ = stages_.HalfTaps.size() + 1;
    stages_.Midpoints.resize(kMaxFrames + 2);
    kernel_ = __builtin_cpu_supports("avx2") ? InterpolateEight : InterpolateFour;
}

float Oversampler::FramePeaks(const float* frames, size_t count, float* peaks)
{
    if (count > kMaxFrames) throw ProgramError(program_errors::kSubscriptOutOfRange, "Too many frames to interpolate");
    return kernel_(stages_, frames, count, peaks, nullptr);
}

std::vector<float> Oversampler::Points(const float* frames, size_t count)
{
    if (count > kMaxFrames) throw ProgramError(program_errors::kSubscriptOutOfRange, "Too many frames to interpolate");
    std::vector<float> rows(count * static_cast<size_t>(factor_));
    kernel_(stages_, frames, count, nullptr, rows.data());
    std::vector<float> points(rows.size());
    for (size_t i = 0; i < count; ++i)
        for (size_t p = 0; p < static_cast<size_t>(factor_); ++p) points[i * static_cast<size_t>(factor_) + p] = rows[p * count + i];
    return points;
}

TruePeakMeter::TruePeakMeter(int channels, int32_t sampleRate, Reconstruction reconstruction)
    : oversampler_(reconstruction, sampleRate), channels_(channels)
{
    if (channels < 1) throw ProgramError(program_errors::kInvalidArgument, "The meter needs a channel");
    const size_t reach = oversampler_.Reach();
    frames_.assign(static_cast<size_t>(channels), std::vector<float>(reach + Oversampler::kMaxFrames + reach));
    filled_ = reach;  // silence before the first sample
}

void TruePeakMeter::AddPcm16(std::span<const uint8_t> bytes)
{
    const auto frameBytes = static_cast<size_t>(2 * channels_);
    const size_t capacity = frames_[0].size();
    size_t frames = bytes.size() / frameBytes;
    const uint8_t* in = bytes.data();
    while (frames > 0) {
        const size_t n = std::min(frames, capacity - filled_);
        for (size_t c = 0; c < frames_.size(); ++c) {
            float* out = frames_[c].data() + filled_;
            const uint8_t* sample = in + 2 * c;
            // Dividing by a power of two is exact, so the interpolation sees the samples as they are.
            for (size_t i = 0; i < n; ++i)
                out[i] = static_cast<float>(LoadLE16(sample + i * frameBytes)) / static_cast<float>(kFullScale);
        }
        filled_ += n;
        in += n * frameBytes;
        frames -= n;
        if (filled_ == capacity) Interpolate(Oversampler::kMaxFrames);
    }
}

double TruePeakMeter::Finish()
{
    // The silence after the last sample is the context of the last frames.
    const size_t reach = oversampler_.Reach();
    const size_t capacity = frames_[0].size();
    for (size_t silent = reach; silent > 0;) {
        const size_t n = std::min(silent, capacity - filled_);
        for (auto& channel : frames_) std::fill_n(channel.begin() + static_cast<ptrdiff_t>(filled_), n, 0.0F);
        filled_ += n;
        silent -= n;
        if (filled_ == capacity) Interpolate(Oversampler::kMaxFrames);
    }
    Interpolate(filled_ - 2 * reach);
    return peak_;
}

// Interpolates the `count` frames after the leading context, then keeps what follows them, the
// context of the next frames included.
void TruePeakMeter::Interpolate(size_t count)
{
    const size_t reach = oversampler_.Reach();
    for (auto& channel : frames_) {
        peak_ = std::max(peak_, oversampler_.FramePeaks(channel.data() + reach, count, nullptr));
        std::copy(channel.begin() + static_cast<ptrdiff_t>(count), channel.begin() + static_cast<ptrdiff_t>(filled_),
                  channel.begin());
    }
    filled_ -= count;
}

}  // namespace varnook
