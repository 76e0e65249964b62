#include "analysis/equal_loudness.h"

#include <algorithm>
#include <cmath>

#include "io/byte_order.h"
#include "io/errors.h"

namespace varnook {

namespace {

constexpr int kYuleOrder = 10;
constexpr int kButterOrder = 2;

// The two channels of a stereo file as the two lanes of one vector. Each lane gets exactly the
// arithmetic a scalar would (element-wise IEEE operations, never fused: the core is built with
// -ffp-contract=off), so a stereo frame costs one pass of the recurrence instead of two.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

template <class Lane>
Lane Splat(double value);

template <>
double Splat<double>(double value)
{
    return value;
}

template <>
Pair Splat<Pair>(double value)
{
    return Pair{value, value};
}

template <class Lane>
struct LaneCoefficients {
    explicit LaneCoefficients(const FilterCoefficients& c)
    {
        for (int j = 0; j <= kYuleOrder; ++j) {
            YuleA[j] = Splat<Lane>(c.YuleA[j]);
            YuleB[j] = Splat<Lane>(c.YuleB[j]);
        }
        for (int j = 0; j <= kButterOrder; ++j) {
            ButterA[j] = Splat<Lane>(c.ButterA[j]);
            ButterB[j] = Splat<Lane>(c.ButterB[j]);
        }
    }
    Lane YuleA[kYuleOrder + 1];
    Lane YuleB[kYuleOrder + 1];
    Lane ButterA[kButterOrder + 1];
    Lane ButterB[kButterOrder + 1];
};

// The recurrence over `frames` frames. The history lives in local arrays that the compiler keeps
// in registers once the fixed-length loops are unrolled, so no sample is copied through memory
// and the loop has no branch but its own. The order of every operation is the one the
// measurements were made with: x(n-j)*bj + acc - aj*y(n-j), j ascending, then the Butterworth
// stage; reordering would change the low bits of every output and so the reported gains.
template <class Lane, class Load, class Sink>
void Run(const LaneCoefficients<Lane>& c, Lane (&x)[kYuleOrder], Lane (&y)[kYuleOrder],
         Lane (&z)[kButterOrder], size_t frames, Load load, Sink sink)
{
    for (size_t n = 0; n < frames; ++n) {
        const Lane input = load(n);
        Lane acc = c.YuleB[0] * input;
#pragma GCC unroll 10
        for (int j = 1; j <= kYuleOrder; ++j) acc = x[j - 1] * c.YuleB[j] + acc - c.YuleA[j] * y[j - 1];
        const Lane yule = acc;

        Lane butter = c.ButterB[0] * yule;
        butter = y[0] * c.ButterB[1] + butter - c.ButterA[1] * z[0];
        const Lane output = y[1] * c.ButterB[2] + butter - c.ButterA[2] * z[1];

#pragma GCC unroll 10
        for (int j = kYuleOrder - 1; j > 0; --j) {
            x[j] = x[j - 1];
            y[j] = y[j - 1];
        }
        x[0] = input;
        y[0] = yule;
        z[1] = z[0];
        z[0] = output;
        sink(n, output);
    }
}

// When a signal stops, the recurrence rings down towards zero through ever smaller values, and
// once they reach the subnormal range every operation on them costs a hundred times more: an hour
// of silence after a song would take minutes. So a stage whose whole history lies below this
// bound is set to zero. Nothing measurable changes: the inputs are whole numbers, so the next
// non-zero sample is at least 1 and leaves such a history far below its last bit; and while the
// input stays silent, the outputs that could differ are so small that their squares are below
// the smallest double and add exactly 0 to a window. (The input history needs no such care: it
// holds whole numbers, so it is exactly zero after ten silent samples.)
constexpr double kNegligible = 1e-200;

template <size_t N>
void ForgetIfNegligible(std::array<double, N>& stage)
{
    if (std::all_of(stage.begin(), stage.end(), [](double v) { return std::abs(v) < kNegligible; })) stage = {};
}

void ForgetIfNegligible(EqualLoudnessFilter::History& h)
{
    ForgetIfNegligible(h.Y);
    ForgetIfNegligible(h.Z);
}

// `sample(i)` is the i-th value of the interleaved input as a double.
template <class Sample, class Sink>
void RunMono(const FilterCoefficients& coefficients, EqualLoudnessFilter::History& h, Sample sample,
             size_t frames, Sink sink)
{
    ForgetIfNegligible(h);
    const LaneCoefficients<double> c(coefficients);
    double x[kYuleOrder], y[kYuleOrder], z[kButterOrder];
    for (int j = 0; j < kYuleOrder; ++j) {
        x[j] = h.X[j];
        y[j] = h.Y[j];
    }
    for (int j = 0; j < kButterOrder; ++j) z[j] = h.Z[j];

    Run(c, x, y, z, frames, sample, sink);

    for (int j = 0; j < kYuleOrder; ++j) {
        h.X[j] = x[j];
        h.Y[j] = y[j];
    }
    for (int j = 0; j < kButterOrder; ++j) h.Z[j] = z[j];
}

template <class Sample, class Sink>
void RunStereo(const FilterCoefficients& coefficients, EqualLoudnessFilter::History& left,
               EqualLoudnessFilter::History& right, Sample sample, size_t frames, Sink sink)
{
    ForgetIfNegligible(left);
    ForgetIfNegligible(right);
    const LaneCoefficients<Pair> c(coefficients);
    Pair x[kYuleOrder], y[kYuleOrder], z[kButterOrder];
    for (int j = 0; j < kYuleOrder; ++j) {
        x[j] = Pair{left.X[j], right.X[j]};
        y[j] = Pair{left.Y[j], right.Y[j]};
    }
    for (int j = 0; j < kButterOrder; ++j) z[j] = Pair{left.Z[j], right.Z[j]};

    const auto load = [sample](size_t n) { return Pair{sample(2 * n), sample(2 * n + 1)}; };
    Run(c, x, y, z, frames, load, sink);

    for (int j = 0; j < kYuleOrder; ++j) {
        left.X[j] = x[j][0];
        right.X[j] = x[j][1];
        left.Y[j] = y[j][0];
        right.Y[j] = y[j][1];
    }
    for (int j = 0; j < kButterOrder; ++j) {
        left.Z[j] = z[j][0];
        right.Z[j] = z[j][1];
    }
}

// The sum of squares in the order of the input: left before right, as the samples lie in the file.
template <class Sample>
double SumSquares(const FilterCoefficients& coefficients, std::array<EqualLoudnessFilter::History, 2>& history,
                  int channels, Sample sample, size_t frames, double sum)
{
    if (channels == 1) {
        RunMono(coefficients, history[0], sample, frames, [&sum](size_t, double z) { sum += z * z; });
    } else {
        RunStereo(coefficients, history[0], history[1], sample, frames, [&sum](size_t, Pair z) {
            const Pair square = z * z;
            sum += square[0];
            sum += square[1];
        });
    }
    return sum;
}

}  // namespace

EqualLoudnessFilter::EqualLoudnessFilter(const FilterCoefficients& coefficients, int channels)
    : coefficients_(coefficients), channels_(channels)
{
    if (channels != 1 && channels != 2)
        throw ProgramError(program_errors::kInvalidArgument, "The filter takes 1 or 2 channels");
}

double EqualLoudnessFilter::AddSquares(std::span<const int16_t> samples, double sum)
{
    const int16_t* p = samples.data();
    return SumSquares(coefficients_, history_, channels_, [p](size_t i) { return static_cast<double>(p[i]); },
                      samples.size() / static_cast<size_t>(channels_), sum);
}

double EqualLoudnessFilter::AddSquaresPcm16(std::span<const uint8_t> bytes, double sum)
{
    // Decoded as the recurrence reads them, so the samples never pass through a buffer of their own.
    const uint8_t* p = bytes.data();
    return SumSquares(coefficients_, history_, channels_, [p](size_t i) { return static_cast<double>(LoadLE16(p + 2 * i)); },
                      bytes.size() / (2 * static_cast<size_t>(channels_)), sum);
}

double EqualLoudnessFilter::AddSquaresPcm24(std::span<const uint8_t> bytes, double sum)
{
    constexpr double kTo16Bits = 1.0 / 256;  // a power of two: exact
    const uint8_t* p = bytes.data();
    return SumSquares(coefficients_, history_, channels_,
                      [p](size_t i) { return static_cast<double>(LoadLE24(p + 3 * i)) * kTo16Bits; },
                      bytes.size() / (3 * static_cast<size_t>(channels_)), sum);
}

void EqualLoudnessFilter::Filter(std::span<const int16_t> samples, std::span<double> out)
{
    const size_t frames = samples.size() / static_cast<size_t>(channels_);
    if (out.size() < frames * static_cast<size_t>(channels_))
        throw ProgramError(program_errors::kSubscriptOutOfRange, "Filter output too short");
    double* o = out.data();
    const int16_t* p = samples.data();
    const auto sample = [p](size_t i) { return static_cast<double>(p[i]); };
    if (channels_ == 1) {
        RunMono(coefficients_, history_[0], sample, frames, [o](size_t n, double z) { o[n] = z; });
    } else {
        RunStereo(coefficients_, history_[0], history_[1], sample, frames, [o](size_t n, Pair z) {
            o[2 * n] = z[0];
            o[2 * n + 1] = z[1];
        });
    }
}

}  // namespace varnook
