// Loudness by ITU-R BS.1770-4: the integrated loudness (with its gating, through libebur128) that
// the "r128" mode levels to, and the true peak (oversampled by dsp/'s interpolation) that the
// ceiling keeps under a limit. It reads 16 or 24-bit PCM samples of a WAV whose layout the header
// check found; it depends on io/, dsp/ and libebur128 only, never on the orchestration (pipeline/,
// library/, cli/), the other steps or Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace varnook {

// The samples to measure: little-endian PCM frames of `Channels` channels, of `Bits` 16 or 24.
struct PcmStretch {
    std::string Path;
    int Channels = 0;
    int32_t SampleRate = 0;
    int64_t DataStart = 0;
    int64_t DataBytes = 0;
    int Bits = 16;
};

struct LoudnessMeasure {
    // LUFS; minus infinity when nothing passes the gates (silence). A mono stretch is measured as
    // dual mono, as two speakers play it, so it reads like its two-channel copy.
    double Integrated = 0;
    // dBTP, the highest over the channels, the stretch taken as played between silences (see
    // TruePeakMeter); minus infinity for digital silence.
    double TruePeak = 0;
};

enum class Measure { Integrated, TruePeak, Both };

// Measures the stretch in one reading; only what is asked for is computed. Throws FileError when
// the file cannot be read; a stretch that ends early is measured as far as it goes. Empty when
// libebur128 refuses the layout for the integrated loudness (a rate it cannot filter). `yield` is
// called between blocks.
std::optional<LoudnessMeasure> MeasureLoudness(const PcmStretch& stretch, Measure what,
                                               const std::function<void()>& yield);

// The gain that brings `integrated` LUFS to `target` LUFS; for silence the same 90 dB the
// equal-loudness analysis gives, so the peak guard of amplify decides.
double R128Gain(double target, double integrated);

// `gain`, lowered where needed so that a true peak of `truePeak` dBTP ends at or below
// `ceiling` dBTP. Silence (minus infinity) leaves the gain as it is.
double CeilingGain(double gain, double truePeak, double ceiling);

}  // namespace varnook
