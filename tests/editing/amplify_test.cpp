#include "editing/amplify.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cmath>

#include "editing/work_file.h"
#include "io/byte_order.h"
#include "support/param_name.h"

namespace varnook {
namespace {

constexpr size_t kBlock = 16384;

// A gain whose factor 10^(gain / 20) is exactly `factor`, so that products land on exact halves.
double GainForExactFactor(double factor)
{
    double gain = 20 * std::log10(factor);
    for (int i = 0; i < 64 && std::pow(10.0, gain / 20) != factor; ++i)
        gain = std::nextafter(gain, std::pow(10.0, gain / 20) < factor ? 100.0 : -100.0);
    return gain;
}

// What amplifying must give: a plain product for a factor up to 1; above it each run of one sign
// (a half-wave) scaled as one piece, by the factor or by the one that puts its peak on 31744.
// Valid while no half-wave is longer than the look-ahead. An unpaired last sample is kept.
std::vector<int16_t> Reference(const std::vector<int16_t>& in, size_t channels, double factor)
{
    std::vector<int16_t> out(in);
    const size_t paired = in.size() - in.size() % channels;
    for (size_t c = 0; c < channels; ++c) {
        for (size_t i = c; i < paired;) {
            size_t end = i + channels;
            int peak = std::abs(in[i]);
            while (factor > 1 && in[i] != 0 && end < paired && in[end] != 0 &&
                   (in[end] > 0) == (in[i] > 0)) {
                peak = std::max(peak, std::abs(static_cast<int>(in[end])));
                end += channels;
            }
            const double f = factor <= 1 || peak * factor <= 31744 ? factor : 31744.0 / peak;
            for (; i < end; i += channels)
                out[i] = static_cast<int16_t>(std::nearbyint(in[i] * f));
        }
    }
    return out;
}

// The output must be the work file byte for byte, with `samples` in place of its own.
void ExpectOutput(const test::WorkFile& work, const std::vector<int16_t>& samples)
{
    auto expected = work.bytes;
    for (size_t i = 0; i < samples.size(); ++i)
        StoreLE16(expected.data() + work.DataStart() + 2 * i, samples[i]);
    test::ExpectSameBytes(test::ReadAllBytes(work.ctx.request.TempPath), expected);
}

// Noise, or a mixed signal: a left channel swelling from quiet to full scale with runs of zeros
// and a quiet right channel, so the two channels of one frame need different factors; the
// frequencies put half-waves across the block edges.
std::vector<int16_t> Make(bool mixed, int channels, size_t count)
{
    if (!mixed) return test::Noise(7, 32768, count);
    const size_t frames = count / static_cast<size_t>(channels);
    const auto left = test::Sine(437, 32767, 44100, frames);
    const auto right = test::Sine(1013, 6000, 44100, frames);
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames; ++i) {
        const double swell = 0.2 + 0.8 * std::abs(std::sin(static_cast<double>(i) / 30000.0));
        out.push_back(i % 5000 < 300 ? 0 : static_cast<int16_t>(std::nearbyint(left[i] * swell)));
        if (channels == 2) out.push_back(right[i]);
    }
    out.resize(count, -12345);  // an unpaired last sample in stereo
    return out;
}

struct LevelCase {
    const char* name;
    int16_t channels;
    size_t samples;
    double gain;
    bool mixed;
    bool accepted;
    bool oddSize = false;  // the last sample's high byte belongs to no sample
};
void PrintTo(const LevelCase& row, std::ostream* os) { *os << row.name; }

class LeveledFile : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LeveledFile, MatchesTheRuleSampleForSampleOrIsRefused)
{
    const LevelCase& row = GetParam();
    const auto samples = Make(row.mixed, row.channels, row.samples);
    test::WorkFile work;
    work.Write(row.channels, samples, {test::Chunk{"id3 ", std::vector<uint8_t>(777, 0xA5)}});
    work.ctx.wav.DataSize -= row.oddSize ? 1 : 0;
    const std::vector<uint8_t> oldTemp(300000, 9);  // left by an earlier file, longer than this one
    test::WriteAllBytes(work.ctx.request.TempPath, oldTemp);

