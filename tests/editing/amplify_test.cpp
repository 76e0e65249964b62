#include "editing/amplify.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <array>
#include <cmath>

#include "editing/work_file.h"
#include "io/byte_order.h"
#include "support/param_name.h"

namespace varnook {
namespace {

constexpr size_t kBlock = 16384;
constexpr size_t kLong = 2 * (3 * kBlock + 5001);  // ends in a partial block

// A gain whose factor 10^(gain / 20) is exactly `factor`, so that products land on exact halves.
double GainForExactFactor(double factor)
{
    double gain = 20 * std::log10(factor);
    for (int i = 0; i < 64 && std::pow(10.0, gain / 20) != factor; ++i)
        gain = std::nextafter(gain, std::pow(10.0, gain / 20) < factor ? 100.0 : -100.0);
    return gain;
}

// The output must be the work file byte for byte, with `samples` in place of its own.
void ExpectOutput(const test::WorkFile& work, const std::vector<int16_t>& samples)
{
    auto expected = work.bytes;
    for (size_t i = 0; i < samples.size(); ++i)
        StoreLE16(expected.data() + work.DataStart() + 2 * i, samples[i]);
    test::ExpectSameBytes(test::ReadAllBytes(work.ctx.request.TempPath), expected);
}

struct LevelCase {
    const char* name;
    int16_t channels;
    size_t samples;  // all zero but the points
    double factor;
    std::vector<std::array<int, 3>> points;  // sample index, value, value afterwards
    std::array<int64_t, 3> seen;  // peak read, peak written, half-waves limited
    bool accepted = true;
    bool oddSize = false;  // the last sample's high byte belongs to no sample
};

class LeveledFile : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LeveledFile, GivesTheWorkedOutSamplesOrIsRefused)
{
    const LevelCase& row = GetParam();
    std::vector<int16_t> samples(row.samples);
    for (const auto& [at, value, after] : row.points) samples[static_cast<size_t>(at)] = static_cast<int16_t>(value);
    test::WorkFile work;
    work.Write(row.channels, samples, {test::Chunk{"id3 ", std::vector<uint8_t>(777, 0xA5)}});
    work.ctx.wav.DataSize -= row.oddSize ? 1 : 0;
    const std::vector<uint8_t> oldTemp(300000, 9);  // left by an earlier file, longer than this one
    test::WriteAllBytes(work.ctx.request.TempPath, oldTemp);

