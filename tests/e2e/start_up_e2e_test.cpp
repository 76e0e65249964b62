// The program as a user starts it: --help, --version, and what it says about missing sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/captured_run.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

class StartUpE2E : public ::testing::Test {
protected:
    test::CapturedRun Run(const std::vector<std::string>& args)
    {
        return test::RunCaptured(VARNOOK_EXE, args, {{"VARNOOK_INI", ini}});
    }

    test::TempDir dir;
    std::string ini = dir.File("varnook.ini");
};

TEST_F(StartUpE2E, HelpAndVersionSucceed)
{
    const test::CapturedRun help = Run({"/ana0", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("/dest PATH"), std::string::npos);
    const test::CapturedRun version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("varnook ") + VARNOOK_VERSION + "\n");
    EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(StartUpE2E, MissingSourceIsReportedAndNoSettingsFileIsWritten)
{
    // Without a display the program cannot fall back to the windows: it says so and fails.
    const std::string missing = dir.File("no such song.wav");
    const test::CapturedRun run = Run({missing, "/nl", "3"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(ini));
}

}  // namespace
}  // namespace varnook