    ASSERT_EQ(Leveled(work.ctx, row.gain), row.accepted);
    EXPECT_TRUE(work.host.lines.empty());
    if (!row.accepted) {
        EXPECT_EQ(test::ReadAllBytes(work.ctx.request.TempPath), oldTemp);
        return;
    }
    const auto channels = static_cast<size_t>(row.channels);
    auto expected = Reference(samples, channels, std::pow(10.0, row.gain / 20));
    if (row.oddSize) expected.back() = samples.back();
    ExpectOutput(work, expected);
    // Loud half-waves peak on exactly 31744.
    if (row.gain > 0) {
        EXPECT_EQ(*std::ranges::max_element(expected), 31744);
    }
}

constexpr size_t kLong = 2 * (3 * kBlock + 5001);  // ends in a partial block, mono and stereo

INSTANTIATE_TEST_SUITE_P(
    Gains, LeveledFile,
    ::testing::Values(
        // A factor of exactly 0.5 puts every odd sample on a half, which must go to even.
        LevelCase{"MonoHalvedTiesToEven", 1, kLong, GainForExactFactor(0.5), false, true},
        LevelCase{"StereoMinus3dB", 2, kLong, -3, false, true},
        LevelCase{"MonoOddDataSize", 1, kLong, -6, false, true, true},
        LevelCase{"MonoPlus6dBMixed", 1, kLong, 6, true, true},
        LevelCase{"StereoPlus6dBMixedUnpairedLast", 2, kLong + 1, 6, true, true},
        LevelCase{"MonoPlus40dBMixed", 1, kLong, 40, true, true},
        LevelCase{"ZeroGainCopiesEvenAShortFile", 2, 1000, 0, false, true},
        LevelCase{"Mono32767Refused", 1, 32767, -1, false, false},
        LevelCase{"Mono32768", 1, 32768, -1, false, true},
        LevelCase{"Stereo32769", 2, 32769, -1, false, true}),
    test::RowName());

TEST(Leveled, AHalfWaveLongerThanTheLookAheadIsCutAtTheBufferEnd)
{
    for (int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        // One positive run, loud in its first frame and quiet after it: scaled as one piece to
        // the end of the first buffer (32768 samples of all channels together); what follows
        // starts afresh with its own peak.
        std::vector<int16_t> samples(3 * kBlock * static_cast<size_t>(channels), 100);
        std::fill_n(samples.begin(), channels, 30000);
        std::vector<int16_t> expected(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            const double factor = i < 2 * kBlock ? 31744.0 / 30000 : std::pow(10.0, 6.0 / 20);
            expected[i] = static_cast<int16_t>(std::nearbyint(samples[i] * factor));
        }
        test::WorkFile work;
        work.Write(channels, samples);
        ASSERT_TRUE(Leveled(work.ctx, 6));
        ExpectOutput(work, expected);
    }
}

TEST(Leveled, CaptionsShowHeaderProgressAndTrailerAndItYieldsPerCycle)
{
    const int cycles = 11;  // after the priming read
    test::WorkFile work;
    work.Write(1, test::Noise(1, 1000, (cycles + 1) * kBlock), {{"junk", {1, 2, 3}}});
    ASSERT_TRUE(Leveled(work.ctx, 2));

    // Percentages of the samples read, rising, shown at most every second cycle.
    std::vector<std::string> expected = {"Copying header"};
    for (int cycle = 1; cycle < cycles; cycle += 2)
        expected.push_back(std::to_string(static_cast<int>(std::nearbyint(100.0 * cycle / 12))));
    expected.insert(expected.end(), {"Copying trailer", "0"});
    EXPECT_EQ(work.host.captions, expected);
    EXPECT_EQ(work.host.yields, cycles + 2);  // and once before the header and the trailer chunk
}

TEST(Leveled, FileErrorsAreLoggedWithTheirNumber)
{
    test::WorkFile work;
    work.Write(1, test::Noise(2, 1000, 3 * kBlock));
    {
        // A full disk fails the step, not half-writes it: with SIGXFSZ ignored, a write past
        // the file size limit fails as one past the end of the disk does.
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit small{4096, old.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_FALSE(Leveled(work.ctx, -3));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    work.ctx.wav.DataSize += 4000;  // claims more samples than the file holds
    EXPECT_FALSE(Leveled(work.ctx, -3));
    work.ctx.request.WorkPath = work.dir.File("gone.wav");
    EXPECT_FALSE(Leveled(work.ctx, 0));
    const std::vector<std::string> expected = {"61: Disk full", "62: Input past end of file",
                                               "53: File not found"};
    EXPECT_EQ(work.host.lines, expected);
    EXPECT_TRUE(work.host.errorBoxes.empty());
}

}  // namespace
}  // namespace varnook
