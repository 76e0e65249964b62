// A value outside what its key accepts is a usage error that names the key and what it takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/command_line.h"
#include "base/context.h"
#include "settings/run_settings_file.h"
#include "support/param_name.h"
#include "support/recording_host.h"

namespace varnook {
namespace {

struct ArgsCase {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // a part of the usage error; empty when the value is taken
};

class CommandLineValue : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(CommandLineValue, IsTakenOrNamedInTheUsageError)
{
    test::RecordingHost host;
    Context ctx{host};
    SetDefaults(ctx.settings);
    const ParsedCommandLine parsed = ParseCommandLine(ctx, GetParam().args);
    EXPECT_FALSE(parsed.ShowHelp);
    const std::string& error = GetParam().error;
    EXPECT_EQ(parsed.UsageError.empty(), error.empty()) << parsed.UsageError;
    EXPECT_NE(parsed.UsageError.find(error), std::string::npos) << parsed.UsageError;
}

INSTANTIATE_TEST_SUITE_P(Keys, CommandLineValue, ::testing::Values(
    ArgsCase{"SwitchWithTextAfterTheKey", {"/encode", "0"}, "/enc takes 0 or 1, not \"ode\""},
    ArgsCase{"SwitchYes", {"/TR", "yes"}, "/tr takes 0 or 1"},
    ArgsCase{"NumberGrouped", {"/nl", "1.000,5"}, "/nl takes a number from -200 to 200"},
    ArgsCase{"NumberOfTwoWords", {"/nl", "1", "2"}, "not \"1 2\""},
    ArgsCase{"PercentileZero", {"/rp0"}, "/rp takes a number above 0 up to 1"},
    ArgsCase{"PercentileAboveOne", {"/rp", "1,01"}, "/rp"},
    ArgsCase{"PercentileOne", {"/rp1"}, ""},
    ArgsCase{"DifferenceNegative", {"/rd-3"}, "/rd takes a number from 0"},
    ArgsCase{"LeadOfAnHour", {"/li", "3600"}, ""},
    ArgsCase{"LeadBeyondAnHour", {"/lo", "3600.5"}, "/lo takes a number up to 3600"},
    ArgsCase{"ThresholdBeyond200dB", {"/ci", "-200,5"}, "/ci"},
    ArgsCase{"Level200dB", {"/pr", "200", "/fo", "-200"}, ""},
    ArgsCase{"HelpAsEncoderArgument", {"/lame", "--help"}, ""},
    ArgsCase{"KeyWithoutValue", {"/ana", "/nl"}, ""}), test::RowName());

}  // namespace
}  // namespace varnook
