#include "library/source_seconds.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

// The seconds of a run's sources by their headers: a finished source counts whether its header
// was added up before or after it ended; one that is missing, no regular file (a FIFO) or no
// audio counts 0.
TEST(SourceSeconds, AddsUpTheHeadersOfTheFinishedSourcesAndOfAll)
{
    TempDir dir;
    WriteAllBytes(dir.File("one.wav"), BuildWav({}, Silence(44100)));
    WriteAllBytes(dir.File("two.wav"), BuildWav({2, 8000, 16, 1, 16, {}, {}}, Silence(2 * 2 * 8000)));
    ASSERT_EQ(::mkfifo(dir.File("pipe.wav").c_str(), 0600), 0);
    WriteText(dir.File("text.mp3"), "not music");
    SourceSeconds seconds(
        {dir.File("one.wav"), dir.File("two.wav"), dir.File("pipe.wav"), dir.File("text.mp3"), dir.File("gone.wav")});
    seconds.Finished(1);  // before Count has added up any header
    SourceSeconds::Tally tally;
    // Until every header is read the total counts the mean for the rest, which never makes 3.
    for (int i = 0; i < 500 && (tally = seconds.Count()).Total != 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(std::pair(tally.Total, tally.Done), std::pair(3.0, 2.0));
    seconds.Finished(0);
    seconds.Finished(2);
    EXPECT_EQ(seconds.Count().Done, 3);
}

}  // namespace
}  // namespace varnook::test
