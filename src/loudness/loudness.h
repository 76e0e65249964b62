// Loudness by ITU-R BS.1770-4: the integrated loudness (with its gating, through libebur128) that
// the "r128" mode levels to, and the true peak (oversampled by dsp/'s interpolation) that the
// ceiling keeps under a limit. It reads 16-bit PCM samples of a WAV whose layout the header check
// found; it depends on io/, dsp/ and libebur128 only, never on the orchestration (pipeline/,
// library/, cli/), the other steps or Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace varnook {

// The samples to measure: 16-bit little-endian PCM frames of `Channels` channels.
struct Pcm16Stretch {
    std::string Path;
    int Channels = 0;
    int32_t SampleRate = 0;
    int64_t DataStart = 0;
    int64_t DataBytes = 0;
};

// The gating blocks of a measured stretch, kept so that several stretches can be gated as one:
// an album's tracks, each filtered from rest and cut into blocks of its own, so that no block
// spans two tracks.
struct GatingBlocks;

struct LoudnessMeasure {
    // LUFS; minus infinity when nothing passes the gates (silence). A mono stretch is measured as
    // dual mono, as two speakers play it, so it reads like its two-channel copy.
    double Integrated = 0;
    // dBTP, the highest over the channels, the stretch taken as played between silences (see
    // TruePeakMeter); minus infinity for digital silence.
    double TruePeak = 0;
    // With the integrated loudness: the blocks it was gated from, for PooledLoudness.
    std::shared_ptr<const GatingBlocks> Blocks = nullptr;
};

enum class Measure { Integrated, TruePeak, Both };

// Measures the stretch in one reading; only what is asked for is computed. Throws FileError when
// the file cannot be read; a stretch that ends early is measured as far as it goes. Empty when
// libebur128 refuses the layout for the integrated loudness (a rate it cannot filter). `yield` is
// called between blocks.
std::optional<LoudnessMeasure> MeasureLoudness(const Pcm16Stretch& stretch, Measure what,
                                               const std::function<void()>& yield);

// The integrated loudness of several measures' blocks gated together, as one programme of them
// all (LUFS; minus infinity when nothing passes the gates, or for no blocks at all). Of one
// measure's blocks it is that measure's integrated loudness, to the bit.
double PooledLoudness(std::span<const std::shared_ptr<const GatingBlocks>> blocks);

// The gain that brings `integrated` LUFS to `target` LUFS; for silence the same 90 dB the
// equal-loudness analysis gives, so the peak guard of amplify decides.
double R128Gain(double target, double integrated);

// `gain`, lowered where needed so that a true peak of `truePeak` dBTP ends at or below
// `ceiling` dBTP. Silence (minus infinity) leaves the gain as it is.
double CeilingGain(double gain, double truePeak, double ceiling);

}  // namespace varnook
