#include "wav/wav_time.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/wav_info.h"
#include "io/byte_order.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A field of the header set to a value: the 16-bit fields of "fmt " at 20, 22, 32 and 34,
// every other one 32 bits wide.
using Edit = std::pair<size_t, int32_t>;

void Apply(Bytes& bytes, const std::vector<Edit>& edits)
{
    for (const auto& [at, value] : edits)
        at == 20 || at == 22 || at == 32 || at == 34 ? StoreLE16(&bytes[at], static_cast<int16_t>(value))
                                                     : StoreLE32(&bytes[at], value);
}

struct HeaderCase {
    const char* name;
    std::vector<Edit> edits;
    size_t length;  // the file cut or stretched to this after the edits
    Lines lines;
    double duration;               // -1 when refused
    int32_t dataSize = 0;          // checked when accepted
    std::vector<Edit> repairs{};   // the only change the file may see
};

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

// The file: 16-bit mono, 44100 Hz, a 4-byte LIST chunk at 36, the "data" header at 48 and 100
// samples from 56: 256 bytes, RIFF size 248.
TEST_P(HeaderCheck, LinesResultAndRepairs)
{
    const HeaderCase& row = GetParam();
    Bytes bytes = test::BuildWav({.before = {{"LIST", Bytes(4, 'x')}}, .after = {}}, test::Noise(1, 1000, 100));
    Apply(bytes, row.edits);
    bytes.resize(row.length);
    const test::TempDir dir;
    test::WriteAllBytes(dir.File("in.wav"), bytes);
    test::RecordingHost host;
    WavInfo wav;
    EXPECT_DOUBLE_EQ(WavTime(host, wav, dir.File("in.wav")), row.duration);
    EXPECT_EQ(host.lines, row.lines);
    Apply(bytes, row.repairs);
    EXPECT_EQ(test::ReadAllBytes(dir.File("in.wav")), bytes);
    if (row.duration != -1) {
        EXPECT_EQ(std::tuple(wav.DataStart, wav.DataSize, wav.RiffSize), std::tuple(56, row.dataSize, int32_t(bytes.size() - 8)));
    }
}

constexpr double kFull = 200.0 / 88200;

const HeaderCase kHeaders[] = {
    {"Good", {}, 256, {}, kFull, 200},
    {"Empty", {}, 0, {"No RIFF header"}, -1},
    {"LowerCaseRiff", {{0, 0x66666972}}, 256, {"No RIFF header"}, -1},
    // The size is read from the two bytes there are; nothing is repaired in a refused file.
    {"CutAfterRiffId", {{4, 263}}, 6, {"Bad file size info: 263", "No WAVE header"}, -1},
    {"NoFmt", {{12, 0}}, 256, {"No fmt  header"}, -1},
    {"FmtOf15", {{16, 15}}, 256, {"Bad fmt  header"}, -1},
    {"CutInsideFmt", {{4, 22}}, 30, {"Bad fmt  header"}, -1},
    {"SixChannels", {{22, 6}}, 256, {"6 rather than 1 or 2 channels"}, -1},
    {"BlockAlignZero", {{32, 0}, {4, 0}}, 256, {"Bad file size info: 0", "Bad block align: 0"}, -1},
    {"ByteRateZero", {{28, 0}}, 256, {"Bad byte rate: 0"}, -1},
    {"NoDataChunk", {{48, 0}}, 256, {"No data chunk"}, -1},
    {"EndsInChunkHeader", {{4, 44}}, 52, {"No data chunk"}, -1},
    // 36 + 8 + size passes 2^31; a negative size would loop on itself.
    {"ChunkPastTheEnd", {{40, 0x7FFFFFFF}}, 256, {"Bad chunk size"}, -1},
    {"ChunkSizeNegative", {{40, -8}}, 256, {"Bad chunk size"}, -1},
    {"RiffSizeZero", {{4, 0}}, 256, {"Bad file size info: 0", "File size info corrected to: 248"}, kFull, 200, {{4, 248}}},
    {"RiffSizeTooLarge", {{4, 1000248}}, 256, {"Bad file size info: 1000248", "File size info corrected to: 248"}, kFull, 200,
     {{4, 248}}},
    // Stereo with 203 bytes after the data header: cut to 200, whole frames of four bytes.
    {"DataCutToWholeFrames", {{22, 2}, {28, 176400}, {32, 4}, {4, 251}, {52, 4000}}, 259,
     {"Bad data size", "Data size corrected"}, 200.0 / 176400, 200, {{52, 200}}},
    // All bits set, as recorders write while streaming: negative, so left alone here.
    {"DataSizeTopBit", {{52, -1}}, 256, {}, -1.0 / 88200, -1},
    {"EmptyDataThenTrailer", {{52, 0}}, 256, {}, 0, 0},
    // Neither the format tag nor the sample size is checked here.
    {"OtherFormatsPass", {{20, 0xFFFE}, {34, 8}}, 256, {}, kFull, 200},
};

INSTANTIATE_TEST_SUITE_P(Files, HeaderCheck, ::testing::ValuesIn(kHeaders), test::RowName());

// The samples are found past an extended "fmt " and chunks of any size, odd ones unpadded; a
// missing file is a file error, and one longer than 2 GiB cannot be described.
TEST(WavTime, ChunkWalkAndFilesItCannotTake)
{
    const std::tuple<int32_t, std::vector<test::Chunk>, int32_t> walks[] = {
        {18, {}, 46}, {16, {{"LIST", Bytes(26, 'a')}, {"fact", Bytes(4, 0)}}, 90}, {16, {{"junk", Bytes(3, 'j')}}, 55}};
    const test::TempDir dir;
    const std::string path = dir.File("in.wav");
    test::RecordingHost host;
    WavInfo wav;
    for (const auto& [fmtSize, before, dataStart] : walks) {
        test::WriteAllBytes(path, test::BuildWav({1, 44100, 16, 1, fmtSize, before, {}}, test::Noise(3, 100, 50)));
        EXPECT_DOUBLE_EQ(WavTime(host, wav, path), 100.0 / 88200);
        EXPECT_EQ(wav.DataStart, dataStart);
    }
    EXPECT_EQ(WavTime(host, wav, dir.File("absent.wav")), -1);
    std::filesystem::resize_file(path, 3LL << 30);  // sparse: takes no disk space for its hole
    EXPECT_EQ(WavTime(host, wav, path), -1);
    EXPECT_EQ(host.lines, (Lines{"53: File not found", "File too large"}));
}

}  // namespace
}  // namespace varnook
