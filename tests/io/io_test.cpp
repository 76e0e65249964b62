// The shared helpers: file error numbers and the locale's numbers. Moves over an older file show
// in the end-to-end runs, across file systems too, and so does the separator a comma locale gives.
#include "io/errors.h"
#include "io/numbers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <optional>

#include "support/recording_host.h"

namespace varnook {
namespace {

// The common file errors (53, 61, 70) show in the steps' own tests; here the rarer ones and the
// box an unexpected error shows before it is raised again.
TEST(FileErrors, RareNumbersAndTheUnexpectedErrorsBox)
{
    EXPECT_EQ(std::tuple(FileErrorFromErrno(ENOTDIR).LogText(), FileErrorFromErrno(EXDEV).LogText()),
              std::tuple("76: Path not found", "74: Can't rename with different drive"));
    test::RecordingHost host;
    try {
        throw ProgramError(program_errors::kDivisionByZero, "Division by zero");
    } catch (...) {
        EXPECT_THROW(ShowErrorBoxAndRethrow(host, "WavTime"), ProgramError);
    }
    EXPECT_EQ(host.errorBoxes, std::vector<std::string>{"'WavTime' Error Number: 11\r\nDivision by zero"});
}

// 0.125 and 0.375 are exact in binary, so true halves: to even. 2.675 is stored just below the
// half and must not round up. Every general form reads back in the comma notation.
TEST(Numbers, FormatsAndReadsBack)
{
    const struct {
        double value;
        const char* fixed2;   // "###0.00"
        const char* general;  // settings-file form
    } rows[] = {{0.125, "0.12", "0.125"},   {0.375, "0.38", "0.375"},     {2.675, "2.67", "2.675"},
                {-0.001, "0.00", "-0.001"}, {-0.0, "0.00", "0"},          {0.1 + 0.2, "0.30", "0.3"},
                {1.0 / 3.0, "0.33", "0.333333333333333"},                 {1.5e-7, "0.00", "1.5e-07"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.general);
        EXPECT_EQ(FormatFixed2(row.value, '.'), row.fixed2);
        EXPECT_EQ(FormatGeneral(row.value, '.'), row.general);
        const auto back = ParseLocaleNumber(FormatGeneral(row.value, ','), ',');
        ASSERT_TRUE(back.has_value());
        EXPECT_NEAR(*back, row.value, std::abs(row.value) * 1e-14);  // 15 significant digits
    }
    EXPECT_EQ(FormatFixed2(-0.5, ','), "-0,50");
    EXPECT_EQ(FormatFixed2(1e300, '.').size(), 301u + 3u);  // in full, without grouping
    EXPECT_EQ(NormalizeDecimal("1.000,5", ','), "1,000,5");
}

TEST(Numbers, ParsesTheLocalesNotationOnly)
{
    const struct {
        const char* text;
        char separator;
        std::optional<double> expected;
    } rows[] = {{"64,82", ',', 64.82}, {"64,82", '.', {}},   {" \t-1.5 ", '.', -1.5},
                {"1.5e3", '.', 1500},  {",5", ',', 0.5},     {"1.", '.', 1.0},
                {"", '.', {}},         {"-", '.', {}},       {"1,000,5", ',', {}},
                {"0x10", '.', {}},     {"1 5", '.', {}},     {"12dB", '.', {}},
                {"nan", '.', {}},      {"1e400", '.', {}}};
    for (const auto& row : rows) EXPECT_EQ(ParseLocaleNumber(row.text, row.separator), row.expected) << row.text;
}

}  // namespace
}  // namespace varnook
