// Every output format through the built program, from 16-bit sources: what ffmpeg decodes of the
// delivered file (its length, rate and sample format, and for the lossless ones the very samples
// of the source), the same bytes whether /output or the /dest extension chose the format, the
// report's format column, and the tags of a tagged MP3 with mutagen: the kept fields, a carried
// frame and the art, never a gain tag, and the provenance a second /skip run finds.
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
    std::string codec;   // a setting of the format's encoder other than its default
    std::string sameAs = "";  // "lame", "source" or "" (see below)
};
void PrintTo(const OutputRow& row, std::ostream* os) { *os << row.name; }

class Delivered : public BatchRun, public testing::WithParamInterface<OutputRow> {};

// Stereo 16-bit samples, as ffmpeg decodes the file.
std::string Decoded(const std::string& path)
{
    const CapturedRun run = RunCaptured("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-ac", "2", "-"});
    EXPECT_TRUE(run.exitCode == 0 && run.err.empty()) << path << run.err;
    return run.out;
}

TEST_P(Delivered, DecodesWholeTheSameByKeyOrByNameAndCarriesTagsAndProvenance)
{
    const OutputRow& row = GetParam();
    const std::string source = MakeWav("song.wav"), report = config.File("r.csv"), byName = dir.File("x" + row.ext);
    const std::string leveled = "{dir}/song.wav /ana0 /lev1 /nl 0 /tr0";
    const std::string output = dir.File((row.ext == ".wav" ? "_song" : "song") + row.ext);
    ASSERT_EQ(Run(Words(leveled + " /output " + row.output + " /report " + report)).exitCode, 0);
    ASSERT_EQ(Run(Words(leveled + " /dest " + byName)).exitCode, 0);
    EXPECT_TRUE(ReadAllBytes(output) == ReadAllBytes(byName)) << "/dest made other bytes";
    if (!row.codec.empty()) {
        ASSERT_EQ(Run(Words(leveled + " /dest " + byName + " " + row.codec)).exitCode, 0);
        EXPECT_FALSE(ReadAllBytes(output) == ReadAllBytes(byName)) << "the setting did not reach";
    }
    // What the output of the tone, leveled by 0 dB, is byte for byte: what lame -h makes of it, or
    // the tone itself.
    ASSERT_TRUE(row.sameAs != "lame" || RunCaptured("lame", {"--quiet", "-h", source, config.File("lame.mp3")}).exitCode == 0);
    const std::string sameAs = row.sameAs == "lame" ? config.File("lame.mp3") : source;
    EXPECT_TRUE(row.sameAs.empty() || ReadAllBytes(output) == ReadAllBytes(sameAs)) << "not " << row.sameAs << "'s bytes";

    const std::string samples = Decoded(output);
    EXPECT_EQ(samples.size(), row.frames * 4);
    EXPECT_TRUE(!row.stream.starts_with("sample_fmt=s16") || samples == Decoded(source)) << "lost samples";
    EXPECT_EQ(RunCaptured("ffprobe", {"-v", "error", "-show_entries", "stream=sample_fmt,sample_rate", "-of", "default=nw=1",
                                      output}).out, row.stream);
    EXPECT_TRUE(ReadText(report).ends_with("," + row.output + "\r\n")) << ReadText(report);

    // With the album field turned off in the settings file, and nothing to edit: lame recodes an
    // MP3 to an MP3 only, and another format is made from the decode. The source carries the
    // fields, an album artist to carry, a gain tag never to carry, and art.
    WriteText(config.File("varnook.ini"), "[Values]\n2ID3=0\n");
    WriteAllBytes(config.File("cover.jpg"), Bytes(5000, 0x5A));
    const std::string tagged = MakeMp3("tone.mp3"), tonePath = dir.File((row.ext == ".mp3" ? "_tone" : "tone") + row.ext);
    ASSERT_EQ(RunCaptured("mid3v2", {"-t", "Tone", "-A", "Album", "--TPE2", "Band", "--TXXX", "REPLAYGAIN_TRACK_GAIN:-6.20 dB",
                                     "-p", config.File("cover.jpg") + ":Cover:3:image/jpeg", tagged}).exitCode, 0);
    const Names marked = Words("{dir}/tone.mp3 /ana0 /lev0 /tr0 /skip 1 /output " + row.output);
    ASSERT_EQ(Run(marked).exitCode, 0);
    const Names tags = DumpTags(tonePath);
    const auto value = [&tags](const std::string& key) { return TagValue(tags, key); };
    EXPECT_EQ((Names{value(row.keys.title), value(row.keys.album), value(row.keys.albumArtist), value(row.keys.picture)}),
              (Names{"Tone", "", "Band", TagValue(DumpTags(tagged), "APIC:Cover")}));
    EXPECT_TRUE(std::ranges::none_of(tags, [&](const std::string& l) { return l.starts_with(row.keys.gain); }));
    EXPECT_NE(Run(marked).out.find("Up to date: " + tonePath + "\n"), std::string::npos);
    if (&row.keys != &kComments) return;
    // An output taken as a source: its record names that source, and the first source's is gone.
    ASSERT_EQ(Run({tonePath, "/output", row.output, "/skip", "1"}).exitCode, 0);
    Names records;
    std::ranges::copy_if(DumpTags(dir.File("_tone" + row.ext)), std::back_inserter(records),
                         [](const std::string& line) { return line.starts_with("VARNOOKPROVENANCE="); });
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find(" size " + std::to_string(fs::file_size(tonePath)) + " "), std::string::npos) << records[0];
}

const std::string kWhole = "sample_fmt=s16\nsample_rate=44100\n";
INSTANTIATE_TEST_SUITE_P(Formats, Delivered, testing::Values(
    OutputRow{"Mp3", "mp3", ".mp3", "sample_fmt=fltp\nsample_rate=44100\n", 110250, kId3, "/lame -b 96", "lame"},
    OutputRow{"Wav", "wav", ".wav", kWhole, 110250, kId3, "", "source"},
    OutputRow{"Flac", "flac", ".flac", kWhole, 110250, kComments, "/flaclevel 0"},
    OutputRow{"Opus", "opus", ".opus", "sample_fmt=fltp\nsample_rate=48000\n", 120000, kComments, "/kbps 64"},
    OutputRow{"Vorbis", "ogg", ".ogg", "sample_fmt=fltp\nsample_rate=44100\n", 110250, kComments, "/quality 2"}),
    RowName());

}  // namespace
}  // namespace varnook::test
