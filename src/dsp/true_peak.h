// Varnook's own signal processing, below the steps that use it: the true-peak interpolation that
// loudness/ measures with and editing/ limits with. Samples in, numbers out: no files, no host, no
// settings; it depends on io/errors.h alone (a layout it refuses is a ProgramError) and never on
// a step, the orchestration or Qt.
//
// The true peak of a sampled signal is the peak of the band-limited waveform the samples stand
// for, which may lie between them. ITU-R BS.1770-4 (Annex 2) reads it by oversampling to at
// least 192 kHz: four points per sample below 96 kHz, two from 96 kHz on. The interpolation here
// is a polyphase FIR in two half-band stages: a long one puts a point halfway between the
// samples, a short one halfway again between those (the signal then fills only a quarter of the
// band, so six taps suffice). Both filters are symmetric, so each tap pair costs one multiply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varnook {

// How closely the interpolation follows the waveform near the top of the band.
enum class Reconstruction {
    // A 12-tap first stage, the length of the standard's example filter: what true-peak meters
    // read (libebur128 within 0.1 dB, the standard's test signals within 0.01 dB). It follows a
    // tone to about 0.35 of the rate and reads higher ones low.
    Standard,
    // A 48-tap first stage, which follows a tone to 0.47 of the rate, and each frame's peak taken
    // as the crest of the parabola through its highest point and their neighbours: what a
    // high-quality upsampler (sox's `rate -v` at eight points a sample) reads. A meter needs only
    // a file's one highest crest; a limiter brings every crest over its ceiling down to it, so
    // the worst error among thousands of them counts. Four points a sample alone can read a crest
    // 0.55 dB low (a tone at 0.45 of the rate, crest halfway between points); the parabola finds
    // it within 0.05 dB.
    Precise,
};

// Interpolated points per sample, the sample itself included: 4 below 96 kHz, 2 from there on.
int OversamplingFactor(int32_t sampleRate);

// The interpolation of one channel. It keeps no signal state: the caller holds the samples with
// Reach() frames of context on either side, so a stream is interpolated in any pieces alike.
// Built once per file (the taps are worked out here); FramePeaks allocates nothing.
class Oversampler {
public:
    // Frames one FramePeaks call takes at most.
    static constexpr size_t kMaxFrames = 1024;

    // Throws ProgramError for a rate that is not positive.
    Oversampler(Reconstruction reconstruction, int32_t sampleRate);

    // Frames of context a frame's points need before it and after it.
    size_t Reach() const { return reach_; }
    int Factor() const { return factor_; }

    // For each of the `count` frames (at most kMaxFrames) from frames[0] on: the largest magnitude
    // among the sample and the points interpolated between it and the next sample (Precise: the
    // crests found round them), written to peaks[i] unless peaks is null. frames[-Reach()] to
    // frames[count - 1 + Reach()] must be readable. Returns the largest of them (0 for no frames).
    // Precise works out crests only where one could pass `threshold`: a frame peak at or under it
    // may be the largest point rather than the crest round it.
    float FramePeaks(const float* frames, size_t count, float* peaks, float threshold = 0);

    // A bound no point or crest of frames [0, count) can pass, from the samples alone: the
    // largest magnitude among frames[-Reach()] to frames[count - 1 + Reach()] times the most
    // the filters can gain. Far cheaper than FramePeaks, it lets a caller pass over frames that
    // cannot matter.
    float Bound(const float* frames, size_t count) const;

    // The interpolation itself, for checking it: the Factor() points of each frame in turn, the
    // sample first, under the same rules as FramePeaks.
    std::vector<float> Points(const float* frames, size_t count);

    // What one pass of the interpolation works with; the kernels see only this.
    struct Stages {
        std::vector<float> HalfTaps;     // first stage, the first half of its symmetric taps
        std::vector<float> QuarterTaps;  // second stage, likewise (empty at factor 2)
        bool Crests = false;             // frame peaks from the crests round the points
        float HighestCrest = 1;          // the most a crest can rise above its nearest point
        std::vector<float> Midpoints;    // scratch: the first stage's points of one call
    };
    // Interpolates `count` frames; writes the frame peaks to `peaks` and the points, one row of
    // `count` per point of a frame, to `points` where these are not null; returns the largest.
    using Kernel = float (*)(Stages&, const float* frames, size_t count, float threshold, float* peaks, float* points);

    using Magnitude = float (*)(const float* values, size_t count);

private:
    int factor_;
    size_t reach_;
    Stages stages_;
    Kernel kernel_;
    Magnitude largest_;
    float gain_;  // the most the filters can raise a magnitude
};

// The true peak of an interleaved 16-bit stream, fed in any pieces: the largest magnitude over
// all channels of the samples and their interpolated points, 1.0 being full scale. The signal is
// taken as starting and ending in silence, as a player plays it.
class TruePeakMeter {
public:
    // Throws ProgramError for fewer than one channel or a rate that is not positive.
    TruePeakMeter(int channels, int32_t sampleRate, Reconstruction reconstruction = Reconstruction::Standard);

    // Whole frames of 16-bit (24-bit) little-endian samples; a partial frame at the end is left out.
    void AddPcm16(std::span<const uint8_t> bytes);
    void AddPcm24(std::span<const uint8_t> bytes);
    // Whole frames of interleaved samples as a decoder gives them, 1.0 being full scale; values
    // beyond it (a lossy output's overshoot) count as they are.
    void AddFloat(std::span<const float> samples);

    // Ends the stream (silence follows it) and returns the peak; nothing may be added after it.
    double Finish();

private:
    // Appends `frames` frames, sample(frame, channel) giving each value.
    template <typename Sample>
    void Add(size_t frames, Sample sample);
    void Interpolate(size_t count);

    Oversampler oversampler_;
    int channels_;
    std::vector<std::vector<float>> frames_;  // per channel: context, pending frames, context
    size_t filled_;  // frames held, the leading context included
    float peak_ = 0;
};

}  // namespace varnook
