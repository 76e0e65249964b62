// Loudness by ITU-R BS.1770-4: the integrated loudness (with its gating, through libebur128) that
// the "r128" mode levels to, and the true peak (oversampled by dsp/'s interpolation) that the
// ceiling keeps under a limit. It reads 16 or 24-bit PCM samples of a WAV whose layout the header
// check found; it depends on io/, dsp/ and libebur128 only, never on the orchestration (pipeline/,
// library/, cli/), the other steps or Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dsp/true_peak.h"

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

// The measures of one stream fed in pieces, 16-bit samples as a WAV holds them or floats as a
// decoder gives them; only what is asked for is computed, the true peak by `reconstruction` (see
// dsp/true_peak.h). Allocates nothing per piece.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int32_t sampleRate, Measure what,
                  Reconstruction reconstruction = Reconstruction::Standard);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when the layout cannot be measured: no channel or rate, or a rate libebur128 cannot
    // filter for the integrated loudness. Such a meter takes samples and gives nothing.
    bool Usable() const { return usable_; }

    // Whole interleaved frames: 16 or 24-bit little-endian, or floats with 1.0 as full scale
    // (beyond it counts as it is). A partial frame at the end is left out.
    void AddPcm16(std::span<const uint8_t> bytes);
    void AddPcm24(std::span<const uint8_t> bytes);
    void AddFloat(std::span<const float> samples);

    // Ends the stream; empty when the meter is not Usable.
    std::optional<LoudnessMeasure> Finish();

private:
    template <int Width>
    void AddPcm(std::span<const uint8_t> bytes);

    int channels_;
    std::shared_ptr<GatingBlocks> gated_;  // libebur128's meter; handed on by Finish
    std::optional<TruePeakMeter> peaks_;
    bool usable_;
    std::vector<int32_t> samples_;  // a piece of the bytes as ints, for libebur128
};

// Measures the stretch in one reading; only what is asked for is computed, the true peak by
// `reconstruction` (see dsp/true_peak.h). Throws FileError when the file cannot be read; a
// stretch that ends early is measured as far as it goes. Empty when libebur128 refuses the layout
// for the integrated loudness (a rate it cannot filter). `yield` is called between blocks.
std::optional<LoudnessMeasure> MeasureLoudness(const PcmStretch& stretch, Measure what,
                                               const std::function<void()>& yield,
                                               Reconstruction reconstruction = Reconstruction::Standard);

// A magnitude (1.0 full scale) in dB; minus infinity for 0, digital silence.
double Decibels(double linear);

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
