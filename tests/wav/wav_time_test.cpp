#include "wav/wav_time.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "control/context.h"
#include "io/byte_order.h"
#include "support/read_only.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A 16-bit mono file of 100 samples: 44 header bytes, 200 data bytes, 244 in all.
Bytes GoodMono()
{
    return test::BuildWav(test::WavLayout{}, test::Noise(1, 1000, 100));
}

void Put32(Bytes& bytes, size_t at, int32_t value)
{
    StoreLE32(bytes.data() + at, value);
}

void Put16(Bytes& bytes, size_t at, int16_t value)
{
    StoreLE16(bytes.data() + at, value);
}

void PutId(Bytes& bytes, size_t at, const char* id)
{
    std::copy(id, id + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

struct Checked {
    double duration;
    Lines lines;
    Bytes after;
};

class WavTimeTest : public ::testing::Test {
protected:
    Checked Check(const Bytes& bytes)
    {
        const std::string path = dir.File("in.wav");
        test::WriteAllBytes(path, bytes);
        test::RecordingHost host;
        Context ctx(host);
        const double duration = WavTime(ctx, path);
        info = ctx.wav;
        EXPECT_TRUE(host.errorBoxes.empty());
        return {duration, host.lines, test::ReadAllBytes(path)};
    }

    test::TempDir dir;
    WavInfo info;
};

// Files that are refused: the lines say what is wrong, the result is -1 and not a byte changes.
struct RefusedCase {
    const char* name;
    std::function<Bytes()> make;
    Lines lines;
};

class RefusedFiles : public WavTimeTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFiles, LogTheFaultAndLeaveTheFileAlone)
{
    const Bytes bytes = GetParam().make();
    const Checked result = Check(bytes);
    EXPECT_EQ(result.duration, -1);
    EXPECT_EQ(result.lines, GetParam().lines);
    EXPECT_EQ(result.after, bytes);
}

const RefusedCase kRefused[] = {
    {"Empty", [] { return Bytes{}; }, {"No RIFF header"}},
    {"ShorterThanAnId", [] { return Text("RIF"); }, {"No RIFF header"}},
    {"Mp3Named", [] { return Text("ID3\x03\x00\x00\x00\x00\x00\x0a and then some frames"); }, {"No RIFF header"}},
    {"LowerCaseRiff", [] { Bytes b = GoodMono(); PutId(b, 0, "riff"); return b; }, {"No RIFF header"}},
    {"CutAfterRiffId",
     [] { return Text("RIFF\x07\x01"); },
     {"Bad file size info: 263", "No WAVE header"}},
    {"BadSizeAndNoWave",
     [] { Bytes b = GoodMono(); Put32(b, 4, 241); PutId(b, 8, "AVI "); return b; },
     {"Bad file size info: 241", "No WAVE header"}},
    {"NoFmt", [] { Bytes b = GoodMono(); PutId(b, 12, "data"); return b; }, {"No fmt  header"}},
    {"FmtOf15", [] { Bytes b = GoodMono(); Put32(b, 16, 15); return b; }, {"Bad fmt  header"}},
    {"FmtSizeNegative", [] { Bytes b = GoodMono(); Put32(b, 16, -16); return b; }, {"Bad fmt  header"}},
    {"CutInsideFmt",
     [] { Bytes b = GoodMono(); b.resize(30); Put32(b, 4, 22); return b; },
     {"Bad fmt  header"}},
    {"SixChannels", [] { Bytes b = GoodMono(); Put16(b, 22, 6); return b; }, {"6 rather than 1 or 2 channels"}},
    {"NoChannels", [] { Bytes b = GoodMono(); Put16(b, 22, 0); return b; }, {"0 rather than 1 or 2 channels"}},
    {"NegativeChannels", [] { Bytes b = GoodMono(); Put16(b, 22, -1); return b; }, {"-1 rather than 1 or 2 channels"}},
    {"BlockAlignZero", [] { Bytes b = GoodMono(); Put16(b, 32, 0); return b; }, {"Bad block align: 0"}},
    {"ByteRateZero", [] { Bytes b = GoodMono(); Put32(b, 28, 0); return b; }, {"Bad byte rate: 0"}},
    {"NoDataChunk", [] { Bytes b = GoodMono(); PutId(b, 36, "dat "); return b; }, {"No data chunk"}},
    {"EndsInsideAChunkHeader",
     [] { Bytes b = GoodMono(); b.resize(40); Put32(b, 4, 32); return b; },
     {"No data chunk"}},
    {"ChunkSizeRunsPastTheEnd",
     [] {
         test::WavLayout layout;
         layout.before = {{"LIST", Bytes(4, 'x')}};
         Bytes b = test::BuildWav(layout, test::Silence(10));
         Put32(b, 40, 0x7FFFFFFF);  // 36 + 8 + size overflows 32 bits
         return b;
     },
     {"Bad chunk size"}},
    {"ChunkSizeNegative",
     [] {
         test::WavLayout layout;
         layout.before = {{"LIST", Bytes(4, 'x')}};
         Bytes b = test::BuildWav(layout, test::Silence(10));
         Put32(b, 40, -8);  // would step back onto itself for ever
         return b;
     },
     {"Bad chunk size"}},
    {"FmtSizeRunsPastTheEnd",
     [] { Bytes b = GoodMono(); Put32(b, 16, 0x7FFFFFF0); return b; },
     {"Bad chunk size"}},
};

INSTANTIATE_TEST_SUITE_P(Header, RefusedFiles, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavTimeTest, GoodFileFillsTheRecordWithoutALine)
{
    test::WavLayout layout;
    layout.channels = 2;
    layout.sampleRate = 48000;
    const Bytes bytes = test::BuildWav(layout, test::Noise(2, 500, 960));  // 480 frames, 10 ms
    const Checked result = Check(bytes);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_DOUBLE_EQ(result.duration, 0.01);
    EXPECT_EQ(result.after, bytes);
    EXPECT_EQ(info.FormatTag, 1);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.SampleRate, 48000);
    EXPECT_EQ(info.ByteRate, 192000);
    EXPECT_EQ(info.BlockAlign, 4);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.RiffSize, static_cast<int32_t>(bytes.size() - 8));
    EXPECT_EQ(info.FmtSize, 16);
    EXPECT_EQ(info.DataStart, 44);
    EXPECT_EQ(info.DataSize, 1920);
}

