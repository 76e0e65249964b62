// Whole tags through the built varnook and the real lame: sources tagged by real taggers (and
// tags and a WAV INFO list built by hand), each output read back with mutagen and compared with
// its source frame by frame, and read by ffprobe without a warning. All in the "C" locale, where
// lame would cut every text at its first non-ASCII letter.
#include <zlib.h>

#include <functional>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/tag_dump.h"
#include "support/tag_sets.h"

namespace varnook::test {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kMid3v2{"mid3v2", "-t", "Bj\u00F6rk \"J\u00F3ga\" \u6771\u4EAC \U0001F3B5",
    "-a", "\u041A\u0438\u043D\u043E", "-A", "\u6771\u4EAC \u00C9t\u00E9", "-y", "2024", "-T", "3/12", "-g", "(52)",
    "-c", "first comment \U0001F600", "-c", "Other:second comment:deu", "-c", "iTunNORM: 000001F4 000001F4:eng",
    "--TPE2", "Various \u00C5rtists", "--TPOS", "1/2", "--TCOM", "\uC791\uACE1\uAC00", "--USLT", "la la \u00E9",
    "--TXXX", "MusicBrainz Album Id:89ad4ac3", "--TXXX", "MusicBrainz Artist Id:5b11f4ce",
    "--TXXX", "REPLAYGAIN_TRACK_GAIN:-6.20 dB", "-p", "{dir}/cover.jpg:Cover:3:image/jpeg"};

// A compressed frame's data: zlib's stream of `data`, after its inflated size as 2.3 gives it.
std::string Compressed(const std::string& data)
{
    uLongf size = compressBound(data.size());
    std::string packed(size, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                       data.size()), Z_OK);
    const auto length = static_cast<uint32_t>(data.size());
    return std::string{char(length >> 24), char(length >> 16), char(length >> 8), char(length)} + packed.substr(0, size);
}

// Format flags of 2.3 and 2.4 frames; a tag's flag.
constexpr char kV3Compressed = '\x80';
constexpr char kV4CompressedWithLength = '\x09';
constexpr char kUnsynchronisedTag = '\x80';

struct TagsRow {
    std::string name;
    std::string source;  // ".wav" sources carry an INFO list; ".mp3" ones are tagged by `tagger`
    std::vector<std::string> tagger;                // run with the source's path appended
    std::vector<std::string> keys;                  // varnook's switches after /enc1
    std::vector<std::string> gone;                  // source frames (key prefixes) not carried
    std::vector<std::string> expected = {};         // output lines, in place of the source's of that key
    std::vector<std::string> logLines = {};
    std::function<std::string(const std::string& cover)> handBuilt = nullptr;  // a tag put before the MP3
};
void PrintTo(const TagsRow& row, std::ostream* os) { *os << row.name; }

const std::vector<std::string> kFalseNow{"TXXX:REPLAYGAIN", "COMM:iTunNORM"};
// The new file's own, which may read the same as the source's.
const std::vector<std::string> kLameOwn{"TSSE", "TLEN"};

class TagsKept : public BatchRun, public testing::WithParamInterface<TagsRow> {
protected:
    std::string MakeSource(const TagsRow& row)
    {
        // A JPEG of 300 kB of noise, which ffprobe reads, and in which a changed byte shows in
        // its hash.
        EXPECT_EQ(RunCaptured("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "color=gray:s=640x480,noise=alls=100:all_seed=7",
                                         "-frames:v", "1", "-q:v", "2", dir.File("cover.jpg")}).exitCode, 0);
        const Bytes cover = ReadAllBytes(dir.File("cover.jpg"));
        const std::string path = dir.File(row.source);
        if (row.source.ends_with(".wav")) {
            // Title, artist and album; each text ends in a zero, and an odd size is padded.
            const std::string info = "INFOINAM\x0D\0\0\0Caf\u00E9 \"Nuit\"\0\0IART\x04\0\0\0Duo\0IPRD\x04\0\0\0LP1\0"s;
            const WavLayout layout{.before = {{"LIST", Bytes(info.begin(), info.end())}}, .after = {}};
            WriteAllBytes(path, BuildWav(layout, Sine(440, 6000, 44100, 44100)));
            return path;
        }
        EXPECT_EQ(RunCaptured("lame", {"--quiet", MakeWav("tone.wav"), path}).exitCode, 0);
        if (row.handBuilt) {
            const Bytes audio = ReadAllBytes(path);
            WriteText(path, row.handBuilt(std::string(cover.begin(), cover.end())) + std::string(audio.begin(), audio.end()));
        }
        Names args{row.tagger.begin() + !row.tagger.empty(), row.tagger.end()};
        for (std::string& arg : args) arg = Expand(arg);
        args.push_back(path);
        EXPECT_TRUE(row.tagger.empty() || RunCaptured(row.tagger.front(), args).exitCode == 0) << "the tagger failed";
        return path;
    }
};

