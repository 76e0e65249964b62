#include "editing/amplify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
    return layout;
}

WavLayout LayoutWithChunks(int16_t channels)
{
    WavLayout layout;
    layout.channels = channels;
    layout.fmtSize = 18;
    layout.before = {Chunk{"LIST", {'I', 'N', 'F', 'O', 'x', 'y'}}};
    layout.after = {Chunk{"id3 ", std::vector<uint8_t>(777, 0xA5)}, Chunk{"junk", {1, 2, 3}}};
    return layout;
}

// Checks the output against the input byte by byte outside the samples and against the
// reference inside them.
void ExpectAmplifiedCopy(const test::WorkFile& work, const std::vector<int16_t>& expected)
{
    const auto out = test::ReadAllBytes(work.ctx.request.TempPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    const size_t dataStart = work.DataStart();
    const size_t dataEnd = dataStart + expected.size() * 2;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(dataStart), work.bytes.begin()))
        << "header changed";
    EXPECT_TRUE(std::equal(out.begin() + static_cast<ptrdiff_t>(dataEnd), out.end(),
                           work.bytes.begin() + static_cast<ptrdiff_t>(dataEnd)))
        << "trailer changed";
    const auto samples = test::SamplesAt(out, dataStart, expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(samples[i], expected[i]) << "sample " << i << " of " << expected.size();
}

// Half-waves of every kind: full-scale and quiet, runs of zeros between them, and a stereo
// pair whose channels need different factors.
std::vector<int16_t> MixedSignal(int channels, size_t frames)
{
    std::vector<int16_t> out;
    out.reserve(frames * static_cast<size_t>(channels));
    const auto left = test::Sine(437, 32767, 44100, frames);
    const auto right = test::Sine(1013, 6000, 44100, frames);
    for (size_t i = 0; i < frames; ++i) {
        // A slow envelope takes the left channel from quiet to full scale and back.
        const double envelope = 0.2 + 0.8 * std::abs(std::sin(static_cast<double>(i) / 30000.0));
        int16_t l = static_cast<int16_t>(std::nearbyint(left[i] * envelope));
        if (i % 5000 < 300) l = 0;
        out.push_back(l);
        if (channels == 2) out.push_back(right[i]);
    }
    return out;
}

struct LevelCase {
    const char* name;
    int16_t channels;
    double factor;  // exact, see GainForExactFactor; 0 means use `gain`
    double gain;
    bool noise;     // full-range noise rather than the mixed signal
    size_t extraSample;
};
void PrintTo(const LevelCase& row, std::ostream* os) { *os << row.name; }

class LeveledSamples : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LeveledSamples, EverySampleMatchesTheRuleAndNothingElseChanges)
{
    const LevelCase& row = GetParam();
    const size_t frames = 3 * kBlock + 5001;  // a partial last block
    const size_t count = frames * static_cast<size_t>(row.channels);
    std::vector<int16_t> samples =
        row.noise ? test::Noise(7, 32768, count) : MixedSignal(row.channels, frames);
    samples.insert(samples.end(), row.extraSample, int16_t{-12345});
    const double gain = row.factor != 0 ? test::GainForExactFactor(row.factor) : row.gain;
    const double factor = std::pow(10.0, gain / 20);
    if (row.factor != 0) {
        ASSERT_EQ(factor, row.factor);
    }

    test::WorkFile work;
    work.Write(LayoutWithChunks(row.channels), samples);
    ASSERT_TRUE(Leveled(work.ctx, gain));
    EXPECT_TRUE(work.host.lines.empty());
    ExpectAmplifiedCopy(work, test::AmplifiedReference(samples, row.channels, factor));
}

INSTANTIATE_TEST_SUITE_P(
    Gains, LeveledSamples,
    ::testing::Values(LevelCase{"MonoHalvedNoise", 1, 0.5, 0, true, 0},
                      LevelCase{"StereoMinus3dBNoise", 2, 0, -3, true, 0},
                      LevelCase{"StereoTinyCutNoise", 2, 0, -0.001, true, 0},
                      LevelCase{"MonoPlus6dBMixed", 1, 0, 6, false, 0},
                      LevelCase{"StereoPlus6dBMixed", 2, 0, 6, false, 0},
                      LevelCase{"MonoPlus40dBMixed", 1, 0, 40, false, 0},
                      LevelCase{"StereoDoubledMixed", 2, 2.0, 0, false, 0},
                      LevelCase{"StereoUnpairedLastSample", 2, 0, 3, false, 1},
                      LevelCase{"StereoUnpairedAttenuated", 2, 0, -3, true, 1}),
    test::RowName());

