// A WAV work file written for an editing test, with a Context whose WAV info describes it the
// way the header check would.
#pragma once

#include <cstdint>
#include <vector>

#include "control/context.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

struct WorkFile {
    WorkFile()
    {
        ctx.request.WorkPath = dir.File("work.wav");
        ctx.request.TempPath = dir.File("VRK.tmp");
    }

    void Write(const WavLayout& layout, const std::vector<int16_t>& samples)
    {
        bytes = BuildWav(layout, samples);
        WriteAllBytes(ctx.request.WorkPath, bytes);
        const auto blockAlign = static_cast<int16_t>(layout.channels * 2);
        ctx.wav = WavInfo{layout.formatTag, layout.channels, layout.sampleRate, layout.sampleRate * blockAlign,
                          blockAlign, layout.bitsPerSample, static_cast<int32_t>(bytes.size() - 8), layout.fmtSize,
                          static_cast<int32_t>(DataOffset(layout)), static_cast<int32_t>(samples.size() * 2)};
    }

    size_t DataStart() const { return static_cast<size_t>(ctx.wav.DataStart); }

    RecordingHost host;
    Context ctx{host};
    TempDir dir;
    std::vector<uint8_t> bytes;  // the work file as written
};

}  // namespace varnook::test
