// The encoder contract end to end: stand-ins first on PATH for the failures the real lame
// cannot be made to show, and paths and tag texts that would break a command line.
#include <gtest/gtest.h>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

class BrokenEncoderRun : public BatchRun, public testing::WithParamInterface<NamedStandIn> {};

TEST_P(BrokenEncoderRun, FailsToDecodeOrEncodeAndLeavesTheOldOutputAndNoTemporaryFile)
{
    const std::string source = MakeWav("song.wav");
    const std::string mp3 = MakeMp3("name.mp3");
    const std::map<std::string, Bytes> before = Contents(dir.Path());
    WriteText(dir.File("song.mp3"), "the previous song.mp3");
    const StandInEncoder standIn(GetParam().behaviour);
    const Env path{{"PATH", standIn.SearchPathWithStandInFirst()}};
    const CapturedRun encode = Run({source, "/ana0", "/lev1", "/tr1", "/enc1"}, path);
    EXPECT_EQ(encode.exitCode, 1);
    std::vector<std::string> failed{"Encoding...", "Could not encode"};
    // A missing program is reported as such before the failure line.
    if (GetParam().behaviour == StandIn::Missing)
        failed.insert(failed.begin() + 1,
                      {"Processing interrupted. Error message:", "53: File not found"});
    ExpectInOrder(encode, failed);
    EXPECT_EQ(ReadText(dir.File("song.mp3")), "the previous song.mp3");
    fs::remove(dir.File("song.mp3"));

    const CapturedRun decode = Run({mp3, "/lev1", "/enc1"}, path);
    EXPECT_EQ(decode.exitCode, 1);
    ExpectInOrder(decode, {"Decoding...", "Could not decode"});
    // No "mp3.tmp", no "VRK.tmp", no decoded WAV, and the sources as they were.
    EXPECT_TRUE(Contents(dir.Path()) == before);
    EXPECT_EQ(Listing(), (std::set<std::string>{"song.wav", "name.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(StandIns, BrokenEncoderRun, testing::ValuesIn(kBrokenStandIns),
                         RowName());

TEST_F(BatchRun, OddPathsAndQuotedTagTextsReachLameIntact)
{
    const fs::path folder = dir.Path() / "My \"Best\" Tapes – Øre";
    fs::create_directories(folder);
    const std::vector<Tag> tags{{"--song", "TIT2", "He said \"stop\" \\ 'went'"},
                                {"--artist", "TPE1", "-b 8 --tt x"}};
    const std::string source = MakeMp3("My \"Best\" Tapes – Øre/01 It's a \"Song\" ßide.mp3",
                                       tags, true);
    const StandInEncoder recorder(StandIn::RecordThenRealLame);
    const CapturedRun run = Run({source, "/ana1", "/lev1", "/tr1", "/enc1", "/lame", "-b", "160"},
                                {{"PATH", recorder.SearchPathWithStandInFirst()}});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    auto frames = ReadId3v2Frames((folder / "_01 It's a \"Song\" ßide.mp3").string());
    for (const Tag& tag : tags) EXPECT_EQ(frames[tag.frame], tag.text) << tag.frame;

    // The decode saw the source whole; the encode got each tag text, each option word, the work
    // file and the temporary output as arguments of their own.
    const std::string tempOut = (folder / "mp3.tmp").string();
    EXPECT_EQ(recorder.RecordedRuns(),
              (std::vector<std::vector<std::string>>{
                  {"--decode", source, tempOut},
                  {"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors", "--tt", tags[0].text,
                   "--ta", tags[1].text, "-b", "160", (folder / "VRK.tmp").string(), tempOut}}));
}

}  // namespace
}  // namespace varnook::test
