// The pipeline end to end: the built varnook on real files, with the real lame.
#include <gtest/gtest.h>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

// The number after `opening` in the n-th line that starts with it.
double Value(const CapturedRun& run, const std::string& opening, size_t n = 0)
{
    for (const std::string& line : run.Lines())
        if (line.starts_with(opening) && n-- == 0) return std::stod(line.substr(opening.size()));
    ADD_FAILURE() << "no line " << opening << "\n" << run.out;
    return 0;
}

TEST_F(BatchRun, Mp3WithEverySwitchIsLeveledTrimmedAndRetagged)
{
    const std::string source = MakeMp3("name.mp3");
    const Bytes sourceBytes = ReadAllBytes(source);
    const CapturedRun run = Run({source, "/ana1", "/lev1", "/tr1", "/enc1", "/nl", "-1,5"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectLog(run, {"Now processing:", source, "Decoding...", "Decoded OK",
                    "Checking wav file...", kInfoLine, kFormatLine, "Analyzing...",
                    "Recommended gain: <n> dB", kTimeLine, "Leveling with: <n> dB...",
                    "Leveled OK", kTimeLine, "Trimming...", "Trimmed OK", kTimeLine,
                    "Checking wav file...", kInfoLine, "Encoding...", "Encoded OK", kTimeLine, ""});
    // The decode holds the 2.5 s of the source; leveling adds the new level to the gain found;
    // trimming leaves the 1.5 s of tone and 0.2 s of lead silence at each end, to a window.
    EXPECT_EQ(Value(run, "wav file info: "), 2.5);
    EXPECT_NEAR(Value(run, "Leveling with: "), Value(run, "Recommended gain: ") - 1.5, 0.006);
    EXPECT_NEAR(Value(run, "wav file info: ", 1), 1.9, 0.06);
    EXPECT_EQ(Listing(), (std::set<std::string>{"name.mp3", "_name.mp3"}));
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    auto frames = ReadId3v2Frames(dir.File("_name.mp3"));
    for (const Tag& tag : kSourceTags) EXPECT_EQ(frames[tag.frame], tag.text) << tag.frame;
}

// One source (a tone MP3, a tone WAV, or a few bytes of something else) and perhaps an earlier
// file; afterwards the folder holds exactly `after`, every new or replaced file is real audio,
// and the source's bytes are unchanged.
struct NamingCase {
    const char* name;
    std::string source;
    std::vector<std::string> keys;  // "@" in front stands for the source folder
    std::set<std::string> after;
    std::string earlier = {};       // a file (or, ending in "/", a folder) there before the run
    std::vector<std::string> log = {};  // the log after the path when not empty
    int exitCode = 0;
};

class Naming : public BatchRun, public testing::WithParamInterface<NamingCase> {};

TEST_P(Naming, WritesExactlyTheNamedOutputAndNeverTouchesTheSource)
{
    const NamingCase& row = GetParam();
    const std::string ext = fs::path(row.source).extension().string();
    const std::string source = ext == ".mp3" ? MakeMp3(row.source) : ext == ".ogg" ? dir.File(row.source) : MakeWav(row.source);
    if (ext == ".ogg") WriteText(source, "OggS");
    if (row.earlier.ends_with('/')) fs::create_directory(dir.File(row.earlier));
    if (row.earlier.ends_with(".wav")) WriteText(dir.File(row.earlier), "earlier");
    const Bytes sourceBytes = ReadAllBytes(source);
    std::vector<std::string> args{source};
    for (const std::string& key : row.keys) args.push_back(key[0] == '@' ? dir.File(key.substr(1)) : key);
    const CapturedRun run = Run(args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    if (!row.log.empty()) {
        std::vector<std::string> log{"Now processing:", source};
        log.insert(log.end(), row.log.begin(), row.log.end());
        ExpectLog(run, log);
    }
    std::set<std::string> after;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        const std::string name = fs::relative(entry.path(), dir.Path()).string();
        after.insert(name);
        if (entry.is_regular_file() && name != row.source) {
            EXPECT_NE(ReadText(entry.path().string()).substr(0, 3), "ear") << name;
        }
    }
    EXPECT_EQ(after, row.after);
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Naming,
    testing::Values(
        NamingCase{"Mp3UneditedIsRecoded", "name.mp3", {"/ana1", "/lev0", "/tr0", "/enc1"},
                   {"name.mp3", "_name.mp3"}, "", {"Recoding...", "Recoded OK", ""}},
        // With song.wav taken, the decode goes to _song.wav and is then moved over it.
        NamingCase{"Mp3EncodeOffReplacesAnEarlierWav", "song.mp3",
                   {"/ana0", "/lev0", "/tr0", "/enc0"}, {"song.mp3", "song.wav"}, "song.wav"},
        NamingCase{"DestFolderTakesTheSourceNameAndItsExtensionDecides", "take1.wav",
                   {"/enc0", "/lev0", "/tr0", "/dest", "@out/.mp3"},
                   {"take1.wav", "out", "out/take1.mp3"}, "out/"},
        NamingCase{"UnknownFormatEndsTheFile", "tune.ogg", {}, {"tune.ogg"}, "",
                   {"Not a valid file format!", ""}, 1}),
    RowName());

// One source is missing from the start; another vanishes while lame works on the first. Each
// fails alone at its turn.
TEST_F(BatchRun, SeveralSourcesRunInTurnAndMissingOnesFail)
{
    const std::string first = MakeWav("one.wav");
    const Bytes firstBytes = ReadAllBytes(first);
    const StandInEncoder remover(StandIn::RemoveThenRealLame, MakeWav("two.wav"));
    const std::vector<std::string> args{first, dir.File("gone.wav"), dir.File("two.wav"),
                                        "/ana0", "/lev1", "/tr0", "/enc1", "/jobs1"};
    const CapturedRun run = Run(args, {{"PATH", remover.SearchPathWithStandInFirst()}});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> markers;
    for (const std::string& line : run.Lines()) {
        if (line.starts_with("File ") || line.starts_with("Could not") || line.starts_with("53:") ||
            line.ends_with(" OK"))
            markers.push_back(line);
    }
    EXPECT_EQ(markers, (std::vector<std::string>{"File 1 of 3", "Leveled OK", "Encoded OK",
                                                 "File 2 of 3", "Could not find " + args[1],
                                                 "File 3 of 3", "53: File not found"}))
        << run.out;
    EXPECT_EQ(ReadAllBytes(first), firstBytes);
    EXPECT_EQ(Listing(), (std::set<std::string>{"one.wav", "one.mp3"}));
}

TEST_F(BatchRun, LevelingLineUsesTheLocalesDecimalSeparator)
{
    if (RunCaptured("locale", {"-a"}).out.find("de_DE.utf8") == std::string::npos)
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    const CapturedRun run = Run({MakeWav("song.wav"), "/ana0", "/lev1", "/tr0", "/enc0", "/nl",
                                 "-1.5"}, {{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_TRUE(HasLine(run.Lines(), "Leveling with: -1,50 dB...")) << run.out;
}

}  // namespace
}  // namespace varnook::test
