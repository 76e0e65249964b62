// A WAV work file written for an editing test, with a Context whose WAV info describes it the
// way the header check would, and the reference arithmetic the editing steps must match.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "control/context.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

class WorkFile {
public:
    WorkFile()
    {
        ctx.request.WorkPath = dir.File("work.wav");
        ctx.request.TempPath = dir.File("VRK.tmp");
    }

    // Writes the file and fills ctx.wav for it.
    void Write(const WavLayout& layout, const std::vector<int16_t>& samples)
    {
        bytes = BuildWav(layout, samples);
        WriteAllBytes(ctx.request.WorkPath, bytes);
        WavInfo& wav = ctx.wav;
        wav.FormatTag = layout.formatTag;
        wav.Channels = layout.channels;
        wav.SampleRate = layout.sampleRate;
        wav.BlockAlign = static_cast<int16_t>(layout.channels * 2);
        wav.ByteRate = layout.sampleRate * wav.BlockAlign;
        wav.BitsPerSample = layout.bitsPerSample;
        wav.RiffSize = static_cast<int32_t>(bytes.size() - 8);
        wav.FmtSize = layout.fmtSize;
        wav.DataStart = static_cast<int32_t>(DataOffset(layout));
        wav.DataSize = static_cast<int32_t>(samples.size() * 2);
    }

    size_t DataStart() const { return static_cast<size_t>(ctx.wav.DataStart); }

    RecordingHost host;
    Context ctx{host};
    TempDir dir;
    std::vector<uint8_t> bytes;  // the work file as written
};

// A gain in dB whose factor 10^(gain / 20) comes out as exactly `factor`, so a test can place
// products on exact halves.
inline double GainForExactFactor(double factor)
{
    double gain = 20 * std::log10(factor);
    for (int i = 0; i < 64 && std::pow(10.0, gain / 20) != factor; ++i)
        gain = std::nextafter(gain, std::pow(10.0, gain / 20) < factor ? 100.0 : -100.0);
    return gain;
}

// What amplifying `samples` must give, worked out over the whole signal at once: a plain
// multiplication for a factor up to 1, otherwise each run of one sign (a half-wave) scaled as
// one piece, by the factor or by the one that puts its peak on 31744. Valid for signals whose
// half-waves are shorter than the look-ahead. A stereo file's unpaired last sample is kept.
inline std::vector<int16_t> AmplifiedReference(const std::vector<int16_t>& samples, int channels,
                                               double factor)
{
    std::vector<int16_t> out(samples);
    const size_t paired = samples.size() - samples.size() % static_cast<size_t>(channels);
    const auto scaled = [](int16_t x, double f) { return static_cast<int16_t>(std::nearbyint(x * f)); };
    for (int c = 0; c < channels; ++c) {
        size_t i = static_cast<size_t>(c);
        const size_t stride = static_cast<size_t>(channels);
        while (i < paired) {
            if (factor <= 1 || samples[i] == 0) {
                out[i] = scaled(samples[i], factor);
                i += stride;
                continue;
            }
            const bool positive = samples[i] > 0;
            size_t end = i;
            int peak = 0;
            for (; end < paired && samples[end] != 0 && (samples[end] > 0) == positive; end += stride)
                peak = std::max(peak, std::abs(static_cast<int>(samples[end])));
            const double f = peak * factor <= 31744 ? factor : 31744.0 / peak;
            for (; i < end; i += stride) out[i] = scaled(samples[i], f);
        }
    }
    return out;
}

}  // namespace varnook::test