TEST(Leveled, RoundsHalvesToEven)
{
    std::vector<int16_t> samples = {5, 7, -5, -7, 1, -1, 32767, -32768};
    samples.resize(2 * kBlock, 3);
    test::WorkFile work;
    work.Write(WavLayout{}, samples);
    ASSERT_TRUE(Leveled(work.ctx, test::GainForExactFactor(0.5)));
    const auto out = test::SamplesAt(test::ReadAllBytes(work.ctx.request.TempPath), work.DataStart(), 9);
    EXPECT_EQ(out, (std::vector<int16_t>{2, 4, -2, -4, 0, 0, 16384, -16384, 2}));
}

TEST(Leveled, FullScaleSinePlus6dBPeaksExactlyAtTheLimit)
{
    for (int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const auto samples = test::Sine(1000, 32767, 44100, 44100 * 3, channels);
        test::WorkFile work;
        work.Write(Layout(channels), samples);
        ASSERT_TRUE(Leveled(work.ctx, 6));
        const auto out = test::SamplesAt(test::ReadAllBytes(work.ctx.request.TempPath), work.DataStart(),
                                         samples.size());

        // Every half-wave that is whole in the file (bounded by a change of sign on both sides)
        // must reach the limit exactly; nothing anywhere may pass it.
        int wholeHalfWaves = 0;
        for (int c = 0; c < channels; ++c) {
            std::vector<int> channel;
            for (size_t i = static_cast<size_t>(c); i < out.size(); i += static_cast<size_t>(channels))
                channel.push_back(out[i]);
            size_t start = 0;
            for (size_t i = 1; i <= channel.size(); ++i) {
                const bool boundary = i == channel.size() || (channel[i] > 0) != (channel[start] > 0) ||
                                      channel[i] == 0;
                if (!boundary) continue;
                const auto [lo, hi] = std::minmax_element(channel.begin() + static_cast<ptrdiff_t>(start),
                                                          channel.begin() + static_cast<ptrdiff_t>(i));
                EXPECT_LE(std::max(-*lo, *hi), 31744);
                if (start > 0 && i < channel.size() && channel[start] != 0) {
                    EXPECT_EQ(channel[start] > 0 ? *hi : -*lo, 31744) << "half-wave at " << start;
                    ++wholeHalfWaves;
                }
                start = i;
            }
        }
        EXPECT_GT(wholeHalfWaves, 5000 * channels);
    }
}

TEST(Leveled, AHalfWaveLongerThanTheLookAheadIsCutAtTheBufferEnd)
{
    const double gain = 6;
    const double factor = std::pow(10.0, gain / 20);
    for (int16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        // One positive run over the whole file: a loud first frame, quiet after it. The run is
        // scaled as one piece up to the end of the first buffer; what follows starts afresh.
        const size_t frames = 3 * kBlock;
        std::vector<int16_t> samples(frames * static_cast<size_t>(channels), 100);
        for (int c = 0; c < channels; ++c) samples[static_cast<size_t>(c)] = 30000;
        test::WorkFile work;
        work.Write(Layout(channels), samples);
        ASSERT_TRUE(Leveled(work.ctx, gain));

        const size_t cut = 2 * kBlock;  // samples in one buffer per channel, times the channels
        std::vector<int16_t> expected(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            const double f = i < cut ? 31744.0 / 30000 : factor;
            expected[i] = static_cast<int16_t>(std::nearbyint(samples[i] * f));
        }
        ExpectAmplifiedCopy(work, expected);
    }
}

struct LengthCase {
    const char* name;
    int16_t channels;
    size_t samples;
    bool accepted;
};
void PrintTo(const LengthCase& row, std::ostream* os) { *os << row.name; }

class LeveledLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LeveledLength, RefusesFewerThanTwoBlocksSilently)
{
    const LengthCase& row = GetParam();
    const auto samples = test::Noise(3, 20000, row.samples);
    test::WorkFile work;
    work.Write(Layout(row.channels), samples);

