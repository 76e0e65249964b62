// A look-ahead true-peak limiter: it holds the true peak of a signal under a ceiling by turning
// the gain down smoothly ahead of each peak and back up after it, one gain for all channels.
// Part of dsp/ (see true_peak.h): samples in, samples out.
//
// How the gain moves, and why:
// - Detection: every frame's true peak, the highest over the channels, by the Precise
//   interpolation (four points a sample below 96 kHz, the crests between them found), so that
//   the ceiling holds as an independent upsampler reads it.
// - Look-ahead and attack, 5 ms: the gain falls in a straight line over the 5 ms before a peak
//   and is down when the peak comes, and it stays there for the interpolation's reach either
//   side, so the points round the peak all see the same gain. 5 ms lies within the ear's
//   backward masking of a transient, and a ramp that long keeps the gain's own spectrum below
//   about 200 Hz, where it does not roughen the sound.
// - Hold, 30 ms: the gain stays down 30 ms after the last peak that needed it. That spans half a
//   period down to 17 Hz, so on a held bass note the gain does not swell between the crests of
//   one wave: a sine 6 dB over the ceiling keeps a THD+N of 0.002% at 1 kHz and 100 Hz, 0.02%
//   at 40 Hz (the tests).
// - Release, 150 ms time constant: the gain then heads back up exponentially, towards a point
//   just above unity so that it arrives in finite time (about 0.6 s after a 6 dB cut). Slower
//   releases leave a hole after every transient and lower the loudness the limiter was brought
//   in to reach (piano-like material raised 8 dB: 1.8 LU lost at 150 ms, 2.8 LU at 1 s); faster
//   ones let the gain follow the beat (on dense material the gain moves by 0.36 dB from one
//   50 ms to the next at 50 ms, 0.31 dB at 150 ms), which is heard as pumping.
// - Margin, 0.1 dB: the detection aims that far under the ceiling. Reconstructions differ where
//   a signal has content in the top twentieth of the band: on clipped material sox's `rate -v`
//   (steeper there) reads a limited crest up to 0.07 dB above ours, the standard's 12-tap filter
//   up to 0.1 dB. A loud signal that starts or stops abruptly is a step, which every
//   reconstruction rings on differently (a brickwall one by up to 9%, 0.75 dB); at the edges of a
//   file only a fade-in or fade-out makes the true peak well defined.
// Material whose true peak stays 0.1 dB under the ceiling keeps its exact sample values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dsp/true_peak.h"

namespace varnook {

class TruePeakLimiter {
public:
    // `ceiling` is the largest true-peak magnitude let through, in the units of the samples
    // (29205 for -1 dBTP on a 16-bit scale of 32768). Throws ProgramError for fewer than one
    // channel, a rate that is not positive or a ceiling that is not.
    TruePeakLimiter(int channels, int32_t sampleRate, double ceiling);

    // Frames after the ones limited that a call must show for its look-ahead.
    size_t LookAhead() const { return lookAhead_; }

    // Limits `count` frames of every channel in place, from channels[c][0] on, and reads the
    // `ahead` frames after them, unchanged, as the look-ahead; fewer than LookAhead() means the
    // signal ends there (silence follows). Each call takes up where the last one ended, so a
    // stream gives the same samples whatever its pieces. Frames that need no limiting keep their
    // exact values.
    void Limit(std::span<double* const> channels, size_t count, size_t ahead);

    // The deepest cut of the gain so far, in dB (0 when none).
    double LargestReductionDb() const;
    // How long the gain has been below unity so far.
    double SecondsLimiting() const;

private:
    // The gain is worked out in steps that run `attack_` frames ahead of the frames: the steps
    // before frame 0 see silence and let the gain ramp down for a signal loud from its start.
    void Detect(std::span<double* const> channels, int64_t first, int64_t upTo);
    bool Idle() const;
    void Skip(int64_t to);
    void PushRequired(int64_t step);
    double NextGain(int64_t step);

    Oversampler oversampler_;
    int channels_;
    int32_t sampleRate_;
    double detectionCeiling_;
    size_t attack_;     // frames of the gain's ramp down
    size_t guard_;      // frames either side of a peak at its gain
    size_t hold_;       // frames the gain stays down after the last peak that needed it
    double release_;    // the release's step per frame towards just above unity
    size_t lookAhead_;

    // Detection: per channel, the samples as they came (float), with context either side.
    std::vector<std::vector<float>> raw_;
    std::vector<std::vector<float>> peaks_;  // per channel, one chunk's frame peaks
    int64_t rawEnd_ = 0;                     // steps appended to raw_
    size_t rawFilled_;                       // steps held in raw_, leading context included
    int64_t detected_ = 0;                   // steps whose required gain is known
    int64_t end_ = INT64_MAX;                // the frame where the signal ends, once a call said so

    // Per step, the gain its peak requires (1 when none), in a ring by step number.
    std::vector<double> required_;
    size_t ringMask_;                       // ring sizes are a power of two
    int64_t lastRequiring_ = INT64_MIN / 2;  // the last step whose gain must come down
    // The smallest required gain over the window [n - guard, n + attack + guard]: a queue of
    // steps whose required gains rise from front to back, in a ring.
    std::vector<int64_t> window_;
    size_t windowFront_ = 0;
    size_t windowSize_ = 0;
    int64_t pushed_ = 0;  // steps whose required gain has entered the window

    double envelope_ = 1;  // the window's minimum, held and released
    size_t holding_ = 0;
    // The last `attack_` envelope values, averaged into the gain: the straight-line ramp.
    std::vector<double> ramp_;
    size_t rampSlot_ = 0;
    double rampSum_;
    size_t rampBelowUnity_ = 0;  // envelope values in the ramp that are not exactly 1

    int64_t gained_ = 0;  // steps whose gain is worked out
    int64_t out_ = 0;     // frames limited so far
    double smallestGain_ = 1;
    int64_t framesLimiting_ = 0;
};

}  // namespace varnook
