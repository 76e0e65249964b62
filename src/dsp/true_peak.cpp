#include "dsp/true_peak.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <type_traits>

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
// Midpoints worked out before frame 0: the point before a frame's first, and its neighbour.
constexpr ptrdiff_t kMidpointsBefore = 2;

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
// `Vectors` vectors of frames at a time, each its own chain of sums, so that the additions of one
// wait on those of the others rather than on their own; each frame's sum is still taken in the
// same order.
template <class V, size_t Vectors = 1>
[[gnu::always_inline]] inline ptrdiff_t Midpoints(const std::vector<float>& taps, const float* x, float* y, ptrdiff_t from,
                                                  ptrdiff_t to)
{
    const auto half = static_cast<ptrdiff_t>(taps.size());
    constexpr auto step = static_cast<ptrdiff_t>(kLanes<V> * Vectors);
    ptrdiff_t m = from;
    for (; m + step <= to; m += step) {
        V sum[Vectors] = {};
        for (ptrdiff_t k = 0; k < half; ++k) {
            const float tap = taps[static_cast<size_t>(k)];
            for (size_t v = 0; v < Vectors; ++v) {
                const ptrdiff_t at = m + static_cast<ptrdiff_t>(v * kLanes<V>);
                sum[v] += tap * (Load<V>(x + at - half + 1 + k) + Load<V>(x + at + half - k));
            }
        }
        for (size_t v = 0; v < Vectors; ++v) Store(y + m + static_cast<ptrdiff_t>(v * kLanes<V>), sum[v]);
    }
    return m;
}

// Whether any lane passes `threshold`.
template <class V>
[[gnu::always_inline]] inline bool AnyAbove(V v, float threshold)
{
    if constexpr (std::is_same_v<V, float>) {
        return v > threshold;
    } else {
        bool above = false;
        for (size_t lane = 0; lane < kLanes<V>; ++lane) above = above || v[lane] > threshold;
        return above;
    }
}

// How high the waveform rises round point b, given its neighbours a and c: where b stands out
// from them, the vertex of the parabola through the three, otherwise |b|. Between points a
// quarter of a sample apart a crest can lie up to 0.55 dB above the nearest point (for a tone at
// 0.45 of the rate); the vertex finds it within 0.05 dB, always from below. No band-limited
// crest lies more than `highest` times above its nearest point (1 / cos(pi / 8) at four points a
// sample, for a tone at the very top of the band), so neither does the vertex.
template <class V>
[[gnu::always_inline]] inline V Crest(V a, V b, V c, float highest)
{
    const V one = V{} + 1;
    const V sign = b < 0 ? -one : one;
    const V top = sign * b;
    const V left = sign * a;
    const V right = sign * c;
    const V bend = top + top - left - right;
    const V rise = right - left;
    const V lift = rise * rise / (8.0F * (bend > 0 ? bend : one));
    const V vertex = top + lift;
    const V ceiling = top * highest;
    return ((top >= left) & (top >= right) & (bend > 0)) ? (vertex < ceiling ? vertex : ceiling) : top;
}

