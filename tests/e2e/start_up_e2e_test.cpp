// The program as a user starts it: --help, --version, what it says about missing sources and
// a missing display, and the windows, whose first showing creates the settings file.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "settings/ini_file.h"
#include "support/captured_run.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

class StartUpE2E : public ::testing::Test {
protected:
    // Runs without DISPLAY and WAYLAND_DISPLAY, so the windows are never a way out.
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

TEST_F(StartUpE2E, WithoutADisplayTheWindowsAreRefusedAndNoSettingsFileIsWritten)
{
    // A missing source falls back to the windows, which cannot open.
    const std::string missing = dir.File("no such song.wav");
    const test::CapturedRun run = Run({missing, "/nl", "3"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
    const test::CapturedRun windows = Run({"/ana0"});
    EXPECT_EQ(windows.exitCode, 2);
    EXPECT_NE(windows.err.find("needs a display"), std::string::npos) << windows.err;
    EXPECT_FALSE(std::filesystem::exists(ini)) << "nothing is stored without the window";
}

#if VARNOOK_HAVE_GUI
TEST_F(StartUpE2E, WithADisplayTheWindowsOpenAndStoreWhatTheCommandLineTurnedOff)
{
    // The program runs until its window is closed; wait for the file its load writes, then end it.
    test::RunningProgram program = test::StartCaptured(
        dir.Path().string(), VARNOOK_EXE, {"/enc0"},
        {{"VARNOOK_INI", ini}, {"DISPLAY", ":varnook-test"}, {"QT_QPA_PLATFORM", "offscreen"}});
    for (int i = 0; i < 200 && !std::filesystem::exists(ini); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(program.Pid(), SIGTERM);
    const test::CapturedRun run = program.Finish();
    ASSERT_TRUE(std::filesystem::exists(ini)) << run.err;
    EXPECT_EQ(ReadIni(ini, "Values", "6ID3", "<missing>"), "1");
    EXPECT_EQ(ReadIni(ini, "Values", "Encode", "<missing>"), "0");
    EXPECT_EQ(ReadIni(ini, "Values", "Analyze", "<missing>"), "<missing>");
}
#endif

}  // namespace
}  // namespace varnook
