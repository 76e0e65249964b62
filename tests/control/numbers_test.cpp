#include "io/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "support/param_name.h"
#include "support/scoped_env.h"

namespace varnook {
namespace {

struct FormatCase {
    const char* name;
    double value;
    const char* fixed2;   // "###0.00"
    const char* general;  // settings-file form
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

// 0.125 and 0.375 are exact in binary, so true halves: to even. 2.675 is stored just below the
// half and must not round up.
TEST_P(FormatTest, WritesAndReadsBack)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatFixed2(c.value, '.'), c.fixed2);
    EXPECT_EQ(FormatGeneral(c.value, '.'), c.general);
    const auto back = ParseLocaleNumber(FormatGeneral(c.value, ','), ',');
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(*back, c.value, std::abs(c.value) * 1e-14);  // 15 significant digits
}

INSTANTIATE_TEST_SUITE_P(Numbers, FormatTest, ::testing::Values(
    FormatCase{"HalfDown", 0.125, "0.12", "0.125"},
    FormatCase{"HalfUp", 0.375, "0.38", "0.375"},
    FormatCase{"BinaryBelowHalf", 2.675, "2.67", "2.675"},
    FormatCase{"NoNegativeZero", -0.001, "0.00", "-0.001"},
    FormatCase{"NegativeZero", -0.0, "0.00", "0"},
    FormatCase{"FifteenDigits", 1.0 / 3.0, "0.33", "0.333333333333333"},
    FormatCase{"SumNoiseHidden", 0.1 + 0.2, "0.30", "0.3"},
    FormatCase{"Small", 1.5e-7, "0.00", "1.5e-07"}), test::RowName());

TEST(Numbers, CommaSeparatorAndHugeValuesInFullWithoutGrouping)
{
    EXPECT_EQ(FormatFixed2(-0.5, ','), "-0,50");
    EXPECT_EQ(FormatGeneral(64.82, ','), "64,82");
    EXPECT_EQ(FormatFixed2(1e300, '.').size(), 301u + 3u);
    EXPECT_EQ(NormalizeDecimal("1.000,5", ','), "1,000,5");
    EXPECT_EQ(NormalizeDecimal("-1,5", '.'), "-1.5");
}

struct ParseCase {
    const char* name;
    const char* text;
    char separator;
    std::optional<double> expected;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Parses)
{
    EXPECT_EQ(ParseLocaleNumber(GetParam().text, GetParam().separator), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, ParseTest, ::testing::Values(
    ParseCase{"Comma", "64,82", ',', 64.82}, ParseCase{"OtherSeparator", "64,82", '.', {}},
    ParseCase{"BlanksAround", " \t-1.5 ", '.', -1.5}, ParseCase{"Exponent", "1.5e3", '.', 1500.0},
    ParseCase{"LeadingSeparator", ",5", ',', 0.5}, ParseCase{"TrailingSeparator", "1.", '.', 1.0},
    ParseCase{"Empty", "", '.', {}}, ParseCase{"Sign", "-", '.', {}},
    ParseCase{"TwoSeparators", "1,000,5", ',', {}}, ParseCase{"Hex", "0x10", '.', {}},
    ParseCase{"InnerBlank", "1 5", '.', {}}, ParseCase{"Unit", "12dB", '.', {}},
    ParseCase{"NaN", "nan", '.', {}}, ParseCase{"Overflow", "1e400", '.', {}}),
    test::RowName());

// The separator comes from the locale; the conversions must not depend on it beyond that.
TEST(Numbers, CommaLocale)
{
    EXPECT_EQ(FindDecimalSeparator(), '.');
    test::ScopedLocale locale(test::kCommaLocale);
    if (!locale.Active()) GTEST_SKIP() << test::kCommaLocale << " is not installed";
    EXPECT_EQ(FindDecimalSeparator(), ',');
    EXPECT_EQ(ParseLocaleNumber("2.5", '.'), 2.5);
    EXPECT_EQ(FormatFixed2(-0.5, '.'), "-0.50");
}

}  // namespace
}  // namespace varnook