// The frame peaks of frames [from, to), their points interpolated from the samples x and the
// midpoints y (y[-2] to y[count] readable). Crests are worked out only where a point comes near
// enough to `threshold` for one to pass it. Returns the largest, folded into `largest`.
template <class V>
[[gnu::always_inline]] inline V FramePeaksFrom(const Oversampler::Stages& stages, const float* x, const float* y,
                                               ptrdiff_t from, ptrdiff_t to, size_t count, float threshold,
                                               float* peaks, float* points, V largest)
{
    const float crestsFrom = threshold / stages.HighestCrest;
    const bool fourfold = !stages.QuarterTaps.empty();
    for (ptrdiff_t n = from; n < to; n += static_cast<ptrdiff_t>(kLanes<V>)) {
        const V x0 = Load<V>(x + n);
        const V x1 = Load<V>(x + n + 1);
        const V y0 = Load<V>(y + n);
        const V yBefore = Load<V>(y + n - 1);
        V peak;
        V quarter{};
        V threeQuarters{};
        if (fourfold) {
            // The second stage runs over the samples and midpoints taken in turn: its six taps
            // fall on x[n-1], y[n-1], x[n], y[n], x[n+1], y[n+1] for the point a quarter after n,
            // and one place later for the point three quarters after it.
            const float d0 = stages.QuarterTaps[0];
            const float d1 = stages.QuarterTaps[1];
            const float d2 = stages.QuarterTaps[2];
            const V xBefore = Load<V>(x + n - 1);
            const V x2 = Load<V>(x + n + 2);
            const V y1 = Load<V>(y + n + 1);
            quarter = d0 * (xBefore + y1) + d1 * (yBefore + x1) + d2 * (x0 + y0);
            threeQuarters = d0 * (yBefore + x2) + d1 * (x0 + y1) + d2 * (y0 + x1);
            peak = Larger(Larger(Magnitude(x0), Magnitude(quarter)), Larger(Magnitude(y0), Magnitude(threeQuarters)));
            if (stages.Crests && AnyAbove(peak, crestsFrom)) {
                const float highest = stages.HighestCrest;
                const V yTwoBefore = Load<V>(y + n - 2);
                const V lastBefore = d0 * (yTwoBefore + x1) + d1 * (xBefore + y0) + d2 * (yBefore + x0);
                peak = Larger(Larger(Crest(lastBefore, x0, quarter, highest), Crest(x0, quarter, y0, highest)),
                              Larger(Crest(quarter, y0, threeQuarters, highest), Crest(y0, threeQuarters, x1, highest)));
            }
        } else {
            peak = Larger(Magnitude(x0), Magnitude(y0));
            if (stages.Crests && AnyAbove(peak, crestsFrom))
                peak = Larger(Crest(yBefore, x0, y0, stages.HighestCrest), Crest(x0, y0, x1, stages.HighestCrest));
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

// One pass over `count` frames: the midpoints first (two before frame 0 and one after the last,
// which the points round the frames use), then the frame peaks; whole vectors first, single
// floats for the rest.
template <class V>
[[gnu::always_inline]] inline float Interpolate(Oversampler::Stages& stages, const float* x, size_t count,
                                                float threshold, float* peaks, float* points)
{
    const auto n = static_cast<ptrdiff_t>(count);
    const auto lanes = static_cast<ptrdiff_t>(kLanes<V>);
    float* y = stages.Midpoints.data() + kMidpointsBefore;
    const ptrdiff_t midFrom = -kMidpointsBefore;
    const ptrdiff_t midTo = n + 1;
    ptrdiff_t m = Midpoints<V, 2>(stages.HalfTaps, x, y, midFrom, midTo);
    m = Midpoints<V>(stages.HalfTaps, x, y, m, midTo);
    Midpoints<float>(stages.HalfTaps, x, y, m, midTo);

    const ptrdiff_t split = n / lanes * lanes;
    const V wide = FramePeaksFrom<V>(stages, x, y, 0, split, count, threshold, peaks, points, V{});
    float largest = FramePeaksFrom<float>(stages, x, y, split, n, count, threshold, peaks, points, 0.0F);
    for (size_t lane = 0; lane < kLanes<V>; ++lane) largest = std::max(largest, wide[lane]);
    return largest;
}

// The largest magnitude among `count` values.
template <class V>
[[gnu::always_inline]] inline float Largest(const float* values, size_t count)
{
    const size_t split = count / kLanes<V> * kLanes<V>;
    V wide{};
    for (size_t i = 0; i < split; i += kLanes<V>) wide = Larger(wide, Magnitude(Load<V>(values + i)));
    float largest = 0;
    for (size_t i = split; i < count; ++i) largest = std::max(largest, std::abs(values[i]));
    for (size_t lane = 0; lane < kLanes<V>; ++lane) largest = std::max(largest, wide[lane]);
    return largest;
}

[[gnu::target("avx2")]] float LargestEight(const float* values, size_t count)
{
    return Largest<Floats8>(values, count);
}

float LargestFour(const float* values, size_t count)
{
    return Largest<Floats4>(values, count);
}

// Sum of the magnitudes of a symmetric filter's taps, from its first half.
double TapsGain(const std::vector<float>& firstHalf)
{
    double sum = 0;
    for (const float tap : firstHalf) sum += 2 * std::abs(tap);
    return sum;
}

[[gnu::target("avx2")]] float InterpolateEight(Oversampler::Stages& stages, const float* x, size_t count,
                                               float threshold, float* peaks, float* points)
{
    return Interpolate<Floats8>(stages, x, count, threshold, peaks, points);
}

float InterpolateFour(Oversampler::Stages& stages, const float* x, size_t count, float threshold, float* peaks,
                      float* points)
{
    return Interpolate<Floats4>(stages, x, count, threshold, peaks, points);
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
    stages_.Crests = precise;
    stages_.HighestCrest = static_cast<float>(1 / std::cos(std::numbers::pi / (2 * factor_)));
    // A midpoint reaches half the first stage's taps either side of it, and the frames' points use
    // the midpoints from two before the first frame to one after the last.
    reach_ = stages_.HalfTaps.size() + 2;
    stages_.Midpoints.resize(kMaxFrames + kMidpointsBefore + 1);
    const bool wide = __builtin_cpu_supports("avx2");
    kernel_ = wide ? InterpolateEight : InterpolateFour;
    largest_ = wide ? LargestEight : LargestFour;
    // A point of the first stage is at most its taps' magnitudes times the largest sample; one of
    // the second stage, its own taps' times the largest of samples and midpoints; a crest at most
    // HighestCrest times its point. A hair more covers the rounding of the float sums.
    const double half = TapsGain(stages_.HalfTaps);
    const double quarter = stages_.QuarterTaps.empty() ? 1 : TapsGain(stages_.QuarterTaps);
    gain_ = static_cast<float>(std::max({1.0, half, quarter * std::max(1.0, half)}) *
                               (precise ? stages_.HighestCrest : 1) * 1.001);
}

float Oversampler::Bound(const float* frames, size_t count) const
{
    return largest_(frames - reach_, count + 2 * reach_) * gain_;
}

float Oversampler::FramePeaks(const float* frames, size_t count, float* peaks, float threshold)
{
    if (count > kMaxFrames) throw ProgramError(program_errors::kSubscriptOutOfRange, "Too many frames to interpolate");
    return kernel_(stages_, frames, count, threshold, peaks, nullptr);
}

std::vector<float> Oversampler::Points(const float* frames, size_t count)
{
    if (count > kMaxFrames) throw ProgramError(program_errors::kSubscriptOutOfRange, "Too many frames to interpolate");
    std::vector<float> rows(count * static_cast<size_t>(factor_));
    kernel_(stages_, frames, count, 0, nullptr, rows.data());
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
    const auto channels = static_cast<size_t>(channels_);
    // Dividing by a power of two is exact, so the interpolation sees the samples as they are.
    Add(bytes.size() / (2 * channels), [&](size_t frame, size_t c) {
        return static_cast<float>(LoadLE16(bytes.data() + 2 * (frame * channels + c))) / static_cast<float>(kFullScale);
    });
}

void TruePeakMeter::AddPcm24(std::span<const uint8_t> bytes)
{
    const auto channels = static_cast<size_t>(channels_);
    // A 24-bit sample fits a float's mantissa, so this too is exact.
    Add(bytes.size() / (3 * channels), [&](size_t frame, size_t c) {
        return static_cast<float>(LoadLE24(bytes.data() + 3 * (frame * channels + c))) / 8388608.0F;
    });
}

void TruePeakMeter::AddFloat(std::span<const float> samples)
{
    const auto channels = static_cast<size_t>(channels_);
    Add(samples.size() / channels, [&](size_t frame, size_t c) { return samples[frame * channels + c]; });
}

template <typename Sample>
void TruePeakMeter::Add(size_t frames, Sample sample)
{
    const size_t capacity = frames_[0].size();
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(frames - done, capacity - filled_);
        for (size_t c = 0; c < frames_.size(); ++c) {
            float* out = frames_[c].data() + filled_;
            for (size_t i = 0; i < n; ++i) out[i] = sample(done + i, c);
        }
        filled_ += n;
        done += n;
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
        // Frames whose every point stays under the peak so far cannot change it.
        if (oversampler_.Bound(channel.data() + reach, count) > peak_)
            peak_ = std::max(peak_, oversampler_.FramePeaks(channel.data() + reach, count, nullptr));
        std::copy(channel.begin() + static_cast<ptrdiff_t>(count), channel.begin() + static_cast<ptrdiff_t>(filled_),
                  channel.begin());
    }
    filled_ -= count;
}

}  // namespace varnook
