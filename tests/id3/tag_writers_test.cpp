// Tags written by the tag editors people use, read back by our readers. The MP3 is made by the
// real lame from a generated sine; each row tags a fresh copy with one tool and version.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "id3/id3_reader.h"
#include "support/run_program.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

struct WriterCase {
    friend void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }
    std::string name;
    std::vector<std::string> command;  // the file's path is appended
    std::optional<uint8_t> major;      // the version 2 header the tool must have written
    Id3TagSet v1;
    Id3TagSet v2;
};

class TagWriters : public testing::TestWithParam<WriterCase> {};

TEST_P(TagWriters, TagsReadBack)
{
    const WriterCase& row = GetParam();
    for (const std::string& program : {std::string("lame"), row.command.front()}) {
        if (!test::ProgramOnPath(program)) GTEST_SKIP() << program << " is not installed";
    }
    test::TempDir dir;
    const std::string wav = dir.File("tone.wav");
    const std::string mp3 = dir.File("tagged tone.mp3");
    test::WriteAllBytes(wav, test::BuildWav({}, test::Sine(440.0, 8000.0, 44100, 2 * 44100)));
    ASSERT_EQ(test::RunProgram({"lame", "--quiet", wav, mp3}), 0);
    // lame writes no tag of its own unless asked to.
    ASSERT_EQ(GetId3v1(mp3), Id3TagSet{});
    ASSERT_EQ(GetId3v2(mp3), Id3TagSet{});

    std::vector<std::string> command = row.command;
    command.push_back(mp3);
    ASSERT_EQ(test::RunProgram(command), 0);

    const std::vector<uint8_t> bytes = test::ReadAllBytes(mp3);
    const bool hasV2Header = bytes.size() > 3 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3';
    ASSERT_EQ(hasV2Header ? std::optional<uint8_t>(bytes[3]) : std::nullopt, row.major)
        << "the tool wrote another version than this row is about";
    EXPECT_EQ(GetId3v1(mp3), row.v1);
    EXPECT_EQ(GetId3v2(mp3), row.v2);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, TagWriters,
    testing::Values(
        // id3v2 writes both tags. Its genre frame holds only the reference "(17)", which is not
        // looked up, so only the version 1 tag names the genre; the quote is blanked only in the
        // version 2 text.
        WriterCase{"Id3v2ToolWritesV11AndV23",
                   {"id3v2", "-t", "Say \"Hi\"", "-a", "The Examples", "-A", "Test Pressing", "-y",
                    "1999", "-c", "Recorded live", "-g", "17", "-T", "7"},
                   3,
                   {"Say \"Hi\"", "The Examples", "Test Pressing", "1999", "Recorded live", "Rock", "7"},
                   {"Say  Hi", "The Examples", "Test Pressing", "1999", "Recorded live", "", "7"}},
        WriterCase{"EyeD3WritesV11",
                   {"eyeD3", "--quiet", "-1", "-t", "Title", "-a", "Artist", "-A", "Album", "-Y",
                    "1987", "-c", "A comment", "-G", "Hard Rock", "-n", "12"},
                   std::nullopt,
                   {"Title", "Artist", "Album", "1987", "A comment", "Hard Rock", "12"},
                   {}},
        WriterCase{"EyeD3WritesV23",
                   {"eyeD3", "--quiet", "--to-v2.3", "--encoding", "latin1", "-t", "Caf\u00E9", "-a",
                    "Artist", "-A", "Album", "--recording-date", "1987", "-c", "A comment", "-G",
                    "Hard Rock", "-n", "12"},
                   3,
                   {},
                   {"Caf\u00E9", "Artist", "Album", "1987", "A comment", "Hard Rock", "12"}},
        WriterCase{"EyeD3WritesV24",
                   {"eyeD3", "--quiet", "--to-v2.4", "--encoding", "latin1", "-t", "Title", "-a",
                    "Artist", "-A", "Album", "--recording-date", "1987", "-c", "A comment", "-G",
                    "Hard Rock", "-n", "12"},
                   4,
                   {},
                   {"Title", "Artist", "Album", "1987", "A comment", "Hard Rock", "12"}},
        // mid3v2 writes 2.4 frames in UTF-8; plain ASCII reads the same. The year comes from
        // "TDRC" although the tool also wrote a "TYER" frame.
        WriterCase{"Mid3v2WritesV24",
                   {"mid3v2", "-t", "Title", "-a", "Artist", "-A", "Album", "-y", "2002", "--TYER",
                    "1970", "-c", "A comment", "-g", "Rock", "-T", "7"},
                   4,
                   {},
                   {"Title", "Artist", "Album", "2002", "A comment", "Rock", "7"}}),
    [](const testing::TestParamInfo<WriterCase>& info) { return info.param.name; });

}  // namespace
}  // namespace varnook
