#include "wav/wav_time.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/context.h"
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

// A field of the header set to a value: the 16-bit fields of "fmt " at 20, 22, 32 and 34,
// every other one 32 bits wide.
struct Edit {
    size_t at;
    int32_t value;
};

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
    const double duration = WavTime(ctx.host, ctx.wav, path);
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
    std::vector<Edit> edits;
    size_t length;  // the file cut or stretched to this after the edits
    Lines lines;
    double duration;        // -1 when refused
    int32_t dataSize = 0;   // checked when accepted
};

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderCheck, LinesResultAndRepairs)
{
    test::TempDir dir;
    Bytes bytes = Base();
    for (const Edit& e : GetParam().edits) {
        if (e.at == 20 || e.at == 22 || e.at == 32 || e.at == 34) {
            StoreLE16(bytes.data() + e.at, static_cast<int16_t>(e.value));
        } else {
            Put32(bytes, e.at, e.value);
        }
    }
    bytes.resize(GetParam().length);
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
constexpr int32_t kLowerCaseRiff = 0x66666972;

const HeaderCase kHeaders[] = {
    {"Good", {}, 256, {}, kFull, 200},
    {"Empty", {}, 0, {"No RIFF header"}, -1},
    {"LowerCaseRiff", {{0, kLowerCaseRiff}}, 256, {"No RIFF header"}, -1},
    // The size is read from the two bytes there are.
    {"CutAfterRiffId", {{4, 263}}, 6, {"Bad file size info: 263", "No WAVE header"}, -1},
    {"NoFmt", {{12, 0}}, 256, {"No fmt  header"}, -1},
    {"FmtOf15", {{16, 15}}, 256, {"Bad fmt  header"}, -1},
    {"CutInsideFmt", {{4, 22}}, 30, {"Bad fmt  header"}, -1},
    {"SixChannels", {{22, 6}}, 256, {"6 rather than 1 or 2 channels"}, -1},
    {"BlockAlignZero", {{32, 0}}, 256, {"Bad block align: 0"}, -1},
    {"ByteRateZero", {{28, 0}}, 256, {"Bad byte rate: 0"}, -1},
    {"NoDataChunk", {{48, 0}}, 256, {"No data chunk"}, -1},
    {"EndsInChunkHeader", {{4, 44}}, 52, {"No data chunk"}, -1},
    // 36 + 8 + size passes 2^31; a negative size would loop on itself.
    {"ChunkPastTheEnd", {{40, 0x7FFFFFFF}}, 256, {"Bad chunk size"}, -1},
    {"ChunkSizeNegative", {{40, -8}}, 256, {"Bad chunk size"}, -1},
    {"RiffSizeZero", {{4, 0}}, 256,
     {"Bad file size info: 0", "File size info corrected to: 248"}, kFull, 200},
    {"RiffSizeTooLarge", {{4, 1000248}}, 256,
     {"Bad file size info: 1000248", "File size info corrected to: 248"}, kFull, 200},
    // Stereo with 203 bytes after the data header: cut to 200, whole frames of four bytes.
    {"DataCutToWholeFrames", {{22, 2}, {28, 176400}, {32, 4}, {4, 251}, {52, 4000}}, 259,
     {"Bad data size", "Data size corrected"}, 200.0 / 176400, 200},
    // All bits set, as recorders write while streaming: negative, so left alone here.
    {"DataSizeTopBit", {{52, -1}}, 256, {}, -1.0 / 88200, -1},
    {"EmptyDataThenTrailer", {{52, 0}}, 256, {}, 0, 0},
    // Neither the format tag nor the sample size is checked here.
    {"OtherFormatsPass", {{20, 0xFFFE}, {34, 8}}, 256, {}, kFull, 200},
};

INSTANTIATE_TEST_SUITE_P(Files, HeaderCheck, ::testing::ValuesIn(kHeaders),
                         test::RowName());

TEST(WavTime, ChunkWalkFindsTheSamples)
{
    const struct {
        int32_t fmtSize;
        std::vector<test::Chunk> before;
        int32_t dataStart;
    } walks[] = {
        {18, {}, 46},
        {16, {{"LIST", Bytes(26, 'a')}, {"fact", Bytes(4, 0)}}, 90},
        {16, {{"junk", Bytes(3, 'j')}}, 55},  // an odd size is followed by no pad byte
    };
    test::TempDir dir;
    for (const auto& walk : walks) {
        SCOPED_TRACE(walk.dataStart);
        test::WavLayout layout;
        layout.fmtSize = walk.fmtSize;
        layout.before = walk.before;
        const Bytes bytes = test::BuildWav(layout, test::Noise(3, 100, 50));
        const Checked result = Check(dir, bytes);
        EXPECT_TRUE(result.lines.empty());
        EXPECT_EQ(result.info.DataStart, walk.dataStart);
        EXPECT_EQ(result.info.DataSize, 100);
        EXPECT_EQ(result.after, bytes);
    }
}

TEST(WavTime, FileErrorsFilesTooLongAndReadOnlyFiles)
{
    test::TempDir dir;
    test::RecordingHost host;
    Context ctx(host);
    EXPECT_EQ(WavTime(ctx.host, ctx.wav, dir.File("absent.wav")), -1);
    // A sparse file of 3 GiB takes no disk space for its hole.
    const std::string path = dir.File("in.wav");
    test::WriteAllBytes(path, Base());
    std::filesystem::resize_file(path, 3LL << 30);
    EXPECT_EQ(WavTime(ctx.host, ctx.wav, path), -1);
    EXPECT_EQ(host.lines, (Lines{"53: File not found", "File too large"}));

    // A read-only file is examined; only a repair it needs fails.
    Bytes bytes = Base();
    test::WriteAllBytes(path, bytes);
    Put32(bytes, 4, 100);
    const std::string bad = dir.File("bad.wav");
    test::WriteAllBytes(bad, bytes);
    test::ReadOnlyFile locked(path);
    test::ReadOnlyFile lockedBad(bad);
    if (!locked.WritesRefused()) GTEST_SKIP() << "cannot take write access away here";
    host.lines.clear();
    EXPECT_DOUBLE_EQ(WavTime(ctx.host, ctx.wav, path), kFull);
    EXPECT_EQ(WavTime(ctx.host, ctx.wav, bad), -1);
    EXPECT_EQ(host.lines, (Lines{"Bad file size info: 100", "70: Permission denied"}));
    EXPECT_EQ(test::ReadAllBytes(bad), bytes);
}

// Every cut of a file, and random bytes after "RIFF": WavTime returns, always says why it
// refuses, and repairs nothing but the two size fields.
TEST(WavTime, DamagedFilesAreHandled)
{
    test::TempDir dir;
    const Bytes whole = Base();
    std::vector<Bytes> inputs;
    for (size_t length = 0; length <= whole.size(); ++length) {
        inputs.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        Bytes bytes = whole;
        bytes.resize(4 + random() % 120);
        // Half of them keep the fixed identifiers, so the walk gets past the first checks.
        for (size_t i = round % 2 == 0 ? 36 : 4; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(random());
        }
        inputs.push_back(bytes);
    }
    for (const Bytes& input : inputs) {
        SCOPED_TRACE(input.size());
        const Checked result = Check(dir, input);
        EXPECT_TRUE(result.duration >= 0 || !result.lines.empty());
        ExpectOnlySizeFieldsRepaired(input, result);
        const int64_t end = int64_t{result.info.DataStart} + result.info.DataSize;
        if (result.duration >= 0 && result.info.DataSize > 0) {
            EXPECT_LE(end, static_cast<int64_t>(input.size()));
        }
    }
}

}  // namespace
}  // namespace varnook