    EXPECT_EQ(Leveled(work.ctx, -1), row.accepted);
    if (row.accepted) {
        ExpectAmplifiedCopy(work, test::AmplifiedReference(samples, row.channels, std::pow(10.0, -1.0 / 20)));
    } else {
        EXPECT_FALSE(std::filesystem::exists(work.ctx.request.TempPath));
        EXPECT_TRUE(work.host.captions.empty());
    }
    EXPECT_TRUE(work.host.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Boundary, LeveledLength,
                         ::testing::Values(LengthCase{"Mono32767", 1, 32767, false},
                                           LengthCase{"Mono32768", 1, 32768, true},
                                           LengthCase{"Stereo32766", 2, 32766, false},
                                           LengthCase{"Stereo32768", 2, 32768, true},
                                           LengthCase{"Stereo32769", 2, 32769, true},
                                           LengthCase{"Mono32769", 1, 32769, true}),
                         test::RowName());

TEST(Leveled, OddDataSizePassesTheLoneByteThrough)
{
    const auto samples = test::Noise(11, 30000, 40000);
    test::WorkFile work;
    work.Write(WavLayout{}, samples);
    work.ctx.wav.DataSize -= 1;  // the last sample's high byte belongs to no sample
    ASSERT_TRUE(Leveled(work.ctx, -6));

    auto expected = test::AmplifiedReference(samples, 1, std::pow(10.0, -6.0 / 20));
    const auto out = test::ReadAllBytes(work.ctx.request.TempPath);
    ASSERT_EQ(out.size(), work.bytes.size());
    EXPECT_EQ(out.back(), work.bytes.back());
    EXPECT_EQ(test::SamplesAt(out, work.DataStart(), samples.size() - 1),
              std::vector<int16_t>(expected.begin(), expected.end() - 1));
}

TEST(Leveled, ZeroGainCopiesByteForByteOverAnOldWorkFile)
{
    const auto samples = test::Noise(5, 32768, 1000);  // short files are copied too
    test::WorkFile work;
    work.Write(LayoutWithChunks(2), samples);
    test::WriteAllBytes(work.ctx.request.TempPath, std::vector<uint8_t>(100000, 9));

    ASSERT_TRUE(Leveled(work.ctx, 0));
    EXPECT_EQ(test::ReadAllBytes(work.ctx.request.TempPath), work.bytes);
    EXPECT_TRUE(work.host.captions.empty());
    EXPECT_TRUE(work.host.lines.empty());
}

TEST(Leveled, ReportsHeaderCyclesAndTrailerInTheCaption)
{
    const size_t blocks = 12;
    test::WorkFile work;
    work.Write(LayoutWithChunks(1), test::Noise(1, 1000, blocks * kBlock));
    ASSERT_TRUE(Leveled(work.ctx, 2));

    const auto& captions = work.host.captions;
    ASSERT_GE(captions.size(), 4u);
    EXPECT_EQ(captions.front(), "Copying header");
    EXPECT_EQ(captions[captions.size() - 2], "Copying trailer");
    EXPECT_EQ(captions.back(), "0");
    // Percentages of samples read, rising, shown at most every second cycle.
    std::vector<int> shown;
    for (size_t i = 1; i + 2 < captions.size(); ++i) shown.push_back(std::stoi(captions[i]));
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end());
    EXPECT_GT(shown.front(), 0);
    EXPECT_LE(shown.back(), 100);
    EXPECT_LE(shown.size(), (blocks - 1 + 1) / 2);
    // One yield per cycle, one before the header chunk and one before the trailer chunk.
    EXPECT_EQ(work.host.yields, static_cast<int>(blocks - 1) + 2);
}

TEST(Leveled, FileErrorsAreLoggedWithTheirNumber)
{
    test::WorkFile work;
    work.Write(WavLayout{}, test::Noise(2, 1000, 3 * kBlock));

    // A full disk must surface as the step's own failure, not as a half-written success.
    work.ctx.request.TempPath = "/dev/full";
    EXPECT_FALSE(Leveled(work.ctx, -3));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"61: Disk full"});

    work.host.lines.clear();
    work.ctx.request.TempPath = work.dir.File("VRK.tmp");
    work.ctx.request.WorkPath = work.dir.File("gone.wav");
    EXPECT_FALSE(Leveled(work.ctx, 0));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"53: File not found"});

    work.host.lines.clear();
    work.ctx.request.WorkPath = work.dir.File("work.wav");
    work.ctx.wav.DataSize += 4000;  // claims more samples than the file holds
    EXPECT_FALSE(Leveled(work.ctx, -3));
    EXPECT_EQ(work.host.lines, std::vector<std::string>{"62: Input past end of file"});
    EXPECT_TRUE(work.host.errorBoxes.empty());
}

}  // namespace
}  // namespace varnook
