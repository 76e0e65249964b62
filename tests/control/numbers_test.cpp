#include "control/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "support/scoped_env.h"

namespace varnook {
namespace {

struct FixedCase {
    const char* name;
    double value;
    const char* point;
};

class FormatFixed2Test : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixed2Test, TwoDecimalsHalvesToEven)
{
    const FixedCase& c = GetParam();
    EXPECT_EQ(FormatFixed2(c.value, '.'), c.point);
    std::string comma = c.point;
    comma[comma.find('.')] = ',';
    EXPECT_EQ(FormatFixed2(c.value, ','), comma);
}

// 0.125 and 0.375 are exact in binary, so they are true halves: to even. 2.675 is stored a
// little below the half and must not be rounded up.
INSTANTIATE_TEST_SUITE_P(
    Numbers, FormatFixed2Test,
    ::testing::Values(FixedCase{"Rounds", 12.3456, "12.35"}, FixedCase{"NegativeHalf", -0.5, "-0.50"},
                      FixedCase{"NoGrouping", 1234.5, "1234.50"}, FixedCase{"HalfDown", 0.125, "0.12"},
                      FixedCase{"HalfUp", 0.375, "0.38"}, FixedCase{"BinaryBelowHalf", 2.675, "2.67"},
                      FixedCase{"NoNegativeZero", -0.001, "0.00"}, FixedCase{"Zero", 0, "0.00"},
                      FixedCase{"Whole", 30, "30.00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatFixed2, HugeValueIsWrittenInFull)
{
    const std::string text = FormatFixed2(1e300, '.');
    EXPECT_EQ(text.size(), 301u + 3u);
    EXPECT_EQ(text.substr(0, 2), "10");
    EXPECT_EQ(text.substr(text.size() - 3), ".00");
}

struct GeneralCase {
    const char* name;
    double value;
    const char* point;
};

class FormatGeneralTest : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(FormatGeneralTest, WritesAndReadsBack)
{
    const GeneralCase& c = GetParam();
    EXPECT_EQ(FormatGeneral(c.value, '.'), c.point);
    for (const char sep : {'.', ','}) {
        const auto back = ParseLocaleNumber(FormatGeneral(c.value, sep), sep);
        ASSERT_TRUE(back.has_value()) << FormatGeneral(c.value, sep);
        // Fifteen significant digits: exact for the short values, within 1e-14 relative otherwise.
        EXPECT_NEAR(*back, c.value, std::abs(c.value) * 1e-14);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, FormatGeneralTest,
    ::testing::Values(GeneralCase{"PinkRef", 64.82, "64.82"}, GeneralCase{"Whole", 30, "30"},
                      GeneralCase{"Lead", 0.2, "0.2"}, GeneralCase{"Negative", -1.5, "-1.5"},
                      GeneralCase{"NegativeZero", -0.0, "0"},
                      GeneralCase{"FifteenDigits", 1.0 / 3.0, "0.333333333333333"},
                      GeneralCase{"SumNoiseHidden", 0.1 + 0.2, "0.3"},
                      GeneralCase{"Large", 1e20, "1e+20"}, GeneralCase{"Small", 1.5e-7, "1.5e-07"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatGeneral, CommaLocaleSeparator)
{
    EXPECT_EQ(FormatGeneral(64.82, ','), "64,82");
    EXPECT_EQ(FormatGeneral(30, ','), "30");
}

struct ParseCase {
    const char* name;
    const char* text;
    char separator;
    std::optional<double> expected;
};

class ParseLocaleNumberTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLocaleNumberTest, Parses)
{
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseLocaleNumber(c.text, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ParseLocaleNumberTest,
    ::testing::Values(ParseCase{"Point", "64.82", '.', 64.82}, ParseCase{"Comma", "64,82", ',', 64.82},
                      ParseCase{"OtherSeparatorIsNoNumber", "64,82", '.', std::nullopt},
                      ParseCase{"PointInCommaLocale", "64.82", ',', std::nullopt},
                      ParseCase{"BlanksAround", " \t-1.5 ", '.', -1.5}, ParseCase{"Plus", "+2", '.', 2.0},
                      ParseCase{"LeadingSeparator", ",5", ',', 0.5}, ParseCase{"TrailingSeparator", "1.", '.', 1.0},
                      ParseCase{"Exponent", "1.5e3", '.', 1500.0}, ParseCase{"Empty", "", '.', std::nullopt},
                      ParseCase{"Blanks", "   ", '.', std::nullopt}, ParseCase{"Sign", "-", '.', std::nullopt},
                      ParseCase{"Separator", ".", '.', std::nullopt}, ParseCase{"Word", "abc", '.', std::nullopt},
                      ParseCase{"TwoSeparators", "1,000,5", ',', std::nullopt},
                      ParseCase{"InnerBlank", "1 5", '.', std::nullopt},
                      ParseCase{"TrailingText", "12dB", '.', std::nullopt},
                      ParseCase{"BareExponent", "1e", '.', std::nullopt}, ParseCase{"Hex", "0x10", '.', std::nullopt},
                      ParseCase{"Infinity", "inf", '.', std::nullopt}, ParseCase{"NaN", "nan", '.', std::nullopt},
                      ParseCase{"Overflow", "1e400", '.', std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NormalizeDecimal, EverySeparatorBecomesTheLocales)
{
    EXPECT_EQ(NormalizeDecimal("1.000,5", ','), "1,000,5");
    EXPECT_EQ(NormalizeDecimal("-1,5", '.'), "-1.5");
    EXPECT_EQ(NormalizeDecimal("a.b,c", ','), "a,b,c");
}

TEST(Locale, CommaLocaleGivesCommaAndParsingIgnoresTheCLocale)
{
    test::ScopedLocale locale(test::kCommaLocale);
    if (!locale.Active()) GTEST_SKIP() << test::kCommaLocale << " is not installed";
    EXPECT_EQ(FindDecimalSeparator(), ',');
    // The conversions must not depend on LC_NUMERIC beyond the separator we pass.
    EXPECT_EQ(ParseLocaleNumber("2,5", ','), 2.5);
    EXPECT_EQ(ParseLocaleNumber("2.5", '.'), 2.5);
    EXPECT_EQ(FormatGeneral(0.2, ','), "0,2");
    EXPECT_EQ(FormatFixed2(-0.5, '.'), "-0.50");
}

TEST(Locale, CLocaleGivesPoint)
{
    test::ScopedLocale locale("C");
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(FindDecimalSeparator(), '.');
}

}  // namespace
}  // namespace varnook
