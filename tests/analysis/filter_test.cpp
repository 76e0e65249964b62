#include "analysis/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "control/context.h"
#include "support/recording_host.h"

namespace varnook {
namespace {

// The leading values by which each published set is recognised, typed in from the table of
// first coefficients rather than from the source, so a set filed under the wrong rate or a
// mistyped leading value shows.
struct FirstValues {
    int32_t rate;
    double yuleB0, yuleA1, butterB0, butterA1, butterA2;
};

class FilterSets : public ::testing::TestWithParam<FirstValues> {};

TEST_P(FilterSets, RateSelectsItsPublishedSet)
{
    const FirstValues& v = GetParam();
    const auto c = FilterForRate(v.rate);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->YuleB[0], v.yuleB0);
    EXPECT_EQ(c->YuleA[1], v.yuleA1);
    EXPECT_EQ(c->ButterB[0], v.butterB0);
    EXPECT_EQ(c->ButterA[1], v.butterA1);
    EXPECT_EQ(c->ButterA[2], v.butterA2);
    // Index 0 of the feedback arrays is never read and holds 0.
    EXPECT_EQ(c->YuleA[0], 0.0);
    EXPECT_EQ(c->ButterA[0], 0.0);
    // The Butterworth high-pass is symmetric: b2 = b0 and b1 = -2 b0 (to the published digits).
    EXPECT_EQ(c->ButterB[2], c->ButterB[0]);
    EXPECT_NEAR(c->ButterB[1], -2 * c->ButterB[0], 1e-13);
    // A high-pass passes nothing at 0 Hz: its coefficients sum to zero within the rounding of
    // 14 published decimals. A mistyped digit anywhere in b or a breaks this.
    EXPECT_NEAR(c->ButterB[0] + c->ButterB[1] + c->ButterB[2], 0.0, 1e-13);
}

INSTANTIATE_TEST_SUITE_P(
    Published, FilterSets,
    ::testing::Values(FirstValues{48000, 0.03857599435200, -3.84664617118067, 0.98621192462708, -1.97223372919527, 0.97261396931306},
                      FirstValues{44100, 0.05418656406430, -3.47845948550071, 0.98500175787242, -1.96977855582618, 0.97022847566350},
                      FirstValues{32000, 0.15457299681924, -2.37898834973084, 0.97938932735214, -1.95835380975398, 0.95920349965459},
                      FirstValues{24000, 0.30296907319327, -1.61273165137247, 0.97531843204928, -1.95002759149878, 0.95124613669835},
                      FirstValues{22050, 0.33642304856132, -1.49858979367799, 0.97316523498161, -1.94561023566527, 0.94705070426118},
                      FirstValues{16000, 0.44915256608450, -0.62820619233671, 0.96454515552826, -1.92783286977036, 0.93034775234268},
                      FirstValues{12000, 0.56619470757641, -1.04800335126349, 0.96009142950541, -1.91858953033784, 0.92177618768381},
                      FirstValues{11025, 0.58100494960553, -0.51035327095184, 0.95856916599601, -1.91542108074780, 0.91885558323625},
                      FirstValues{8000, 0.53648789255105, -0.25049871956020, 0.94597685600279, -1.88903307939452, 0.89487434461664}),
    [](const auto& info) { return "Hz" + std::to_string(info.param.rate); });

TEST(FilterSets, At48000TheThreeValuesHaveFifteenDigits)
{
    const auto c = FilterForRate(48000);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->YuleA[3], -11.3417035513204);
    EXPECT_EQ(c->YuleA[4], 13.0550421932754);
    EXPECT_EQ(c->YuleA[5], -12.2875989514529);
}

TEST(SetFilter, FillsTheContextForASupportedRate)
{
    test::RecordingHost host;
    Context ctx(host);
    ctx.wav.SampleRate = 44100;
    EXPECT_TRUE(SetFilter(ctx));
    EXPECT_EQ(ctx.filter.YuleB[0], 0.05418656406430);
    EXPECT_TRUE(host.lines.empty());
}

TEST(SetFilter, OtherRatesFailAndKeepThePreviousSet)
{
    for (int32_t rate : {44099, 44101, 47999, 48001, 96000, 0, -44100, 7999, 11024}) {
        SCOPED_TRACE(rate);
        test::RecordingHost host;
        Context ctx(host);
        ctx.wav.SampleRate = 16000;
        ASSERT_TRUE(SetFilter(ctx));
        ctx.wav.SampleRate = rate;
        EXPECT_FALSE(SetFilter(ctx));
        EXPECT_EQ(host.lines, std::vector<std::string>{"No filter for this frequency"});
        EXPECT_EQ(ctx.filter.YuleB[0], 0.44915256608450);
        EXPECT_FALSE(FilterForRate(rate).has_value());
    }
}

}  // namespace
}  // namespace varnook