    LevelFindings seen;
    ASSERT_EQ(Leveled(work.ctx, GainForExactFactor(row.factor), &seen), row.accepted);
    EXPECT_TRUE(work.host.lines.empty());
    if (!row.accepted) {
        EXPECT_EQ(test::ReadAllBytes(work.ctx.request.TempPath), oldTemp);
        return;
    }
    for (const auto& [at, value, after] : row.points) samples[static_cast<size_t>(at)] = static_cast<int16_t>(after);
    ExpectOutput(work, samples);
    EXPECT_EQ((std::array<int64_t, 3>{seen.PeakBefore, seen.PeakAfter, seen.HalfWavesLimited}), row.seen);
}

// Above 0 dB a half-wave (a run of one sign) is scaled as one piece: by the factor, or by the
// one that puts its peak on 31744 (31744 / 20000 = 1.5872, 31744 / 16000 = 1.984). The peaks
// seen leave out what is no sample: the unpaired last one, the odd byte, the trailer chunk.
INSTANTIATE_TEST_SUITE_P(
    Gains, LeveledFile,
    ::testing::Values(
        LevelCase{"HalvedTiesToEven", 1, kLong, 0.5,
                  {{0, 3, 2}, {1, 5, 2}, {2, -3, -2}, {3, -5, -2}, {4, -32768, -16384}, {kLong - 1, 7, 4}},
                  {32768, 16384, 0}},
        LevelCase{"DoubledUpToThePeakLimit", 1, kLong, 2,
                  {{100, 1000, 1587}, {101, 20000, 31744}, {102, 3000, 4762}, {200, -1000, -2000},
                   {201, -5, -10}, {kLong - 2, 100, 200}}, {20000, 31744, 1}},
        // One half-wave across the first block edge, its peak after it.
        LevelCase{"HalfWaveAcrossTheBlockEdge", 1, kLong, 2,
                  {{16381, 1000, 1984}, {16382, 1000, 1984}, {16383, 1000, 1984},
                   {16384, 1000, 1984}, {16385, 16000, 31744}, {16386, 1000, 1984}}, {16000, 31744, 1}},
        LevelCase{"StereoChannelsApartUnpairedLastKept", 2, kLong + 1, 2,
                  {{100, 20000, 31744}, {101, 1000, 2000}, {kLong, 30000, 30000}}, {20000, 31744, 1}},
        LevelCase{"OddDataSize", 1, kLong, 0.5, {{kLong - 2, 3, 2}, {kLong - 1, 300, 300}}, {3, 2, 0}, true, true},
        LevelCase{"ZeroGainCopiesAShortFile", 2, 1000, 1, {{5, 3, 3}, {999, -7, -7}}, {7, 7, 0}},
        LevelCase{"Mono32767Refused", 1, 32767, 0.5, {}, {}, false},
        LevelCase{"Mono32768", 1, 32768, 0.5, {{32767, 3, 2}}, {3, 2, 0}},
        LevelCase{"Stereo32769", 2, 32769, 0.5, {{32767, 3, 2}, {32768, 300, 300}}, {3, 2, 0}}),
    test::RowName());

TEST(Leveled, PeakDbfsIsRelativeToFullScaleAndSilenceHasNone)
{
    EXPECT_EQ(PeakDbfs(32768), 0.0);
    EXPECT_NEAR(*PeakDbfs(16384), -6.0206, 1e-4);  // 20 log10(1/2), to the digits given
    EXPECT_FALSE(PeakDbfs(0).has_value());
}

TEST(Leveled, AHalfWaveLongerThanTheLookAheadIsCutAtTheBufferEnd)
{
    for (int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        // One positive run, 30000 in its first frame and 100 after it: scaled as one piece
        // (31744 / 30000) to the end of the first buffer, 32768 samples of all channels
        // together; what follows starts afresh and is doubled.
        std::vector<int16_t> samples(3 * kBlock * static_cast<size_t>(channels), 100);
        std::fill_n(samples.begin(), channels, 30000);
        std::vector<int16_t> expected(samples.size(), 200);
        std::fill_n(expected.begin(), 2 * kBlock, 106);
        std::fill_n(expected.begin(), channels, 31744);
        test::WorkFile work;
        work.Write(channels, samples);
        ASSERT_TRUE(Leveled(work.ctx, GainForExactFactor(2)));
        ExpectOutput(work, expected);
    }
}

TEST(Leveled, CaptionsShowHeaderProgressAndTrailerAndItYieldsPerCycle)
{
    test::WorkFile work;
    work.Write(1, test::Noise(1, 1000, 12 * kBlock), {{"junk", {1, 2, 3}}});
    ASSERT_TRUE(Leveled(work.ctx, 2));
    // Percentages of the twelve blocks read, shown every second of the eleven cycles.
    EXPECT_EQ(work.host.captions, (std::vector<std::string>{"Copying header", "8", "25", "42", "58",
                                                             "75", "Copying trailer", "0"}));
    EXPECT_EQ(work.host.yields, 13);  // and once before the header and the trailer chunk
}

TEST(Leveled, FileErrorsAreLoggedWithTheirNumber)
{
    test::WorkFile work;
    work.Write(1, test::Noise(2, 1000, 3 * kBlock));
    // A full disk fails the step, not half-writes it: with SIGXFSZ ignored, a write past the
    // file size limit fails as one past the end of the disk does.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{4096, old.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_FALSE(Leveled(work.ctx, -3));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    work.ctx.wav.DataSize += 4000;  // claims more samples than the file holds
    EXPECT_FALSE(Leveled(work.ctx, -3));
    work.ctx.request.WorkPath = work.dir.File("gone.wav");
    EXPECT_FALSE(Leveled(work.ctx, 0));
    EXPECT_EQ(work.host.lines, (std::vector<std::string>{"61: Disk full",
                                                         "62: Input past end of file",
                                                         "53: File not found"}));
    EXPECT_TRUE(work.host.errorBoxes.empty());
}

}  // namespace
}  // namespace varnook
