// Tags written by the tag editors people use, read back by our readers. The MP3 is made by the
// real lame from a generated sine; each row tags a fresh copy with one tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "encoder/child_process.h"
#include "id3/id3_reader.h"
#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

struct WriterCase {
    std::string name;
    std::vector<std::string> command;  // the file's path is appended
    std::optional<uint8_t> major;      // the version 2 header the tool must have written
    Id3TagSet v1;
    Id3TagSet v2;
};
void PrintTo(const WriterCase& row, std::ostream* os) { *os << row.name; }

class TagWriters : public testing::TestWithParam<WriterCase> {};

TEST_P(TagWriters, TagsReadBack)
{
    const WriterCase& row = GetParam();
    for (const std::string& program : {std::string("lame"), row.command.front()}) {
        if (FindProgram(program, "", std::getenv("PATH")).empty())
            GTEST_SKIP() << program << " is not installed";
    }
    test::TempDir dir;
    const std::string wav = dir.File("tone.wav");
    const std::string mp3 = dir.File("tagged tone.mp3");
    test::WriteAllBytes(wav, test::BuildWav({}, test::Sine(440.0, 8000.0, 44100, 2 * 44100)));
    ASSERT_EQ(test::RunCaptured("lame", {"--quiet", wav, mp3}).exitCode, 0);
    std::vector<std::string> args(row.command.begin() + 1, row.command.end());
    args.push_back(mp3);
    ASSERT_EQ(test::RunCaptured(row.command.front(), args).exitCode, 0);

    const std::vector<uint8_t> bytes = test::ReadAllBytes(mp3);
    const bool hasV2 = bytes.size() > 3 && std::string(bytes.begin(), bytes.begin() + 3) == "ID3";
    ASSERT_EQ(hasV2 ? std::optional<uint8_t>(bytes[3]) : std::nullopt, row.major)
        << "the tool wrote another version than this row is about";
    EXPECT_EQ(GetId3v1(mp3), row.v1);
    EXPECT_EQ(GetId3v2(mp3), row.v2);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, TagWriters,
    testing::Values(
        // id3v2 writes both tags. Its genre frame holds only the reference "(17)", which is not
        // looked up, so only the version 1 tag names the genre.
        WriterCase{"Id3v2ToolWritesV11AndV23",
                   {"id3v2", "-t", "Say \"Hi\"", "-a", "The Examples", "-A", "Test Pressing", "-y",
                    "1999", "-c", "Recorded live", "-g", "17", "-T", "7"},
                   3,
                   {"Say \"Hi\"", "The Examples", "Test Pressing", "1999", "Recorded live", "Rock",
                    "7"},
                   {"Say \"Hi\"", "The Examples", "Test Pressing", "1999", "Recorded live", "", "7"}},
        // mid3v2 writes 2.4 frames in UTF-8; plain ASCII reads the same. The year comes from
        // "TDRC" although the tool also wrote a "TYER" frame.
        WriterCase{"Mid3v2WritesV24",
                   {"mid3v2", "-t", "Title", "-a", "Artist", "-A", "Album", "-y", "2002", "--TYER",
                    "1970", "-c", "A comment", "-g", "Rock", "-T", "7"},
                   4, {},
                   {"Title", "Artist", "Album", "2002", "A comment", "Rock", "7"}}),
    test::RowName());

}  // namespace
}  // namespace varnook
