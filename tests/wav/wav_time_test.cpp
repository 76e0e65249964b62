#include "wav/wav_time.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "control/context.h"
#include "io/byte_order.h"
#include "support/read_only.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// 16-bit mono, 44100 Hz, a 4-byte LIST chunk at 36, the "data" header at 48 and 100 samples
// from 56: 256 bytes, RIFF size 248.
Bytes Base()
{
    test::WavLayout layout;
    layout.before = {{"LIST", Bytes(4, 'x')}};
    return test::BuildWav(layout, test::Noise(1, 1000, 100));
}

void Put32(Bytes& b, size_t at, int32_t v) { StoreLE32(b.data() + at, v); }
void Put16(Bytes& b, size_t at, int16_t v) { StoreLE16(b.data() + at, v); }
void PutId(Bytes& b, size_t at, const char* id) { std::copy(id, id + 4, b.begin() + static_cast<std::ptrdiff_t>(at)); }
void Assign(Bytes& b, const std::string& text) { b.assign(text.begin(), text.end()); }

struct Checked {
    double duration;
    Lines lines;
    Bytes after;
    WavInfo info;
};

Checked Check(const test::TempDir& dir, const Bytes& bytes)
{
    const std::string path = dir.File("in.wav");
    test::WriteAllBytes(path, bytes);
    test::RecordingHost host;
    Context ctx(host);
    const double duration = WavTime(ctx, path);
    EXPECT_TRUE(host.errorBoxes.empty());
    return {duration, host.lines, test::ReadAllBytes(path), ctx.wav};
}

// Whatever the input: the length stays, and a byte may change only inside the RIFF size or the
// data size field, which then hold the values of the record.
void ExpectOnlySizeFieldsRepaired(const Bytes& before, const Checked& result)
{
    ASSERT_EQ(result.after.size(), before.size());
    const auto dataSizeAt = static_cast<size_t>(std::max(result.info.DataStart - 4, 0));
    for (size_t i = 0; i < before.size(); ++i) {
        if (result.after[i] == before[i]) continue;
        if (i >= 4 && i < 8) {
            ASSERT_EQ(LoadLE32(result.after.data() + 4), result.info.RiffSize);
        } else if (result.info.DataStart >= 8 && i >= dataSizeAt && i < dataSizeAt + 4) {
            ASSERT_EQ(LoadLE32(result.after.data() + dataSizeAt), result.info.DataSize);
        } else {
            FAIL() << "byte " << i << " changed";
        }
    }
}

struct HeaderCase {
    const char* name;
    void (*edit)(Bytes&);
    Lines lines;
    double duration;        // -1 when refused
    int32_t dataSize = 0;   // checked when accepted
};

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderCheck, LinesResultAndRepairs)
{
    test::TempDir dir;
    Bytes bytes = Base();
    GetParam().edit(bytes);
    const Checked result = Check(dir, bytes);
    EXPECT_EQ(result.lines, GetParam().lines);
    EXPECT_DOUBLE_EQ(result.duration, GetParam().duration);
    ExpectOnlySizeFieldsRepaired(bytes, result);
    if (GetParam().duration != -1) {
        EXPECT_EQ(result.info.DataStart, 56);
        EXPECT_EQ(result.info.DataSize, GetParam().dataSize);
        EXPECT_EQ(result.info.RiffSize, static_cast<int32_t>(bytes.size() - 8));
    }
}

constexpr double kFull = 200.0 / 88200;

