#include "encoder/child_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

#include "encoder/encoder.h"
#include "io/errors.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

pid_t StartShell(const std::string& script)
{
    return StartChild("/bin/sh", {"sh", "-c", script});
}

void MakeExecutable(const std::string& path, const std::string& text, mode_t mode = 0755)
{
    test::WriteText(path, text);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

TEST(ChildProcess, TellsExitCodesAndSignalsApart)
{
    const ChildExit ok = ReapChild(StartShell("exit 0"));
    EXPECT_EQ(ok.kind, ChildExit::Kind::Exited);
    EXPECT_EQ(ExitCodeOf(ok), 0);

    const ChildExit failed = ReapChild(StartShell("exit 3"));
    EXPECT_EQ(failed.kind, ChildExit::Kind::Exited);
    EXPECT_EQ(failed.Code, 3);

    const ChildExit killed = ReapChild(StartShell("kill -SEGV $$"));
    EXPECT_EQ(killed.kind, ChildExit::Kind::Signaled);
    EXPECT_EQ(killed.Code, SIGSEGV);
    // A crash must never look like success to the encoder step.
    EXPECT_EQ(ExitCodeOf(killed), 128 + SIGSEGV);
}

TEST(ChildProcess, CouldNotStartIsAFileError)
{
    test::TempDir dir;
    try {
        StartChild(dir.File("missing"), {"missing"});
        FAIL() << "a missing program started";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), file_errors::kFileNotFound);
    }
    MakeExecutable(dir.File("not-runnable"), "#!/bin/sh\nexit 0\n", 0644);
    try {
        StartChild(dir.File("not-runnable"), {"not-runnable"});
        FAIL() << "a file without execute permission started";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), file_errors::kPermissionDenied);
    }
}

TEST(ChildProcess, ArgumentsArriveUnsplitAndUninterpreted)
{
    test::TempDir dir;
    const std::string out = dir.File("args");
    const std::vector<std::string> odd{"a b", "\"quoted\"", "$HOME", "*", "", "Ünïcødé;|&"};
    std::vector<std::string> args{"sh", "-c", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0\"", out};
    args.insert(args.end(), odd.begin(), odd.end());
    ASSERT_EQ(ExitCodeOf(ReapChild(StartChild("/bin/sh", args))), 0);
    EXPECT_EQ(test::ReadText(out), "[a b][\"quoted\"][$HOME][*][][Ünïcødé;|&]");
}

TEST(ChildProcess, ProgramBesideVarnookComesBeforeThePath)
{
    test::TempDir beside;
    test::TempDir onPath;
    MakeExecutable(beside.File("lame"), "#!/bin/sh\n");
    MakeExecutable(onPath.File("lame"), "#!/bin/sh\n");
    const std::string searchPath = "/nonexistent:" + onPath.Path().string();

    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), beside.File("lame"));
    EXPECT_EQ(FindProgram("lame", "", searchPath), onPath.File("lame"));

    // A file that may not be run is passed over, as is a folder of that name.
    ASSERT_EQ(::chmod(beside.File("lame").c_str(), 0644), 0);
    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), onPath.File("lame"));
    ASSERT_EQ(::unlink(onPath.File("lame").c_str()), 0);
    ASSERT_EQ(::mkdir(onPath.File("lame").c_str(), 0755), 0);
    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), "");
}

TEST(WaitForProcess, PollingYieldsWhileTheChildRunsAndReturnsItsCode)
{
    test::RecordingHost host;
    EXPECT_EQ(WaitForProcess(StartShell("sleep 0.1; exit 7"), false, host), 7);
    EXPECT_GT(host.yields, 0);
    EXPECT_EQ(WaitForProcess(StartShell("exit 1"), true, host), 1);
}

TEST(WaitForProcess, AChildAlreadyReapedReadsAsZeroWhenPollingAndFailsWhenBlocking)
{
    test::RecordingHost host;
    const pid_t pid = StartShell("exit 5");
    ReapChild(pid);
    EXPECT_EQ(WaitForProcess(pid, false, host), 0);
    EXPECT_THROW(WaitForProcess(pid, true, host), ProgramError);
}

}  // namespace
}  // namespace varnook
