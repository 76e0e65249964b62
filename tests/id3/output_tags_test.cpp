// Tags in every output, read back with mutagen frame by frame: an MP3 source tagged by mid3v2
// gives its seven fields and its other frames (less the gain tags) to FLAC, Opus and Ogg
// outputs as Vorbis comments and picture blocks, and to a WAV output as an INFO list and an ID3
// chunk; and the one table takes the tag MP3 -> FLAC -> MP3 with nothing lost but the gain tags
// and what a Vorbis comment name cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/context.h"
#include "base/stop_request.h"
#include "base/wav_info.h"
#include "encoder/encoder.h"
#include "encoder/library_encoder.h"
#include "formats/formats.h"
#include "id3/carry_over.h"
#include "id3/output_tags.h"
#include "id3/source_tags.h"
#include "support/captured_run.h"
#include "support/recording_host.h"
#include "support/tag_dump.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook::test {
namespace {

using Lines = std::vector<std::string>;

// The source's gain tags, which never carry over.
bool IsGainTag(const std::string& line) { return line.starts_with("TXXX:REPLAYGAIN") || line.starts_with("COMM:iTunNORM"); }

Lines Sorted(Lines lines)
{
    std::ranges::sort(lines);
    return lines;
}

// A WAV work file as the edits leave a copy of a tagged WAV: its tag before the samples.
WavLayout StaleTagged()
{
    const std::string info("INFOINAM\x06\0\0\0Stale\0", 18);
    return {2, 44100, 16, 1, 16, {{"LIST", {info.begin(), info.end()}}}, {}};
}

class TaggedSource : public testing::Test {
protected:
    TaggedSource()
    {
        // A 100 kB picture of fixed noise, so a changed byte shows in its hash.
        std::mt19937 random(7);
        std::vector<uint8_t> cover(100 * 1000);
        for (uint8_t& byte : cover) byte = static_cast<uint8_t>(random());
        WriteAllBytes(dir.File("cover.jpg"), cover);
        WriteAllBytes(work, BuildWav({2, 44100, 16, 1, 16, {}, {}}, Sine(440, 6000, 44100, 44100, 2)));
        EXPECT_GT(WavTime(host, wav, work), 0);
        EXPECT_EQ(RunCaptured("lame", {"--quiet", work, source}).exitCode, 0);
        const CapturedRun tagged = RunCaptured("mid3v2", {
            "-t", "Bj\u00F6rk \"J\u00F3ga\"", "-a", "\u041A\u0438\u043D\u043E", "-A", "Album", "-y", "2024", "-T", "3/12",
            "-g", "Rock", "-c", "first comment", "-c", "Other:second comment:deu", "-c", "iTunNORM: 000001F4:eng", "--TPE2",
            "Various", "--TPOS", "1/2", "--TCOM", "\uC791\uACE1\uAC00", "--USLT", "la la", "--WOAR", "https://example.org/a",
            "--TXXX", "MusicBrainz Album Id:89ad4ac3", "--TXXX", "CATALOGNUMBER:XYZ-1", "--TXXX", "REPLAYGAIN_TRACK_GAIN:-6.20 dB",
            "-p", dir.File("cover.jpg") + ":Cover:3:image/jpeg", source});
        EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
    }

    // Writes `output` from the work file with the tags of `from`, every field kept.
    void Tag(const std::string& from, OutputFormat format, const std::string& output)
    {
        const SourceTagSets sets = ReadSourceTagSets(from);
        const Id3TagSet fields = KeptTags({true, true, true, true, true, true, true}, sets.V2, sets.V1);
        const CarriedFrames carried(from);
        if (format == OutputFormat::Wav) {
            WriteAllBytes(output, BuildWav(StaleTagged(), Sine(440, 6000, 44100, 100, 2)));
            ASSERT_TRUE(WriteOutputTags(output, format, fields, carried));
            return;
        }
        const TagCarry carry{OutputTagRoom(fields, carried),
                             [&](const std::string& temp) { return WriteOutputTags(temp, format, fields, carried); }};
        const StopRequest stop;
        ASSERT_EQ(EncodedByLibrary(format, CodecSettings{}, work, wav, output, 0, host, stop, &carry),
                  StepEnd::Finished);
    }

