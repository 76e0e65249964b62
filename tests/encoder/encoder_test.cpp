// The encoder's parts: starting and waiting for lame, the options it gets, and whether its MP3
// is whole (the end-to-end runs cut one short at a page; a cut at a frame boundary, which no
// disk gives on demand, is built here).
#include "encoder/child_process.h"
#include "encoder/encoder.h"
#include "encoder/lame_arguments.h"
#include "encoder/whole_output.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/context.h"
#include "base/run_settings.h"
#include "io/errors.h"
#include "support/recording_host.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

using Words = std::vector<std::string>;

// A program that cannot start is a file error, which the end-to-end runs show for a missing lame.
TEST(ChildProcess, ArgumentsArriveUnsplitAndUninterpreted)
{
    test::TempDir dir;
    const std::string out = dir.File("args");
    const std::string script = "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0\"";
    const pid_t pid = StartChild("/bin/sh", {"sh", "-c", script, out, "a b", "$HOME", "*", ""});
    ASSERT_EQ(ExitCodeOf(ReapChild(pid)), 0);
    EXPECT_EQ(test::ReadText(out), "[a b][$HOME][*][]");
}

// A lame beside the program comes before the one on the search path, unless it may not be run
// or is a folder; the encoder looks there first too.
TEST(ChildProcess, ProgramBesideVarnookComesBeforeThePath)
{
    test::TempDir beside, onPath;
    for (const std::string& lame : {beside.File("lame"), onPath.File("lame")}) {
        test::WriteText(lame, "#!/bin/sh\n");
        ASSERT_EQ(::chmod(lame.c_str(), 0755), 0);
    }
    const std::string searchPath = "/nonexistent:" + onPath.Path().string();
    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), beside.File("lame"));
    ASSERT_EQ(::chmod(beside.File("lame").c_str(), 0644), 0);
    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), onPath.File("lame"));
    ASSERT_EQ(::unlink(onPath.File("lame").c_str()), 0);
    ASSERT_EQ(::mkdir(onPath.File("lame").c_str(), 0755), 0);
    EXPECT_EQ(FindProgram("lame", beside.File("varnook"), searchPath), "");

    // The real lame on PATH would succeed; the one beside varnook writes nothing.
    test::RecordingHost host;
    Context ctx(host);
    const std::string source = beside.File("tone.wav");
    test::WriteAllBytes(source, test::BuildWav({}, test::Sine(440, 8000, 44100, 22050)));
    ASSERT_EQ(Encoded(ctx, "-h", source, beside.File("first.mp3")), StepEnd::Finished);
    const test::StandInEncoder standIn(test::StandIn::SucceedWithoutOutput);
    ctx.programPath = standIn.Folder() + "/varnook";
    EXPECT_EQ(Encoded(ctx, "-h", source, beside.File("second.mp3")), StepEnd::Failed);
}

TEST(WaitForProcess, PollingYieldsAndAChildAlreadyReapedReadsAsZeroOnlyWhenPolling)
{
    const auto shell = [](const char* script) { return StartChild("/bin/sh", {"sh", "-c", script}); };
    test::RecordingHost host;
    EXPECT_EQ(WaitForProcess(shell("sleep 0.1; exit 7"), false, host), 7);
    EXPECT_GT(host.yields, 0);
    EXPECT_EQ(WaitForProcess(shell("exit 1"), true, host), 1);
    const pid_t pid = shell("exit 5");
    ReapChild(pid);
    EXPECT_EQ(WaitForProcess(pid, false, host), 0);
    EXPECT_THROW(WaitForProcess(pid, true, host), ProgramError);
}

TEST(SplitArguments, SplitsAtBlanksOutsideQuotes)
{
    // An unclosed quote runs to the end.
    for (const auto& [text, words] : std::vector<std::pair<std::string, Words>>{
             {"  \t ", {}}, {"  -b   192\t-q 2 ", {"-b", "192", "-q", "2"}}, {"--tc=\"a b\"c", {"--tc=a bc"}},
             {"--preset \"insane mode\" -h", {"--preset", "insane mode", "-h"}}, {"--tc \"\"", {"--tc", ""}},
             {"-x \"a b", {"-x", "a b"}}})
        EXPECT_EQ(SplitArguments(text), words) << text;
}

