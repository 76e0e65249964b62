// What the end-to-end runs cannot see: sound 16-bit WAVs that the header check refuses keep every
// sample, high rates are resampled whole, and the dither gives the same bytes on every run and
// clips at full scale.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "io/byte_order.h"

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

TEST(Conversion, SoundHeadersKeepEverySampleAndTheDitherClips)
{
    TempDir dir;
    const auto tone = Sine(1000, 16000, 44100, 44100, 2);
    const auto plain = BuildWav({2, 44100, 16, 1, 16, {}, {}}, tone);
    auto junk = plain;  // as field recorders write it: a JUNK chunk before "fmt "
    junk.insert(junk.begin() + 12, {'J', 'U', 'N', 'K', 4, 0, 0, 0, 0, 0, 0, 0});
    auto openEnded = plain;  // as streaming recorders leave it: data size 0xFFFFFFFF
    std::fill_n(openEnded.begin() + 40, 4, 0xFF);
    // WAVE_FORMAT_EXTENSIBLE: 16 valid bits, front left and right, the PCM subformat.
    auto extensible = BuildWav({2, 44100, 16, static_cast<int16_t>(0xFFFE), 40, {}, {}}, tone);
    const uint8_t extension[] = {22, 0, 16, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    std::copy(std::begin(extension), std::end(extension), extensible.begin() + 36);
    for (const auto& source : {junk, openEnded, extensible}) {
        WriteAllBytes(dir.File("s.wav"), source);
        EXPECT_EQ(ClassifySource(dir.File("s.wav"), ".wav"), SourceKind::Convert);
        ASSERT_TRUE(ConvertToWorkWav(dir.File("s.wav"), dir.File("work.wav"), true, [] {}).Ok);
        EXPECT_EQ(ReadAllBytes(dir.File("work.wav")), plain);
    }
    EXPECT_EQ(ClassifySource(dir.File("work.wav"), ".wav"), SourceKind::PlainWav);

    // 24-bit full scale, up and down in turn: the dither must clip there, not wrap round to the
    // other end.
    std::vector<int32_t> extremes;
    for (int i = 0; i < 1000; ++i) extremes.insert(extremes.end(), {0x7FFFFF, -0x800000});
    WriteAllBytes(dir.File("24.wav"), BuildWav({1, 44100, 24, 1, 16, {}, {}}, extremes));
    ASSERT_TRUE(ConvertToWorkWav(dir.File("24.wav"), dir.File("16.wav"), false, [] {}).Ok);
    const auto clipped = ReadAllBytes(dir.File("16.wav"));
    ASSERT_GE(clipped.size(), 44U + 4000U);
    for (size_t i = 44; i < 44 + 4000; i += 4)
        EXPECT_TRUE(LoadLE16(&clipped[i]) == 32767 && LoadLE16(&clipped[i + 2]) <= -32767) << i;
    // Where the depth is kept, every 24-bit sample comes through as it was: the work file is the source.
    EXPECT_TRUE(ConvertToWorkWav(dir.File("24.wav"), dir.File("kept.wav"), true, [] {}).Ok &&
                ReadAllBytes(dir.File("kept.wav")) == ReadAllBytes(dir.File("24.wav")));
}

// A second of tone at a high rate, 16-bit sources too, comes out at its family's base rate and
// whole: a second of frames at that rate (one either way for the filter's rounding), the tone
// still there in its last 10 ms, and the same bytes on a second run. Where the depth is kept, a
// deep source keeps its rate and 24 bits (the 16-bit one is converted as ever).
TEST(Conversion, HighRatesAreResampledWholeToTheirFamilysBase)
{
    TempDir dir;
    WriteAllBytes(dir.File("tone.wav"), BuildWav({2, 44100, 16, 1, 16, {}, {}}, Sine(1000, 16000, 44100, 44100, 2)));
    for (const auto& [name, bits, rate, expected, keep, width] : {std::tuple{"s.flac", "16", "176400", 44100, false, 2},
             {"s.aiff", "16", "96000", 48000, true, 2}, {"s.ogg", "16", "192000", 48000, false, 2},
             {"s.wav", "32", "88200", 88200, true, 3}, {"s.flac", "24", "96000", 96000, true, 3}}) {
        SCOPED_TRACE(std::string(name) + (keep ? " kept" : ""));
        ASSERT_EQ(RunCaptured("sox", {dir.File("tone.wav"), "-b", bits, "-r", rate, dir.File(name)}).exitCode, 0);
        ASSERT_TRUE(ConvertToWorkWav(dir.File(name), dir.File("once.wav"), keep, [] {}).Ok);
        ConvertToWorkWav(dir.File(name), dir.File("twice.wav"), keep, [] {});
        const auto work = ReadAllBytes(dir.File("once.wav"));
        EXPECT_EQ(work, ReadAllBytes(dir.File("twice.wav")));
        EXPECT_EQ(std::pair(LoadLE32(&work[24]), int{LoadLE16(&work[34])}), std::pair(expected, 8 * width));
        EXPECT_NEAR(static_cast<double>(work.size() - 44) / (2 * width), expected, 1);
        int loudest = 0;
        for (size_t i = work.size() - static_cast<size_t>(expected) / 100 * 2 * width; i < work.size(); i += width)
            loudest = std::max(loudest, std::abs(width == 2 ? LoadLE16(&work[i]) : LoadLE24(&work[i]) / 256));
        EXPECT_GT(loudest, 15000);
    }
}

}  // namespace
}  // namespace varnook::test
