// What the end-to-end runs cannot see: sound 16-bit WAVs that the header check refuses keep every
// sample, the dither gives the same bytes on every run and clips at full scale.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include "io/byte_order.h"

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

TEST(Conversion, SoundHeadersKeepEverySampleAndDitherIsReproducible)
{
    TempDir dir;
    WavLayout stereo;
    stereo.channels = 2;
    const auto plain = BuildWav(stereo, Sine(1000, 16000, 44100, 44100, 2));
    auto junk = plain;  // as field recorders write it: a JUNK chunk before "fmt "
    junk.insert(junk.begin() + 12, {'J', 'U', 'N', 'K', 4, 0, 0, 0, 0, 0, 0, 0});
    auto openEnded = plain;  // as streaming recorders leave it: data size 0xFFFFFFFF
    std::fill_n(openEnded.begin() + 40, 4, 0xFF);
    for (const auto& source : {junk, openEnded}) {
        WriteAllBytes(dir.File("s.wav"), source);
        EXPECT_EQ(ClassifySource(dir.File("s.wav"), ".wav"), SourceKind::Convert);
        ASSERT_TRUE(ConvertToPcm16(dir.File("s.wav"), dir.File("work.wav"), [] {}).Ok);
        EXPECT_EQ(ReadAllBytes(dir.File("work.wav")), plain);
    }
    EXPECT_EQ(ClassifySource(dir.File("work.wav"), ".wav"), SourceKind::PlainWav);

    ASSERT_EQ(RunCaptured("sox", {dir.File("work.wav"), "-e", "floating-point", "-b", "32", "-r", "96000",
                                  dir.File("f.wav")}).exitCode, 0);
    ConvertToPcm16(dir.File("f.wav"), dir.File("once.wav"), [] {});
    ConvertToPcm16(dir.File("f.wav"), dir.File("twice.wav"), [] {});
    EXPECT_EQ(ReadAllBytes(dir.File("once.wav")), ReadAllBytes(dir.File("twice.wav")));

    // 24-bit full scale, up and down in turn: the dither must clip there, not wrap round to the
    // other end.
    const WavLayout deep{1, 44100, 24, 1, 16, {}, {}};
    std::vector<int32_t> extremes;
    for (int i = 0; i < 1000; ++i) extremes.insert(extremes.end(), {0x7FFFFF, -0x800000});
    WriteAllBytes(dir.File("24.wav"), BuildWav(deep, extremes));
    ASSERT_TRUE(ConvertToPcm16(dir.File("24.wav"), dir.File("16.wav"), [] {}).Ok);
    const auto clipped = ReadAllBytes(dir.File("16.wav"));
    ASSERT_GE(clipped.size(), 44U + 4000U);
    for (size_t i = 44; i < 44 + 4000; i += 4)
        EXPECT_TRUE(LoadLE16(&clipped[i]) == 32767 && LoadLE16(&clipped[i + 2]) <= -32767) << i;
}

TEST(Conversion, HighRatesGoToTheirFamilysBase)
{
    const std::pair<int32_t, int32_t> rows[] = {{8000, 8000},   {48000, 48000},  {88200, 44100},
                                                {96000, 48000}, {176400, 44100}, {192000, 48000}};
    for (const auto& [rate, expected] : rows) EXPECT_EQ(ConvertedRate(rate), expected) << rate;
}

}  // namespace
}  // namespace varnook::test
