// Window mode as a user starts it: without a display the program says why and stops; with one
// it opens its windows, and the main window's first showing creates the settings file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/ini_file.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

class WindowModeE2E : public ::testing::Test {
protected:
    // Runs `script` in the shell; returns its exit status.
    int Shell(const std::string& script)
    {
        const int raw = std::system(script.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    std::string Exe() const { return std::string("'") + VARNOOK_EXE + "'"; }

    test::TempDir dir;
    std::string ini = dir.File("varnook.ini");
    std::string err = dir.File("stderr.txt");
    test::ScopedEnv settings{"VARNOOK_INI", ini};
};

TEST_F(WindowModeE2E, WithoutADisplayItSaysSoAndExitsTwo)
{
    const test::ScopedEnv x11("DISPLAY", std::nullopt);
    const test::ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    EXPECT_EQ(Shell(Exe() + " /ana0 2>'" + err + "'"), 2);
    const std::string message = test::ReadText(err);
    EXPECT_NE(message.find("needs a display"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(ini)) << "nothing is stored without the window";
}

#if VARNOOK_HAVE_GUI
TEST_F(WindowModeE2E, WithADisplayTheWindowsOpenAndStoreWhatTheCommandLineTurnedOff)
{
    const test::ScopedEnv x11("DISPLAY", ":varnook-test");
    const test::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    // The program runs until its window is closed; wait for the file its load writes, then end it.
    const std::string script =
        Exe() + " /enc0 2>'" + err + "' & pid=$!\n" +
        "for i in $(seq 200); do [ -s '" + ini + "' ] && break; sleep 0.05; done\n" +
        "sleep 0.2; kill $pid; wait $pid; exit 0";
    ASSERT_EQ(Shell(script), 0);
    ASSERT_TRUE(std::filesystem::exists(ini)) << test::ReadText(err);
    EXPECT_EQ(ReadIni(ini, "Values", "6ID3", "<missing>"), "1");
    EXPECT_EQ(ReadIni(ini, "Values", "Encode", "<missing>"), "0");
    EXPECT_EQ(ReadIni(ini, "Values", "Analyze", "<missing>"), "<missing>");
}
#endif

}  // namespace
}  // namespace varnook