TEST_P(TagsKept, FrameByFrame)
{
    const TagsRow& row = GetParam();
    const std::string source = MakeSource(row);
    std::vector<std::string> args{source, "/enc1"};
    args.insert(args.end(), row.keys.begin(), row.keys.end());
    const CapturedRun run = Run(args, {{"LC_ALL", "C"}, {"LANG", "C"}});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectInOrder(run, row.logLines);
    const std::string output = row.source.ends_with(".wav") ? dir.File("song.mp3") : dir.File("_song.mp3");
    const CapturedRun probe = RunCaptured("ffprobe", {"-v", "warning", "-hide_banner", output});
    EXPECT_EQ(probe.out + probe.err, "") << "ffprobe warns";
    const std::vector<std::string> after = DumpTags(output);
    for (const std::string& line : row.source.ends_with(".wav") ? std::vector<std::string>{} : DumpTags(source)) {
        const std::string key = line.substr(0, line.find('='));
        const auto isPrefix = [&key](const std::string& p) { return key.starts_with(p); };
        const auto ofKey = [&key](const std::string& l) { return l.starts_with(key + "="); };
        if (std::ranges::any_of(kLameOwn, isPrefix) || std::ranges::any_of(row.expected, ofKey)) continue;
        if (std::ranges::any_of(row.gone, isPrefix)) {
            EXPECT_FALSE(std::ranges::any_of(after, [&key](const std::string& l) { return l.starts_with(key); })) << line;
        } else if (key.starts_with("COMM:")) {
            // The Comment field's frame is lame's now, in its own language and description.
            const std::string text = line.substr(line.find('='));
            const auto sameText = [&text](const std::string& l) { return l.starts_with("COMM:") && l.ends_with(text); };
            EXPECT_TRUE(std::ranges::any_of(after, sameText)) << line << " lost";
        } else {
            EXPECT_TRUE(std::ranges::count(after, line)) << line << " lost";
        }
    }
    for (const std::string& line : row.expected) EXPECT_TRUE(std::ranges::count(after, line)) << line << " missing";
}

INSTANTIATE_TEST_SUITE_P(Sources, TagsKept, testing::Values(
    // mid3v2 writes the genre "(52)" with a closing zero; lame takes it by its name.
    TagsRow{"Mid3v2V24Utf8Leveled", "song.mp3", kMid3v2, {"/ana1", "/lev1"}, kFalseNow, {"TCON=Electronic"}},
    // Title, album artist, two comments and a picture in 2.2 frames, then a picture frame too
    // short to hold one.
    TagsRow{"HandBuiltV22WithABrokenPicture", "song.mp3", {}, {}, kFalseNow, {}, {"Broken tag frame left out: PIC"},
            [](const std::string& cover) {
                return Id3Tag(2, Id3Frame(2, "TT2", "\0Two \"Two\""s) + Id3Frame(2, "TP2", "\0Band"s) +
                                  Id3Frame(2, "COM", "\0eng\0First"s) + Id3Frame(2, "COM", "\0engd\0Second"s) +
                                  Id3Frame(2, "PIC", "\0JPG\x03" "Cover\0"s + cover) + Id3Frame(2, "PIC", "\0J"s));
            }},
    TagsRow{"WavWithInfoList", "song.wav", {}, {}, {}, {"TIT2=Caf\u00E9 \"Nuit\"", "TPE1=Duo", "TALB=LP1"}},
    // A version 2.3 tag in Latin-1, of which only the seven fields go on.
    TagsRow{"KeepAllTagsOffWritesTheSevenFields", "song.mp3",
            {"id3v2", "-2", "-t", "Caf\u00E9 \"Ol\u00E9\"", "-a", "M\u00FCller", "-c", "Notiz:Gr\u00FC\u00DFe:deu",
             "--TPE2", "Die \u00C4rzte", "--TCOM", "B\u00E9la"}, {"/keeptags", "0"}, {"TPE2", "TCOM"}}),
    RowName());

// Tags that were lost or grew without bound: compressed frames, which the readers of the seven
// fields pass over, are inflated to at most 16 MiB and carried.
INSTANTIATE_TEST_SUITE_P(Crafted, TagsKept, testing::Values(
    TagsRow{"CompressedFramesInflatedUpTo16MiB", "song.mp3", {}, {}, {"PRIV", "TPE4"},
            {"TIT2=Packed title", "COMM:Other:eng=Packed comment", "TPE2=Packed band"},
            {"Broken tag frame left out: PRIV", "Broken tag frame left out: TPE4"}, [](const std::string&) {
                return Id3Tag(3, Id3Frame(3, "TIT2", Compressed("\0Packed title"s), kV3Compressed) +
                                  Id3Frame(3, "PRIV", Compressed("owner\0"s + std::string((16 << 20) + 1, 'z')), kV3Compressed) +
                                  Id3Frame(3, "TPE4", "\0\0\0\x10not zlib data"s, kV3Compressed) +
                                  Id3Frame(3, "COMM", Compressed("\0engOther\0Packed comment"s), kV3Compressed) +
                                  Id3Frame(3, "TPE2", Compressed("\0Packed band"s), kV3Compressed));
            }},
    // Unsynchronised after compression: a zero follows every 0xFF of the zlib stream. The text's
    // "\u00FF" (FF 00 in UTF-16) is lost if the inflated data is taken for unsynchronised too.
    TagsRow{"V24UnsynchronisedTagWithACompressedFrame", "song.mp3", {}, {}, {}, {"TPE2=Pack\u00FF"}, {},
            [](const std::string&) {
                const std::string stream = Compressed("\x01\xFF\xFEP\0a\0c\0k\0\xFF\0"s).substr(4);
                std::string unsynchronised;
                for (const char c : stream) unsynchronised += c == '\xFF' ? "\xFF\0"s : std::string(1, c);
                EXPECT_NE(unsynchronised.size(), stream.size()) << "no 0xFF to unsynchronise";
                return Id3Tag(4, Id3Frame(4, "TPE2", "\0\0\0\x0D"s + unsynchronised, kV4CompressedWithLength), kUnsynchronisedTag);
            }}),
    RowName());

}  // namespace
}  // namespace varnook::test