// Tags come first, in their fixed order; version 2 wins and version 1 fills its gaps. A field not
// kept, or empty in both sets, is left out; with none to carry there are no tag options at all.
TEST(LameArguments, TagsComeFirstInTheirFixedOrderVersionTwoFirst)
{
    const Id3TagSet full{"title", "artist", "album", "year", "comment", "genre", "track"};
    const std::array<bool, 7> all{true, true, true, true, true, true, true};
    std::array<bool, 7> comment{};
    comment[kTagComment] = true;
    const struct { std::array<bool, 7> keep; Id3TagSet v2, v1; const char* lame; Words tags, tail; } rows[] = {
        {all, full, {}, "-h",
         {"--tt", "title", "--ta", "artist", "--tl", "album", "--ty", "year", "--tn", "track", "--tg", "genre", "--tc", "comment"},
         {"-h"}},
        {all, {.Title = "Title 2"}, {.Title = "Title 1", .Artist = "Artist 1"}, "-h", {"--tt", "Title 2", "--ta", "Artist 1"},
         {"-h"}},
        {all, {}, {}, "-b 192", {}, {"-b", "192"}},
        {{}, full, full, "-h", {}, {"-h"}},
        {comment, full, {}, "-h", {"--tc", "comment"}, {"-h"}}};
    for (const auto& row : rows) {
        Words expected = row.tags.empty() ? Words{} : Words{"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors"};
        for (const Words& part : {row.tags, row.tail, Words{"in.wav", "mp3.tmp"}})
            expected.insert(expected.end(), part.begin(), part.end());
        EXPECT_EQ(LameArguments(row.keep, row.v2, row.v1, row.lame, "in.wav", "mp3.tmp"), expected) << &row - rows;
    }
}

// An Info frame counting 5 frames after it (and their bytes), then `frames` plain frames of
// MPEG 1 layer III at 128 kbit/s and 44.1 kHz (417 bytes each), and an ID3v1 tag when asked.
std::vector<uint8_t> Stream(size_t frames, bool id3v1)
{
    constexpr size_t kFrame = 417;
    constexpr size_t kInfoAt = 36;  // after the header and a stereo side information
    std::vector<uint8_t> stream((frames + 1) * kFrame, 0);
    for (size_t at = 0; at < stream.size(); at += kFrame) std::copy_n("\xFF\xFB\x90\x64", 4, stream.begin() + at);
    std::copy_n("Info\0\0\0\x03\0\0\0\x05\0\0\x09\xC6", 16, stream.begin() + kInfoAt);  // 6 * 417 bytes
    if (id3v1) stream.insert(stream.end(), {'T', 'A', 'G'}), stream.resize(stream.size() + 125, 0);
    return stream;
}

// Only the Info frame's counts tell a stream cut at a frame boundary from a whole one.
TEST(Mp3OutputWhole, EndsOnTheFramesItsInfoFrameCounts)
{
    const std::vector<uint8_t> tagged = Stream(5, true);
    for (const auto& [name, bytes, whole] : std::vector<std::tuple<const char*, std::vector<uint8_t>, bool>>{
             {"whole", Stream(5, false), true},
             {"whole with ID3v1", tagged, true},
             {"cut at a frame boundary", Stream(4, false), false},
             {"cut inside the ID3v1 tag", {tagged.begin(), tagged.end() - 1}, false}}) {
        test::TempDir dir;
        test::WriteAllBytes(dir.File("out.mp3"), bytes);
        EXPECT_EQ(Mp3OutputWhole(dir.File("out.mp3")), whole) << name;
    }
}

}  // namespace
}  // namespace varnook