// Where the samples start for layouts the chunk walk must step through.
struct LayoutCase {
    const char* name;
    std::function<test::WavLayout()> make;
    int32_t dataStart;
};

class ChunkWalk : public WavTimeTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(ChunkWalk, FindsTheSamples)
{
    const Bytes bytes = test::BuildWav(GetParam().make(), test::Noise(3, 100, 50));
    const Checked result = Check(bytes);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(info.DataStart, GetParam().dataStart);
    EXPECT_EQ(info.DataSize, 100);
    EXPECT_EQ(result.after, bytes);
}

const LayoutCase kLayouts[] = {
    {"Fmt18", [] { test::WavLayout l; l.fmtSize = 18; return l; }, 46},
    {"Fmt40", [] { test::WavLayout l; l.fmtSize = 40; return l; }, 68},
    {"ListAndFact",
     [] { test::WavLayout l; l.before = {{"LIST", Bytes(26, 'a')}, {"fact", Bytes(4, 0)}}; return l; },
     44 + 34 + 12},
    // An odd size is followed directly by the next chunk: no pad byte is skipped.
    {"OddChunkWithoutPad", [] { test::WavLayout l; l.before = {{"junk", Bytes(3, 'j')}}; return l; }, 44 + 11},
    {"TrailingChunk", [] { test::WavLayout l; l.after = {{"LIST", Bytes(30, 't')}}; return l; }, 44},
};

INSTANTIATE_TEST_SUITE_P(Layouts, ChunkWalk, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavTimeTest, WrongRiffSizeIsRepairedInPlace)
{
    for (int32_t delta : {-236, -1, 1, 1000000}) {
        SCOPED_TRACE(delta);
        Bytes bytes = GoodMono();
        const int32_t stored = 236 + delta;
        Put32(bytes, 4, stored);
        const Checked result = Check(bytes);
        EXPECT_EQ(result.lines, (Lines{"Bad file size info: " + std::to_string(stored), "File size info corrected to: 236"}));
        EXPECT_GT(result.duration, 0);
        EXPECT_EQ(info.RiffSize, 236);
        Put32(bytes, 4, 236);
        EXPECT_EQ(result.after, bytes);  // the field and nothing else
    }
}

TEST_F(WavTimeTest, DataSizeBeyondTheFileIsCutToWholeFrames)
{
    // Stereo 16-bit: 1001 bytes follow the data header, so 250 whole frames remain.
    test::WavLayout layout;
    layout.channels = 2;
    Bytes bytes = test::BuildWav(layout, test::Noise(4, 1000, 500));
    bytes.push_back(0x55);
    Put32(bytes, 4, static_cast<int32_t>(bytes.size() - 8));
    Put32(bytes, 40, 4000);
    const Checked result = Check(bytes);
    EXPECT_EQ(result.lines, (Lines{"Bad data size", "Data size corrected"}));
    EXPECT_EQ(info.DataSize, 1000);
    EXPECT_DOUBLE_EQ(result.duration, 1000.0 / 176400);
    Put32(bytes, 40, 1000);
    EXPECT_EQ(result.after, bytes);
}

TEST_F(WavTimeTest, TopBitOfTheDataSizeMakesTheDurationNegative)
{
    Bytes bytes = GoodMono();
    Put32(bytes, 40, -1);  // all bits set, as a recorder writes while streaming
    const Checked result = Check(bytes);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_LT(result.duration, 0);
    EXPECT_EQ(info.DataSize, -1);
    EXPECT_EQ(result.after, bytes);
}

