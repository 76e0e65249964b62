#include "editing/amplify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "editing/work_file.h"
#include "support/param_name.h"

namespace varnook {
namespace {

using test::Chunk;
using test::WavLayout;

constexpr size_t kBlock = 16384;

WavLayout Layout(int16_t channels)
{
    WavLayout layout;
    layout.channels = channels;
    layout.fmtSize = 18;
    layout.before = {Chunk{"LIST", {'I', 'N', 'F', 'O', 'x', 'y'}}};
    layout.after = {Chunk{"id3 ", std::vector<uint8_t>(777, 0xA5)}, Chunk{"junk", {1, 2, 3}}};
    return layout;
}

// A gain whose factor 10^(gain / 20) is exactly `factor`, so that products land on exact halves.
double GainForExactFactor(double factor)
{
    double gain = 20 * std::log10(factor);
    for (int i = 0; i < 64 && std::pow(10.0, gain / 20) != factor; ++i)
        gain = std::nextafter(gain, std::pow(10.0, gain / 20) < factor ? 100.0 : -100.0);
    return gain;
}

// What amplifying must give, worked out over the whole signal: a plain multiplication for a
// factor up to 1, otherwise each run of one sign (a half-wave) scaled as one piece, by the factor
// or by the one that puts its peak on 31744. Valid while no half-wave is longer than the
// look-ahead. A stereo file's unpaired last sample is kept.
std::vector<int16_t> Reference(const std::vector<int16_t>& in, size_t channels, double factor)
{
    std::vector<int16_t> out(in);
    const size_t paired = in.size() - in.size() % channels;
    for (size_t c = 0; c < channels; ++c) {
        for (size_t i = c; i < paired;) {
            size_t end = i + channels;
            int peak = std::abs(in[i]);
            if (factor > 1 && in[i] != 0)
                for (; end < paired && in[end] != 0 && (in[end] > 0) == (in[i] > 0); end += channels)
                    peak = std::max(peak, std::abs(static_cast<int>(in[end])));
            const double f = factor <= 1 || peak * factor <= 31744 ? factor : 31744.0 / peak;
            for (; i < end; i += channels) out[i] = static_cast<int16_t>(std::nearbyint(in[i] * f));
        }
    }
    return out;
}

// The output must equal the input byte for byte outside the samples, and `expected` inside.
// Returns the output's samples.
std::vector<int16_t> ExpectAmplifiedCopy(const test::WorkFile& work, const std::vector<int16_t>& expected)
{
    const auto out = test::ReadAllBytes(work.ctx.request.TempPath);
    EXPECT_EQ(out.size(), work.bytes.size());
    const auto dataStart = static_cast<ptrdiff_t>(work.DataStart());
    const auto dataEnd = dataStart + static_cast<ptrdiff_t>(expected.size() * 2);
    if (out.size() != work.bytes.size()) return {};
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + dataStart, work.bytes.begin())) << "header changed";
    EXPECT_TRUE(std::equal(out.begin() + dataEnd, out.end(), work.bytes.begin() + dataEnd)) << "trailer changed";
    const auto samples = test::SamplesAt(out, work.DataStart(), expected.size());
    EXPECT_EQ(samples, expected);
    return samples;
}

enum class Signal { Noise, Mixed, FullScaleSine };

// Mixed: a left channel swelling from quiet to full scale with runs of zeros, and a quiet right
// channel, so the two channels of one frame need different factors; the frequencies put
// half-waves across the block edges.
std::vector<int16_t> Make(Signal signal, int channels, size_t count)
{
    const size_t frames = count / static_cast<size_t>(channels);
    std::vector<int16_t> out;
    if (signal == Signal::Noise) out = test::Noise(7, 32768, count);
    if (signal == Signal::FullScaleSine) out = test::Sine(1000, 32767, 44100, frames, channels);
    if (signal == Signal::Mixed) {
        const auto left = test::Sine(437, 32767, 44100, frames);
        const auto right = test::Sine(1013, 6000, 44100, frames);
        for (size_t i = 0; i < frames; ++i) {
            const double swell = 0.2 + 0.8 * std::abs(std::sin(static_cast<double>(i) / 30000.0));
            out.push_back(i % 5000 < 300 ? int16_t{0} : static_cast<int16_t>(std::nearbyint(left[i] * swell)));
            if (channels == 2) out.push_back(right[i]);
        }
    }
    out.resize(count, -12345);  // an unpaired last sample in stereo
    return out;
}

struct LevelCase {
    const char* name;
    int16_t channels;
    size_t samples;
    double gain;    // dB, or NaN to use the gain of exactly `factor`
    double factor;
    Signal signal;
    bool accepted;
};
void PrintTo(const LevelCase& row, std::ostream* os) { *os << row.name; }

class LeveledFile : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LeveledFile, MatchesTheRuleSampleForSampleOrIsRefusedSilently)
{
    const LevelCase& row = GetParam();
    const auto samples = Make(row.signal, row.channels, row.samples);
    const double gain = std::isnan(row.gain) ? GainForExactFactor(row.factor) : row.gain;
    test::WorkFile work;
    work.Write(Layout(row.channels), samples);

    ASSERT_EQ(Leveled(work.ctx, gain), row.accepted);
    EXPECT_TRUE(work.host.lines.empty());
    if (!row.accepted) {
        EXPECT_FALSE(std::filesystem::exists(work.ctx.request.TempPath));
        EXPECT_TRUE(work.host.captions.empty());
        return;
    }
    const auto expected = Reference(samples, static_cast<size_t>(row.channels), std::pow(10.0, gain / 20));
    const auto out = ExpectAmplifiedCopy(work, expected);
    if (row.signal == Signal::FullScaleSine) {
        EXPECT_EQ(*std::ranges::max_element(out), 31744);
        EXPECT_EQ(*std::ranges::min_element(out), -31744);
    }
}

