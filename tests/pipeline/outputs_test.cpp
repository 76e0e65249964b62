// Where the outputs go: their names, the order the sources of a folder are taken in, and the
// locks that keep two runs out of one folder.
#include "pipeline/folder_lock.h"
#include "library/walk.h"
#include "pipeline/output_naming.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "base/stop_request.h"
#include "io/text.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

using enum OutputFormat;

// Plain names, the other formats' and the simple "dest" forms are pinned by the end-to-end runs.
// Each row: the source, the dest, the format chosen, whether the file system folds letter case,
// then the output's path and the format written.
TEST(NameOutput, NamesTheOutputAndDecidesItsFormat)
{
    const std::tuple<std::string, std::string, OutputFormat, bool, std::string, OutputFormat> rows[] = {
        {"/a.b/take.one.wav", "", Mp3, false, "/a.b/take.one.mp3", Mp3},  // the last dot only
        {"/m/SONG.WAV", "", Wav, true, "/m/_SONG.wav", Wav},
        {"/m/SONG.WAV", "", Wav, false, "/m/SONG.wav", Wav},
        {"/m/song.wav", "/out/x.MP3", Wav, false, "/out/x.MP3", Mp3},
        {"/m/song.wav", "/out/", Mp3, false, "/out/song.mp3", Mp3},
        {"/m/song.wav", "/out", Wav, false, "/out/song.wav", Wav},
        {"/m/song.wav", "/m/song.wav", Mp3, false, "/m/_song.wav", Wav}};
    for (const auto& [source, dest, chosen, caseInsensitive, path, written] : rows) {
        const FileProbe probe{.FolderExists = [](const std::string& folder) { return folder == "/m/" || folder == "/out/"; },
                              .SameFile = [&](auto& a, auto& b) { return caseInsensitive ? EqualsNoCase(a, b) : a == b; }};
        const OutputName out = NameOutput(source, dest, chosen, probe);
        EXPECT_EQ(std::pair(out.Path, out.Format), std::pair(path, written)) << source << " to " << dest;
    }
}

// Numbers by their value, leading zeros aside; letter case only to break a tie.
TEST(NaturalLess, PutsTheFirstOfEachPairBeforeTheSecond)
{
    for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
             {"track 2.wav", "track 10.wav"}, {"track 02.wav", "track 3.wav"}, {"apple.wav", "Banana.wav"},
             {"Track 1.wav", "track 1.wav"}, {"99999999999999999999.wav", "100000000000000000000.wav"}})
        EXPECT_EQ(std::pair(NaturalLess(first, second), NaturalLess(second, first)), std::pair(true, false)) << first;
}

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
    EXPECT_TRUE(FolderLocks().Acquire({folder, folder + "/missing/"}, host, StopRequest()));
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
    EXPECT_TRUE(stop.Requested() && stop.Requested());  // and stays so once the signal is collected
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace
}  // namespace varnook
