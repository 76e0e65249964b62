// The pipeline end to end: the built varnook on real files, with the real lame.
#include <gtest/gtest.h>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

TEST_F(BatchRun, Mp3WithEverySwitchIsLeveledTrimmedAndRetagged)
{
    const SourceTags tags;
    const std::string source = MakeMp3("name.mp3", tags);
    const auto sourceBytes = ReadAllBytes(source);

    const CapturedRun run = Run({source, "/ana1", "/lev1", "/tr1", "/enc1", "/nl", "-1,5"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectLog(run.Lines(), {"Now processing:", source, "Decoding...", "Decoded OK",
                            "Checking wav file...", kInfoLine, kFormatLine, "Analyzing...", kGainLine,
                            kTimeLine, kLevelLine, "Leveled OK", kTimeLine, "Trimming...", "Trimmed OK",
                            kTimeLine, "Checking wav file...", kInfoLine, "Encoding...", "Encoded OK",
                            kTimeLine, ""});

    EXPECT_EQ(Listing(), (std::set<std::string>{"name.mp3", "_name.mp3"}));
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    const auto frames = ReadId3v2Frames(dir.File("_name.mp3"));
    EXPECT_EQ(frames.count("TIT2") ? frames.at("TIT2") : "", tags.title);
    EXPECT_EQ(frames.count("TPE1") ? frames.at("TPE1") : "", tags.artist);
    EXPECT_EQ(frames.count("TALB") ? frames.at("TALB") : "", tags.album);
    const std::string year = frames.count("TYER") ? frames.at("TYER") : (frames.count("TDRC") ? frames.at("TDRC") : "");
    EXPECT_EQ(year, tags.year);
    EXPECT_EQ(frames.count("TRCK") ? frames.at("TRCK") : "", tags.track);
    EXPECT_EQ(frames.count("TCON") ? frames.at("TCON") : "", tags.genre);
    EXPECT_EQ(frames.count("COMM") ? frames.at("COMM") : "", tags.comment);
}

TEST_F(BatchRun, Mp3WithoutEditingIsRecodedStraightAcross)
{
    const std::string source = MakeMp3("name.mp3");
    const CapturedRun run = Run({source, "/ana1", "/lev0", "/tr0", "/enc1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectLog(run.Lines(), {"Now processing:", source, "Recoding...", "Recoded OK", ""});
    EXPECT_EQ(Listing(), (std::set<std::string>{"name.mp3", "_name.mp3"}));
    EXPECT_EQ(ReadId3v2Frames(dir.File("_name.mp3"))["TALB"], SourceTags{}.album);
}

TEST_F(BatchRun, Mp3WithEncodeOffBecomesItsDecodedWavEvenOverAnEarlierOne)
{
    const std::string source = MakeMp3("song.mp3");
    for (const bool earlierWav : {false, true}) {
        // With song.wav taken, the decode goes to _song.wav and is then moved over it.
        if (earlierWav) WriteText(dir.File("song.wav"), "an older song.wav");
        const CapturedRun run = Run({source, "/ana0", "/lev0", "/tr0", "/enc0"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Listing(), (std::set<std::string>{"song.mp3", "song.wav"}));
        EXPECT_EQ(ReadText(dir.File("song.wav")).substr(0, 4), "RIFF");
    }
}

struct WavNamingCase {
    const char* name;
    std::string source;
    std::vector<std::string> keys;
    std::string output;  // the one new file beside the source
};

void PrintTo(const WavNamingCase& c, std::ostream* os)
{
    *os << c.name;
}

class WavNaming : public BatchRun, public testing::WithParamInterface<WavNamingCase> {};

TEST_P(WavNaming, WritesExactlyTheNamedOutputAndNeverTouchesTheSource)
{
    const std::string source = MakeWav(GetParam().source);
    const auto sourceBytes = ReadAllBytes(source);
    std::vector<std::string> args{source};
    args.insert(args.end(), GetParam().keys.begin(), GetParam().keys.end());
    const CapturedRun run = Run(args);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Listing(), (std::set<std::string>{GetParam().source, GetParam().output}));
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Names, WavNaming,
    testing::Values(WavNamingCase{"EncodeOnGivesMp3", "song.wav", {"/enc1", "/lev1", "/tr0"}, "song.mp3"},
                    WavNamingCase{"EncodeOffGivesPrefixedWav", "song.wav", {"/enc0", "/lev1", "/tr1"}, "_song.wav"},
                    WavNamingCase{"DestWavOverridesEncode", "song.wav", {"/enc1", "/lev1", "/dest", "new.wav"}, "new.wav"},
                    WavNamingCase{"DestInMissingFolderFallsBackBesideTheSource",
                                  "song.wav", {"/enc1", "/tr0", "/dest", "/no/such/folder/.mp3"}, "song.mp3"}),
    RowName());

TEST_F(BatchRun, CapitalExtensionIsNeverOverwritten)
{
    const std::string source = MakeWav("SONG.WAV");
    const auto sourceBytes = ReadAllBytes(source);
    const CapturedRun run = Run({source, "/enc0", "/lev1", "/tr0", "/nl", "-3"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    // A case-keeping file system holds SONG.wav beside SONG.WAV; a case-folding one needs "_".
    const std::set<std::string> listing = Listing();
    EXPECT_EQ(listing.size(), 2u);
    EXPECT_TRUE(listing.count("SONG.wav") + listing.count("_SONG.wav") == 1);
}

TEST_F(BatchRun, DestFolderTakesTheSourceNameAndItsExtensionDecides)
{
    TempDir outFolder;
    const std::string source = MakeWav("take1.wav");
    const CapturedRun run = Run({source, "/enc0", "/lev0", "/tr0", "/dest", outFolder.Path().string() + "/.mp3"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(fs::exists(outFolder.Path() / "take1.mp3"));
    EXPECT_EQ(Listing(), (std::set<std::string>{"take1.wav"}));
}

TEST_F(BatchRun, OnlyAnalyzeReportsAndWritesNothing)
{
    const std::string source = MakeWav("song.wav");
    const auto sourceBytes = ReadAllBytes(source);
    const CapturedRun run = Run({source, "/ana1", "/lev0", "/tr0", "/enc0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectLog(run.Lines(), {"Now processing:", source, "Checking wav file...", kInfoLine,
                            "16 bits, 44100 samp/s, 2 chan", "Analyzing...", kGainLine, kTimeLine,
                            "Checking wav file...", kInfoLine, kTimeLine, ""});
    EXPECT_EQ(Listing(), (std::set<std::string>{"song.wav"}));
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
}

TEST_F(BatchRun, HeaderSizesAreTheOnlyBytesEverRepairedInTheSource)
{
    std::vector<uint8_t> bytes = ToneWav();
    const size_t dataStart = DataOffset(WavLayout{});
    // A recorder that died before it wrote its sizes: no RIFF size, and a data size that
    // claims far more than follows.
    const uint8_t claimed[4] = {0x00, 0x00, 0x00, 0x10};
    for (size_t i = 0; i < 4; ++i) {
        bytes[4 + i] = 0;
        bytes[dataStart - 4 + i] = claimed[i];
    }
    const std::string source = dir.File("broken.wav");
    WriteAllBytes(source, bytes);
    const CapturedRun run = Run({source, "/ana1", "/lev1", "/tr1", "/enc0"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::vector<uint8_t> after = ReadAllBytes(source);
    ASSERT_EQ(after.size(), bytes.size());
    for (size_t i = 0; i < after.size(); ++i) {
        const bool sizeField = (i >= 4 && i < 8) || (i >= dataStart - 4 && i < dataStart);
        if (!sizeField) {
            ASSERT_EQ(after[i], bytes[i]) << "byte " << i << " changed";
        }
    }
    EXPECT_NE(after, bytes) << "the sizes were not repaired";
}

TEST_F(BatchRun, UnknownFormatAndBadWavEndTheFileWithStatusOne)
{
    WriteText(dir.File("tune.ogg"), "OggS");
    WriteText(dir.File("fake.wav"), "not a RIFF file at all");
    const CapturedRun ogg = Run({dir.File("tune.ogg")});
    EXPECT_EQ(ogg.exitCode, 1);
    ExpectLog(ogg.Lines(), {"Now processing:", dir.File("tune.ogg"), "Not a valid file format!", ""});

    const CapturedRun fake = Run({dir.File("fake.wav")});
    EXPECT_EQ(fake.exitCode, 1);
    const auto lines = fake.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Not a valid wav file!");
    EXPECT_EQ(Listing(), (std::set<std::string>{"tune.ogg", "fake.wav"}));
}

TEST_F(BatchRun, SeveralSourcesRunInTurnAndAMissingOneFails)
{
    const std::string first = MakeWav("one.wav");
    const std::string second = MakeWav("two.wav");
    const CapturedRun run = Run({first, dir.File("gone.wav"), second, "/ana0", "/lev1", "/tr0", "/enc0"});
    EXPECT_EQ(run.exitCode, 1);
    const auto lines = run.Lines();
    std::vector<std::string> markers;
    for (const std::string& line : lines)
        if (line.starts_with("File ") || line.starts_with("Could not")) markers.push_back(line);
    EXPECT_EQ(markers, (std::vector<std::string>{"File 1 of 3", "File 2 of 3", "Could not find " + dir.File("gone.wav"),
                                                 "File 3 of 3"}));
    EXPECT_EQ(Listing(), (std::set<std::string>{"one.wav", "two.wav", "_one.wav", "_two.wav"}));
}

TEST_F(BatchRun, LevelingLineUsesTheLocalesDecimalSeparator)
{
    if (RunCaptured("locale", {"-a"}).out.find("de_DE.utf8") == std::string::npos)
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    const std::string source = MakeWav("song.wav");
    const CapturedRun run = Run({source, "/ana0", "/lev1", "/tr0", "/enc0", "/nl", "-1.5"}, {{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Leveling with: -1,50 dB..."), lines.end()) << run.out;
}

}  // namespace
}  // namespace varnook::test
