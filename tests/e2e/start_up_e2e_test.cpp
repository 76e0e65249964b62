// The program as a user starts it: --help, --version, and what it says about missing sources.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs varnook with `args` (already quoted for the shell), settings in a file of the test's own.
ProgramRun RunVarnook(const test::TempDir& dir, const std::string& args)
{
    const std::string out = dir.File("stdout.txt");
    const std::string err = dir.File("stderr.txt");
    const std::string command = std::string("'") + VARNOOK_EXE + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = test::ReadText(out);
    run.err = test::ReadText(err);
    return run;
}

class StartUpE2E : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string ini = dir.File("varnook.ini");
    test::ScopedEnv env{"VARNOOK_INI", ini};
};

TEST_F(StartUpE2E, HelpAndVersionSucceed)
{
    const ProgramRun help = RunVarnook(dir, "/ana0 --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("/dest PATH"), std::string::npos);
    const ProgramRun version = RunVarnook(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("varnook ") + VARNOOK_VERSION + "\n");
    EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(StartUpE2E, MissingSourceIsReportedAndNoSettingsFileIsWritten)
{
    const std::string missing = dir.File("no such song.wav");
    const ProgramRun run = RunVarnook(dir, "'" + missing + "' /nl 3");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(ini));
}

}  // namespace
}  // namespace varnook