constexpr double kExact = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kLong = 2 * (3 * kBlock + 5001);  // ends in a partial block, mono and stereo

INSTANTIATE_TEST_SUITE_P(
    Gains, LeveledFile,
    ::testing::Values(
        // A factor of exactly 0.5 puts every odd sample on a half, which must go to even.
        LevelCase{"MonoHalvedTiesToEven", 1, kLong, kExact, 0.5, Signal::Noise, true},
        LevelCase{"StereoMinus3dB", 2, kLong, -3, 0, Signal::Noise, true},
        LevelCase{"MonoPlus6dBMixed", 1, kLong, 6, 0, Signal::Mixed, true},
        LevelCase{"StereoPlus6dBMixed", 2, kLong, 6, 0, Signal::Mixed, true},
        LevelCase{"MonoPlus40dBMixed", 1, kLong, 40, 0, Signal::Mixed, true},
        LevelCase{"MonoFullScaleSinePlus6dB", 1, 3 * 44100, 6, 0, Signal::FullScaleSine, true},
        LevelCase{"StereoFullScaleSinePlus6dB", 2, 6 * 44100, 6, 0, Signal::FullScaleSine, true},
        LevelCase{"StereoUnpairedLastSample", 2, kLong + 1, 3, 0, Signal::Mixed, true},
        LevelCase{"Mono32767Refused", 1, 32767, -1, 0, Signal::Noise, false},
        LevelCase{"Mono32768", 1, 32768, -1, 0, Signal::Noise, true},
        LevelCase{"Stereo32766Refused", 2, 32766, 2, 0, Signal::Noise, false},
        LevelCase{"Stereo32769", 2, 32769, -1, 0, Signal::Noise, true}),
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
        for (size_t i = 0; i < samples.size(); ++i)
            expected[i] = static_cast<int16_t>(
                std::nearbyint(samples[i] * (i < 2 * kBlock ? 31744.0 / 30000 : std::pow(10.0, 6.0 / 20))));
        test::WorkFile work;
        work.Write(Layout(channels), samples);
        ASSERT_TRUE(Leveled(work.ctx, 6));
        ExpectAmplifiedCopy(work, expected);
    }
}

TEST(Leveled, OddDataSizePassesTheLoneByteThrough)
{
    const auto samples = test::Noise(11, 30000, 40000);
    test::WorkFile work;
    work.Write(Layout(1), samples);
    work.ctx.wav.DataSize -= 1;  // the last sample's high byte belongs to no sample
    ASSERT_TRUE(Leveled(work.ctx, -6));
    auto expected = Reference(samples, 1, std::pow(10.0, -6.0 / 20));
    expected.back() = samples.back();
    ExpectAmplifiedCopy(work, expected);
}

TEST(Leveled, ZeroGainCopiesByteForByteOverAnOldWorkFile)
{
    test::WorkFile work;
    work.Write(Layout(2), test::Noise(5, 32768, 1000));  // short files are copied too
    test::WriteAllBytes(work.ctx.request.TempPath, std::vector<uint8_t>(100000, 9));
    ASSERT_TRUE(Leveled(work.ctx, 0));
    EXPECT_EQ(test::ReadAllBytes(work.ctx.request.TempPath), work.bytes);
    EXPECT_TRUE(work.host.captions.empty());
}

TEST(Leveled, CaptionsShowHeaderProgressAndTrailerAndItYieldsPerCycle)
{
    const int cycles = 11;  // after the priming read
    test::WorkFile work;
    work.Write(Layout(1), test::Noise(1, 1000, (cycles + 1) * kBlock));
    ASSERT_TRUE(Leveled(work.ctx, 2));

    // Percentages of the samples read, rising, shown at most every second cycle.
    std::vector<std::string> expected = {"Copying header"};
    for (int cycle = 1; cycle < cycles; cycle += 2)
        expected.push_back(std::to_string(static_cast<int>(std::nearbyint(100.0 * cycle / (cycles + 1)))));
    expected.insert(expected.end(), {"Copying trailer", "0"});
    EXPECT_EQ(work.host.captions, expected);
    EXPECT_EQ(work.host.yields, cycles + 2);  // and once before the header and the trailer chunk
}

TEST(Leveled, FileErrorsAreLoggedWithTheirNumber)
{
    test::WorkFile work;
    work.Write(Layout(1), test::Noise(2, 1000, 3 * kBlock));
    work.ctx.request.TempPath = "/dev/full";  // a full disk fails the step, not half-writes it
    EXPECT_FALSE(Leveled(work.ctx, -3));
    work.ctx.request.TempPath = work.dir.File("VRK.tmp");
    work.ctx.wav.DataSize += 4000;  // claims more samples than the file holds
    EXPECT_FALSE(Leveled(work.ctx, -3));
    work.ctx.request.WorkPath = work.dir.File("gone.wav");
    EXPECT_FALSE(Leveled(work.ctx, 0));
    EXPECT_EQ(work.host.lines,
              (std::vector<std::string>{"61: Disk full", "62: Input past end of file", "53: File not found"}));
    EXPECT_TRUE(work.host.errorBoxes.empty());
}

}  // namespace
}  // namespace varnook
