#include "control/folder_lock.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "base/stop_request.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(FolderLocks, ASecondHolderWaitsSaysSoOnceAndGivesUpOnAStop)
{
    const test::TempDir dir;
    const std::string folder = dir.Path().string();
    test::RecordingHost host;
    StopRequest stop;
    {
        // One folder under two spellings is locked once, or the run would wait for itself.
        FolderLocks first;
        ASSERT_TRUE(first.Acquire({folder + "/", folder + "/./"}, host, stop));
        EXPECT_EQ(host.lines, Lines{});

        FolderLocks second;
        std::thread user([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            stop.Request();
        });
        EXPECT_FALSE(second.Acquire({folder}, host, stop));
        user.join();
        EXPECT_EQ(host.lines, Lines{"Waiting for another Varnook run in " + fs::canonical(folder).string() + "..."});
    }
    // Both gone: the folder is free again, and a folder that does not exist is no obstacle.
    const StopRequest noStop;
    FolderLocks third;
    EXPECT_TRUE(third.Acquire({folder, folder + "/missing/"}, host, noStop));
    EXPECT_EQ(host.lines.size(), 1u);
}

TEST(StopRequest, ATerminationSignalTakenInBatchModeBecomesARequest)
{
    sigset_t before;
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
    StopRequest stop;
    stop.TakeTerminationSignals();
    EXPECT_FALSE(stop.Requested());
    ::raise(SIGTERM);  // blocked now, so it waits to be collected instead of ending the tests
    EXPECT_TRUE(stop.Requested());
    EXPECT_TRUE(stop.Requested());
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace
}  // namespace varnook
