// Every output format through the built program, from 16-bit sources: what ffmpeg decodes of the
// delivered file (its length, rate and sample format, and for the lossless ones the very samples
// of the source), the same bytes whether /output or the /dest extension chose the format, the
// report's format column, and the tags of a tagged MP3 with mutagen: the kept fields, a carried
// frame and the art, never a gain tag, and the provenance a second /skip run finds.
#include <algorithm>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/tag_dump.h"

namespace varnook::test {
namespace {


// The keys the checked tags have in DumpTags's lines.
struct TagKeys {
    std::string title, album, albumArtist, picture, gain;
};
const TagKeys kId3{"TIT2", "TALB", "TPE2", "APIC:Cover", "TXXX:REPLAYGAIN"};
const TagKeys kComments{"TITLE", "ALBUM", "ALBUMARTIST", "PICTURE:Cover", "REPLAYGAIN"};

struct OutputRow {
    const char* name;
    std::string output;  // the /output name
    std::string ext;
    std::string stream;  // ffprobe's sample format and rate
    size_t frames;       // as ffmpeg decodes them
    const TagKeys& keys;
    Names codec;  // a setting of the format's encoder other than its default
    // What the output of the tone, leveled by 0 dB, is byte for byte ("" for no file to compare
    // with): the tone itself, or what lame -h makes of it.
    std::string sameAs = "";
};
void PrintTo(const OutputRow& row, std::ostream* os) { *os << row.name; }

class Delivered : public BatchRun, public testing::WithParamInterface<OutputRow> {
protected:
    // Stereo 16-bit samples, as ffmpeg decodes the file.
    std::string Decoded(const std::string& path)
    {
        const CapturedRun run = RunCaptured("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "") << path;
        return run.out;
    }

    // A tagged MP3: the fields, an album artist to carry, a gain tag never to carry, and art.
    std::string MakeTaggedMp3(const std::string& name)
    {
        WriteAllBytes(config.File("cover.jpg"), Bytes(5000, 0x5A));
        const std::string mp3 = MakeMp3(name);
        const CapturedRun tagged = RunCaptured("mid3v2", {"-t", "Tone", "-A", "Album", "--TPE2", "Band", "--TXXX",
                                                          "REPLAYGAIN_TRACK_GAIN:-6.20 dB", "-p",
                                                          config.File("cover.jpg") + ":Cover:3:image/jpeg", mp3});
        EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
        return mp3;
    }

    // The output a source beside its own name gets, "_" before a name that would be the source's.
    std::string OutputOf(const std::string& base, const std::string& sourceExt) const
    {
        const std::string ext = GetParam().ext;
        return dir.File((ext == sourceExt ? "_" : "") + base + ext);
    }
};

TEST_P(Delivered, DecodesWholeTheSameByKeyOrByNameAndCarriesTagsAndProvenance)
{
    const OutputRow& row = GetParam();
    const std::string source = MakeWav("song.wav"), report = config.File("r.csv");
    const Names leveled{source, "/ana0", "/lev1", "/nl", "0", "/tr0"};
    Names byKey = leveled, byName = leveled;
    byKey.insert(byKey.end(), {"/output", row.output, "/report", report});
    byName.insert(byName.end(), {"/dest", dir.File("x" + row.ext)});
    ASSERT_EQ(Run(byKey).exitCode, 0);
    ASSERT_EQ(Run(byName).exitCode, 0);
    const std::string output = OutputOf("song", ".wav");
    EXPECT_TRUE(ReadAllBytes(output) == ReadAllBytes(dir.File("x" + row.ext))) << "/dest made other bytes";
    if (!row.codec.empty()) {
        byName.insert(byName.end(), row.codec.begin(), row.codec.end());
        ASSERT_EQ(Run(byName).exitCode, 0);
        EXPECT_FALSE(ReadAllBytes(output) == ReadAllBytes(dir.File("x" + row.ext))) << "the setting did not reach";
    }
    if (row.sameAs == "lame") {
        ASSERT_EQ(RunCaptured("lame", {"--quiet", "-h", source, config.File("lame.mp3")}).exitCode, 0);
        EXPECT_TRUE(ReadAllBytes(output) == ReadAllBytes(config.File("lame.mp3"))) << "not lame -h's bytes";
    }
    if (row.sameAs == "source") {
        EXPECT_TRUE(ReadAllBytes(output) == ReadAllBytes(source)) << "not the source's bytes";
    }

    const std::string samples = Decoded(output);
    EXPECT_EQ(samples.size(), row.frames * 4);
    if (row.stream.starts_with("sample_fmt=s16")) {
        EXPECT_TRUE(samples == Decoded(source)) << "lost samples";
    }
    const CapturedRun probe =
        RunCaptured("ffprobe", {"-v", "error", "-show_entries", "stream=sample_fmt,sample_rate", "-of", "default=nw=1", output});
    EXPECT_EQ(probe.out, row.stream);
    const std::string csv = ReadText(report);
    EXPECT_TRUE(csv.ends_with("," + row.output + "\r\n")) << csv;

    // With the album field turned off in the settings file, and nothing to edit: lame recodes an
    // MP3 to an MP3 only, and another format is made from the decode.
    WriteText(config.File("varnook.ini"), "[Values]\n2ID3=0\n");
    const std::string tagged = MakeTaggedMp3("tone.mp3");
    const Names marked{tagged, "/ana0", "/lev0", "/tr0", "/output", row.output, "/skip", "1"};
    ASSERT_EQ(Run(marked).exitCode, 0);
    const std::string tonePath = OutputOf("tone", ".mp3");
    const Names tags = DumpTags(tonePath);
    EXPECT_EQ(TagValue(tags, row.keys.title), "Tone");
    EXPECT_EQ(TagValue(tags, row.keys.album), "");
    EXPECT_EQ(TagValue(tags, row.keys.albumArtist), "Band");
    EXPECT_EQ(TagValue(tags, row.keys.picture), TagValue(DumpTags(tagged), "APIC:Cover"));
    EXPECT_TRUE(std::ranges::none_of(tags, [&](const std::string& l) { return l.starts_with(row.keys.gain); }));
    EXPECT_TRUE(HasLine(Run(marked).Lines(), "Up to date: " + tonePath));
    if (&row.keys != &kComments) return;
    // An output taken as a source: its record names that source, and the first source's is gone.
    ASSERT_EQ(Run({tonePath, "/output", row.output, "/skip", "1"}).exitCode, 0);
    Names records;
    for (const std::string& line : DumpTags(dir.File("_tone" + row.ext)))
        if (line.starts_with("VARNOOKPROVENANCE=")) records.push_back(line);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find(" size " + std::to_string(fs::file_size(tonePath)) + " "), std::string::npos) << records[0];
}

const std::string kWhole = "sample_fmt=s16\nsample_rate=44100\n";
INSTANTIATE_TEST_SUITE_P(Formats, Delivered, testing::Values(
    OutputRow{"Mp3", "mp3", ".mp3", "sample_fmt=fltp\nsample_rate=44100\n", 110250, kId3, {"/lame", "-b", "96"}, "lame"},
    OutputRow{"Wav", "wav", ".wav", kWhole, 110250, kId3, {}, "source"},
    OutputRow{"Flac", "flac", ".flac", kWhole, 110250, kComments, {"/flaclevel", "0"}},
    OutputRow{"Opus", "opus", ".opus", "sample_fmt=fltp\nsample_rate=48000\n", 120000, kComments, {"/kbps", "64"}},
    OutputRow{"Vorbis", "ogg", ".ogg", "sample_fmt=fltp\nsample_rate=44100\n", 110250, kComments, {"/quality", "2"}}),
    RowName());

}  // namespace
}  // namespace varnook::test