const HeaderCase kHeaders[] = {
    {"Good", [](Bytes&) {}, {}, kFull, 200},
    {"Empty", [](Bytes& b) { b.clear(); }, {"No RIFF header"}, -1},
    {"ShorterThanAnId", [](Bytes& b) { b.resize(3); }, {"No RIFF header"}, -1},
    {"Mp3", [](Bytes& b) { Assign(b, "ID3\x03\x00\x00\x00\x00\x00\x0a and frames"); }, {"No RIFF header"}, -1},
    {"LowerCaseRiff", [](Bytes& b) { PutId(b, 0, "riff"); }, {"No RIFF header"}, -1},
    {"CutAfterRiffId", [](Bytes& b) { Assign(b, "RIFF\x07\x01"); }, {"Bad file size info: 263", "No WAVE header"}, -1},
    {"BadSizeAndNoWave", [](Bytes& b) { Put32(b, 4, 240); PutId(b, 8, "AVI "); }, {"Bad file size info: 240", "No WAVE header"}, -1},
    {"NoFmt", [](Bytes& b) { PutId(b, 12, "LIST"); }, {"No fmt  header"}, -1},
    {"FmtOf15", [](Bytes& b) { Put32(b, 16, 15); }, {"Bad fmt  header"}, -1},
    {"FmtSizeNegative", [](Bytes& b) { Put32(b, 16, -16); }, {"Bad fmt  header"}, -1},
    {"CutInsideFmt", [](Bytes& b) { b.resize(30); Put32(b, 4, 22); }, {"Bad fmt  header"}, -1},
    {"SixChannels", [](Bytes& b) { Put16(b, 22, 6); }, {"6 rather than 1 or 2 channels"}, -1},
    {"NoChannels", [](Bytes& b) { Put16(b, 22, 0); }, {"0 rather than 1 or 2 channels"}, -1},
    {"BlockAlignZero", [](Bytes& b) { Put16(b, 32, 0); }, {"Bad block align: 0"}, -1},
    {"ByteRateZero", [](Bytes& b) { Put32(b, 28, 0); }, {"Bad byte rate: 0"}, -1},
    {"NoDataChunk", [](Bytes& b) { PutId(b, 48, "dat "); }, {"No data chunk"}, -1},
    {"EndsInChunkHeader", [](Bytes& b) { b.resize(52); Put32(b, 4, 44); }, {"No data chunk"}, -1},
    {"ChunkPastTheEnd", [](Bytes& b) { Put32(b, 40, 0x7FFFFFFF); }, {"Bad chunk size"}, -1},  // 36 + 8 + size > 2^31
    {"ChunkSizeNegative", [](Bytes& b) { Put32(b, 40, -8); }, {"Bad chunk size"}, -1},     // would loop on itself
    {"FmtPastTheEnd", [](Bytes& b) { Put32(b, 16, 0x7FFFFFF0); }, {"Bad chunk size"}, -1},
    {"RiffSizeZero", [](Bytes& b) { Put32(b, 4, 0); }, {"Bad file size info: 0", "File size info corrected to: 248"}, kFull, 200},
    {"RiffSizeTooLarge", [](Bytes& b) { Put32(b, 4, 1000248); }, {"Bad file size info: 1000248", "File size info corrected to: 248"}, kFull, 200},
    {"DataSizeTooLarge", [](Bytes& b) { Put32(b, 52, 4000); }, {"Bad data size", "Data size corrected"}, kFull, 200},
    // Stereo with 203 bytes after the data header: cut to 200, whole frames of four bytes.
    {"DataCutToWholeFrames",
     [](Bytes& b) { Put16(b, 22, 2); Put32(b, 28, 176400); Put16(b, 32, 4); b.resize(259); Put32(b, 4, 251); Put32(b, 52, 4000); },
     {"Bad data size", "Data size corrected"}, 200.0 / 176400, 200},
    // All bits set, as recorders write while streaming: negative, so left alone and refused later.
    {"DataSizeTopBit", [](Bytes& b) { Put32(b, 52, -1); }, {}, -1.0 / 88200, -1},
    {"EmptyDataThenTrailer", [](Bytes& b) { Put32(b, 52, 0); }, {}, 0, 0},
    {"EightBitPasses", [](Bytes& b) { Put16(b, 34, 8); }, {}, kFull, 200},
    {"ExtensiblePasses", [](Bytes& b) { Put16(b, 20, static_cast<int16_t>(0xFFFE)); }, {}, kFull, 200},
};

INSTANTIATE_TEST_SUITE_P(Files, HeaderCheck, ::testing::ValuesIn(kHeaders),
                         test::RowName());

