// The pipeline end to end: the built varnook on real files, with the real lame.
#include <gtest/gtest.h>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

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
    EXPECT_EQ(Listing(), (std::set<std::string>{"name.mp3", "_name.mp3"}));
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    auto frames = ReadId3v2Frames(dir.File("_name.mp3"));
    for (const Tag& tag : kSourceTags) EXPECT_EQ(frames[tag.frame], tag.text) << tag.frame;
}

// One source (made by its extension: tone MP3, tone WAV, or a few bytes of something else)
// and perhaps an earlier file; afterwards the folder holds exactly `after`, every new or
// replaced file is real audio, and the source's bytes are unchanged.
struct NamingCase {
    const char* name;
    std::string source;
    std::vector<std::string> keys;  // "@" in front stands for the source folder
    std::set<std::string> after;
    std::string earlier = {};       // a file (or, ending in "/", a folder) there before the run
    std::vector<std::string> log = {};  // the log after the path when not empty
    int exitCode = 0;
};
void PrintTo(const NamingCase& row, std::ostream* os) { *os << row.name; }

class Naming : public BatchRun, public testing::WithParamInterface<NamingCase> {};

TEST_P(Naming, WritesExactlyTheNamedOutputAndNeverTouchesTheSource)
{
    const NamingCase& row = GetParam();
    const std::string ext = fs::path(row.source).extension().string();
    const std::string source = ext == ".mp3" ? MakeMp3(row.source)
                               : ext == ".ogg" ? dir.File(row.source)
                                               : MakeWav(row.source);
    if (ext == ".ogg") WriteText(source, "OggS");
    if (row.earlier.ends_with('/')) fs::create_directory(dir.File(row.earlier));
    if (row.earlier.ends_with(".wav")) WriteText(dir.File(row.earlier), "earlier");
    const Bytes sourceBytes = ReadAllBytes(source);
    std::vector<std::string> args{source};
    for (const std::string& key : row.keys)
        args.push_back(key[0] == '@' ? dir.File(key.substr(1)) : key);
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

const std::vector<std::string> kAnalyzeOnly{"/ana1", "/lev0", "/tr0", "/enc0"};

INSTANTIATE_TEST_SUITE_P(
    Rows, Naming,
    testing::Values(
        NamingCase{"Mp3UneditedIsRecoded", "name.mp3", {"/ana1", "/lev0", "/tr0", "/enc1"},
                   {"name.mp3", "_name.mp3"}, "", {"Recoding...", "Recoded OK", ""}},
        NamingCase{"Mp3EncodeOffGivesItsWav", "song.mp3", {"/ana0", "/lev0", "/tr0", "/enc0"},
                   {"song.mp3", "song.wav"}},
        // With song.wav taken, the decode goes to _song.wav and is then moved over it.
        NamingCase{"Mp3EncodeOffReplacesAnEarlierWav", "song.mp3",
                   {"/ana0", "/lev0", "/tr0", "/enc0"}, {"song.mp3", "song.wav"}, "song.wav"},
        NamingCase{"WavEncodeOnGivesMp3", "song.wav", {"/enc1", "/lev1", "/tr0"},
                   {"song.wav", "song.mp3"}},
        NamingCase{"WavEncodeOffGivesPrefixedWav", "song.wav", {"/enc0", "/lev1", "/tr1"},
                   {"song.wav", "_song.wav"}},
        NamingCase{"CapitalExtensionIsNeverOverwritten", "SONG.WAV",
                   {"/enc0", "/lev1", "/tr0", "/nl", "-3"}, {"SONG.WAV", "SONG.wav"}},
        NamingCase{"DestWavOverridesEncode", "song.wav", {"/enc1", "/lev1", "/dest", "new.wav"},
                   {"song.wav", "new.wav"}},
        NamingCase{"DestInMissingFolderFallsBackBesideTheSource", "song.wav",
                   {"/enc1", "/tr0", "/dest", "/no/such/folder/.mp3"}, {"song.wav", "song.mp3"}},
        NamingCase{"DestFolderTakesTheSourceNameAndItsExtensionDecides", "take1.wav",
                   {"/enc0", "/lev0", "/tr0", "/dest", "@out/.mp3"},
                   {"take1.wav", "out", "out/take1.mp3"}, "out/"},
        NamingCase{"OnlyAnalyzeWritesNothing", "song.wav", kAnalyzeOnly, {"song.wav"}, "",
                   {"Checking wav file...", kInfoLine, kFormatLine, "Analyzing...",
                    "Recommended gain: <n> dB", kTimeLine, "Checking wav file...", kInfoLine,
                    kTimeLine, ""}},
        NamingCase{"UnknownFormatEndsTheFile", "tune.ogg", {}, {"tune.ogg"}, "",
                   {"Not a valid file format!", ""}, 1}),
    RowName());

TEST_F(BatchRun, HeaderSizesAreTheOnlyBytesEverRepairedInTheSource)
{
    // A recorder that died before it wrote its sizes: no RIFF size, and a data size that
    // claims far more than follows.
    Bytes bytes = ToneWav();
    const size_t dataSize = DataOffset(WavLayout{}) - 4;
    for (size_t i = 0; i < 4; ++i) {
        bytes[4 + i] = 0;
        bytes[dataSize + i] = i == 3 ? 0x10 : 0;
    }
    const std::string source = dir.File("broken.wav");
    WriteAllBytes(source, bytes);
    EXPECT_EQ(Run({source, "/ana1", "/lev1", "/tr1", "/enc0"}).exitCode, 0);
    Bytes after = ReadAllBytes(source);
    EXPECT_NE(after, bytes) << "the sizes were not repaired";
    std::copy_n(bytes.begin() + 4, 4, after.begin() + 4);
    std::copy_n(bytes.begin() + dataSize, 4, after.begin() + dataSize);
    EXPECT_EQ(after, bytes) << "more than the size fields changed";
}

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
    EXPECT_EQ(RunCaptured("lame", {"--decode", dir.File("one.mp3"), config.File("d.wav")}).exitCode,
              0);
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
