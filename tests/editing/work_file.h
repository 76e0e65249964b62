// A WAV work file written for an editing test, with a Context whose WAV info describes it the
// way the header check would.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/context.h"
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

    // A header with an extended "fmt " chunk and a chunk before the samples, then `trailer`.
    void Write(int16_t channels, const std::vector<int16_t>& samples,
               std::vector<Chunk> trailer = {}, int32_t sampleRate = 44100)
    {
        const WavLayout layout{channels, sampleRate, 16, 1, 18,
                               {Chunk{"LIST", {'I', 'N', 'F', 'O'}}}, std::move(trailer)};
        bytes = BuildWav(layout, samples);
        WriteAllBytes(ctx.request.WorkPath, bytes);
        const auto blockAlign = static_cast<int16_t>(channels * 2);
        ctx.wav = WavInfo{1, channels, sampleRate, sampleRate * blockAlign, blockAlign, 16,
                          static_cast<int32_t>(bytes.size() - 8), layout.fmtSize,
                          static_cast<int32_t>(DataOffset(layout)),
                          static_cast<int32_t>(samples.size() * 2)};
    }

    size_t DataStart() const { return static_cast<size_t>(ctx.wav.DataStart); }

    RecordingHost host;
    Context ctx{host};
    TempDir dir;
    std::vector<uint8_t> bytes;  // the work file as written
};

// Compares whole files, saying where they first differ rather than printing them.
inline void ExpectSameBytes(const std::vector<uint8_t>& out, const std::vector<uint8_t>& expected)
{
    const auto differ = std::ranges::mismatch(out, expected).in1 - out.begin();
    EXPECT_TRUE(out == expected) << "sizes " << out.size() << " and " << expected.size()
                                 << ", first difference at byte " << differ;
}

}  // namespace varnook::test