TEST(WavTime, ChunkWalkFindsTheSamples)
{
    struct Walk {
        int32_t fmtSize;
        std::vector<test::Chunk> before, after;
        int32_t dataStart;
    };
    const Walk walks[] = {
        {18, {}, {}, 46},
        {40, {}, {}, 68},
        {16, {{"LIST", Bytes(26, 'a')}, {"fact", Bytes(4, 0)}}, {}, 90},
        {16, {{"junk", Bytes(3, 'j')}}, {}, 55},  // an odd size is followed by no pad byte
        {16, {}, {{"LIST", Bytes(30, 't')}}, 44},
    };
    test::TempDir dir;
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.dataStart);
        test::WavLayout layout;
        layout.fmtSize = walk.fmtSize;
        layout.before = walk.before;
        layout.after = walk.after;
        const Bytes bytes = test::BuildWav(layout, test::Noise(3, 100, 50));
        const Checked result = Check(dir, bytes);
        EXPECT_TRUE(result.lines.empty());
        EXPECT_EQ(result.info.DataStart, walk.dataStart);
        EXPECT_EQ(result.info.DataSize, 100);
        EXPECT_EQ(result.after, bytes);
    }
}

TEST(WavTime, FileErrorsAndFilesTooLong)
{
    test::TempDir dir;
    test::RecordingHost host;
    Context ctx(host);
    EXPECT_EQ(WavTime(ctx, dir.File("absent.wav")), -1);
    // A sparse file of 3 GiB takes no disk space for its hole.
    const std::string huge = dir.File("huge.wav");
    test::WriteAllBytes(huge, Base());
    std::filesystem::resize_file(huge, 3LL << 30);
    EXPECT_EQ(WavTime(ctx, huge), -1);
    EXPECT_EQ(host.lines, (Lines{"53: File not found", "File too large"}));
}

TEST(WavTime, ReadOnlyFileIsExaminedAndOnlyANeededRepairFails)
{
    test::TempDir dir;
    const std::string path = dir.File("locked.wav");
    Bytes bytes = Base();
    for (int32_t riffSize : {248, 100}) {
        Put32(bytes, 4, riffSize);
        test::WriteAllBytes(path, bytes);
        test::ReadOnlyFile locked(path);
        if (!locked.WritesRefused()) GTEST_SKIP() << "cannot take write access away here";
        test::RecordingHost host;
        Context ctx(host);
        if (riffSize == 248) {
            EXPECT_DOUBLE_EQ(WavTime(ctx, path), kFull);
            EXPECT_TRUE(host.lines.empty());
        } else {
            EXPECT_EQ(WavTime(ctx, path), -1);
            EXPECT_EQ(host.lines, (Lines{"Bad file size info: 100", "70: Permission denied"}));
        }
        EXPECT_EQ(test::ReadAllBytes(path), bytes);
    }
}

// Every cut of a file, and random bytes after "RIFF": WavTime returns, always says why it
// refuses, and repairs nothing but the two size fields.
TEST(WavTime, DamagedFilesAreHandled)
{
    test::TempDir dir;
    std::vector<Bytes> inputs;
    const Bytes whole = Base();
    for (size_t length = 0; length <= whole.size(); ++length) inputs.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        Bytes bytes = whole;
        bytes.resize(4 + random() % 120);
        // Half of them keep the fixed identifiers, so the walk gets past the first checks.
        for (size_t i = round % 2 == 0 ? 36 : 4; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(random());
        inputs.push_back(bytes);
    }
    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        const Checked result = Check(dir, input);
        EXPECT_TRUE(result.duration >= 0 || !result.lines.empty());
        ExpectOnlySizeFieldsRepaired(input, result);
        if (result.duration >= 0 && result.info.DataSize > 0) {
            EXPECT_LE(int64_t{result.info.DataStart} + result.info.DataSize, static_cast<int64_t>(input.size()));
        }
    }
}

}  // namespace
}  // namespace varnook