TEST_F(WavTimeTest, OtherFormatsPassForTheCallerToRefuse)
{
    struct Format {
        int16_t tag, bits;
    };
    for (Format f : {Format{1, 8}, Format{3, 32}, Format{static_cast<int16_t>(0xFFFE), 16}}) {
        SCOPED_TRACE(f.tag);
        test::WavLayout layout;
        layout.formatTag = f.tag;
        layout.bitsPerSample = f.bits;
        const Checked result = Check(test::BuildWav(layout, test::Silence(64)));
        EXPECT_TRUE(result.lines.empty());
        EXPECT_GT(result.duration, 0);
        EXPECT_EQ(info.FormatTag, f.tag);
        EXPECT_EQ(info.BitsPerSample, f.bits);
    }
}

TEST_F(WavTimeTest, EmptyDataChunkLastsNoTime)
{
    const Checked result = Check(test::BuildWav(test::WavLayout{}, {}));
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(result.duration, 0);
}

TEST_F(WavTimeTest, MissingFileIsAFileError)
{
    test::RecordingHost host;
    Context ctx(host);
    EXPECT_EQ(WavTime(ctx, dir.File("absent.wav")), -1);
    EXPECT_EQ(host.lines, Lines{"53: File not found"});
}

TEST_F(WavTimeTest, ReadOnlyFileIsExaminedAndOnlyANeededRepairFails)
{
    const std::string path = dir.File("locked.wav");
    Bytes good = GoodMono();
    Bytes badSize = good;
    Put32(badSize, 4, 100);

    test::WriteAllBytes(path, good);
    {
        test::ReadOnlyFile locked(path);
        if (!locked.WritesRefused()) GTEST_SKIP() << "cannot take write access away here";
        test::RecordingHost host;
        Context ctx(host);
        EXPECT_GT(WavTime(ctx, path), 0);
        EXPECT_TRUE(host.lines.empty());
    }

    test::WriteAllBytes(path, badSize);
    {
        test::ReadOnlyFile locked(path);
        test::RecordingHost host;
        Context ctx(host);
        EXPECT_EQ(WavTime(ctx, path), -1);
        EXPECT_EQ(host.lines, (Lines{"Bad file size info: 100", "70: Permission denied"}));
    }
    EXPECT_EQ(test::ReadAllBytes(path), badSize);
}

TEST_F(WavTimeTest, FileTooLongForThirtyTwoBitSizesIsRefused)
{
    // A sparse file of 3 GiB: no disk space is used for the hole.
    const std::string path = dir.File("huge.wav");
    test::WriteAllBytes(path, GoodMono());
    std::filesystem::resize_file(path, 3LL << 30);
    test::RecordingHost host;
    Context ctx(host);
    EXPECT_EQ(WavTime(ctx, path), -1);
    EXPECT_EQ(host.lines, Lines{"File too large"});
    EXPECT_EQ(std::filesystem::file_size(path), 3ULL << 30);
}

// Whatever the bytes, WavTime returns, keeps the file's length and writes nowhere but the two
// size fields. Every cut of a good file, and random bytes after "RIFF".
void ExpectOnlySizeFieldsChanged(const Bytes& before, const Checked& result, const WavInfo& info)
{
    ASSERT_EQ(result.after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        if (result.after[i] == before[i]) continue;
        const bool riffSize = i >= 4 && i < 8;
        const bool dataSize = info.DataStart >= 4 && i >= static_cast<size_t>(info.DataStart) - 4 &&
                              i < static_cast<size_t>(info.DataStart);
        ASSERT_TRUE(riffSize || dataSize) << "byte " << i << " changed";
    }
}

TEST_F(WavTimeTest, EveryCutOfAFileIsHandled)
{
    test::WavLayout layout;
    layout.channels = 2;
    layout.before = {{"LIST", Bytes(9, 'l')}};
    const Bytes whole = test::BuildWav(layout, test::Noise(5, 3000, 40));
    for (size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const Checked result = Check(cut);
        ASSERT_FALSE(result.lines.empty() && result.duration < 0);  // a refusal always says why
        ExpectOnlySizeFieldsChanged(cut, result, info);
        if (result.duration >= 0) {
            EXPECT_LE(static_cast<int64_t>(info.DataStart) + info.DataSize, static_cast<int64_t>(length));
            EXPECT_EQ(info.DataSize % 4, 0);
        }
    }
}

TEST_F(WavTimeTest, RandomBytesAfterRiffAreHandled)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        Bytes bytes = Text("RIFF");
        const size_t length = 4 + random() % 120;
        while (bytes.size() < length) bytes.push_back(static_cast<uint8_t>(random()));
        // Keep the fixed identifiers now and then, so the walk gets past the first checks.
        if (round % 2 == 0 && bytes.size() >= 36) {
            PutId(bytes, 8, "WAVE");
            PutId(bytes, 12, "fmt ");
            Put32(bytes, 16, 16 + static_cast<int32_t>(random() % 8));
            Put16(bytes, 22, static_cast<int16_t>(1 + random() % 2));
            if (round % 4 == 0 && bytes.size() >= 56) PutId(bytes, 44 + random() % 8, "data");
        }
        const Checked result = Check(bytes);
        ExpectOnlySizeFieldsChanged(bytes, result, info);
    }
}

}  // namespace
}  // namespace varnook