    TempDir dir;
    std::string work = dir.File("work.wav"), source = dir.File("source.mp3");
    RecordingHost host;
    WavInfo wav;
};

// What the source's tag becomes in Vorbis comments, its picture apart.
const Lines kVorbisComments{
    "TITLE=Bj\u00F6rk \"J\u00F3ga\"", "ARTIST=\u041A\u0438\u043D\u043E", "ALBUM=Album", "DATE=2024", "TRACKNUMBER=3",
    "TRACKTOTAL=12", "GENRE=Rock", "COMMENT=first comment", "ALBUMARTIST=Various", "DISCNUMBER=1", "DISCTOTAL=2",
    "COMPOSER=\uC791\uACE1\uAC00", "LYRICS=la la", "COMMENT:OTHER=second comment", "MUSICBRAINZ_ALBUMID=89ad4ac3",
    "CATALOGNUMBER=XYZ-1", "WEBSITE=https://example.org/a"};

class OutputTags : public TaggedSource, public testing::WithParamInterface<OutputFormat> {};

TEST_P(OutputTags, CarryTheSourcesTagLessTheGainTags)
{
    const std::string output = dir.File("out" + std::string(OutputExtension(GetParam())));
    Tag(source, GetParam(), output);
    const Lines before = DumpTags(source);
    const std::string cover = TagValue(before, "APIC:Cover");
    ASSERT_FALSE(cover.empty());
    if (GetParam() != OutputFormat::Wav) {
        Lines expected = kVorbisComments;
        expected.push_back("PICTURE:Cover=" + cover);
        EXPECT_EQ(DumpTags(output), Sorted(expected));
        return;
    }
    // The ID3 chunk: the seven fields made anew, every other frame as the source had it.
    Lines expected = before;
    std::erase_if(expected, IsGainTag);
    EXPECT_EQ(DumpTags(output), expected);
    // The copy's own tag is gone without a trace, and no sample was moved for it.
    const std::string bytes = ReadText(output);
    EXPECT_EQ(std::tuple(bytes.find("Stale"), bytes.substr(DataOffset(StaleTagged()) - 8, 4)), std::tuple(bytes.npos, "data"));
    // The INFO list, as ffmpeg reads it.
    const CapturedRun info = RunCaptured("ffprobe", {"-v", "error", "-show_entries",
        "format_tags=title,artist,album,date,comment,genre,track", "-of", "default=nw=1", output});
    EXPECT_EQ(Sorted(info.Lines()), Sorted({"TAG:title=Bj\u00F6rk \"J\u00F3ga\"", "TAG:artist=\u041A\u0438\u043D\u043E",
        "TAG:album=Album", "TAG:date=2024", "TAG:comment=first comment", "TAG:genre=Rock", "TAG:track=3/12"}));
}

INSTANTIATE_TEST_SUITE_P(Formats, OutputTags, testing::Values(OutputFormat::Flac, OutputFormat::Opus, OutputFormat::Vorbis,
                                                           OutputFormat::Wav),
                         [](const auto& info) { return std::string(OutputFormatName(info.param)); });

// A Vorbis comment's name has no letter case and no language: a described comment comes back
// with its description in capitals and in the language "eng". lame writes the Comment field's
// frame in its own language, and frames of its own.
std::string Comparable(const std::string& line)
{
    if (!line.starts_with("COMM:")) return line;
    const size_t description = 5, language = line.find(':', description), text = line.find('=');
    std::string upper = line.substr(description, language - description);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "COMM:" + upper + line.substr(text);
}

TEST_F(TaggedSource, TableRoundTripsMp3ThroughFlacBackToMp3)
{
    Tag(source, OutputFormat::Flac, dir.File("middle.flac"));
    Context ctx(host);
    ctx.settings.KeepTag.fill(true);
    const SourceTagSets sets = ReadSourceTagSets(dir.File("middle.flac"));
    ctx.tagsV1 = sets.V1;
    ctx.tagsV2 = sets.V2;
    CarriedFrames carried(dir.File("middle.flac"));
    const TagCarry carry{carried.RoomNeeded(), [&](const std::string& temp) { return carried.WriteInto(temp); }};
    ASSERT_EQ(Encoded(ctx, "--quiet", work, dir.File("back.mp3"), nullptr, &carry), StepEnd::Finished);

    Lines expected, back;
    for (const std::string& line : DumpTags(source))
        if (!IsGainTag(line)) expected.push_back(Comparable(line));
    for (const std::string& line : DumpTags(dir.File("back.mp3")))
        if (!line.starts_with("TSSE") && !line.starts_with("TLEN") && !line.starts_with("COMM:ID3v1 Comment"))
            back.push_back(Comparable(line));
    EXPECT_EQ(Sorted(back), Sorted(expected));
}

}  // namespace
}  // namespace varnook::test
