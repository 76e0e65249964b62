#include "encoder/whole_output.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

using Bytes = std::vector<uint8_t>;

// MPEG 1 layer III, 128 kbit/s, 44.1 kHz, joint stereo, no padding: 417-byte frames.
constexpr uint8_t kFrameHeader[] = {0xFF, 0xFB, 0x90, 0x64};
constexpr size_t kFrameBytes = 417;
constexpr size_t kInfoAt = 36;  // after the header and a stereo MPEG 1 side information

void PutBE32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// An Info frame counting `frames` frames after it, then `audio` plain frames, as lame lays
// them out; wrapped in an ID3v2 tag and followed by an ID3v1 tag when asked.
Bytes Stream(uint32_t frames, size_t audio, bool tags)
{
    Bytes stream((audio + 1) * kFrameBytes, 0);
    for (size_t f = 0; f <= audio; ++f) std::copy(std::begin(kFrameHeader), std::end(kFrameHeader), stream.begin() + f * kFrameBytes);
    std::copy_n("Info", 4, stream.begin() + kInfoAt);
    PutBE32(stream, kInfoAt + 4, 3);  // frame and byte counts present
    PutBE32(stream, kInfoAt + 8, frames);
    PutBE32(stream, kInfoAt + 12, static_cast<uint32_t>((frames + 1) * kFrameBytes));
    if (!tags) return stream;
    Bytes file{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    file.resize(file.size() + 20, 0);
    file.insert(file.end(), stream.begin(), stream.end());
    Bytes v1(128, 0);
    std::copy_n("TAG", 3, v1.begin());
    file.insert(file.end(), v1.begin(), v1.end());
    return file;
}

TEST(WholeOutput, Mp3MustEndOnTheFramesItsInfoFrameCounts)
{
    struct Row {
        const char* name;
        Bytes bytes;
        bool whole;
    };
    const Bytes whole = Stream(5, 5, false);
    const Bytes tagged = Stream(5, 5, true);
    for (const Row& row : std::vector<Row>{
             {"whole", whole, true},
             {"whole with tags", tagged, true},
             {"cut inside a frame", Bytes(whole.begin(), whole.end() - 100), false},
             {"cut at a frame boundary", Stream(5, 4, false), false},
             {"cut inside the ID3v1 tag", Bytes(tagged.begin(), tagged.end() - 1), false},
             {"empty", {}, false}}) {
        test::TempDir dir;
        test::WriteAllBytes(dir.File("out.mp3"), row.bytes);
        EXPECT_EQ(Mp3OutputWhole(dir.File("out.mp3")), row.whole) << row.name;
    }
}

// lame rewrites the header at the end with every sample it decoded, written or not.
TEST(WholeOutput, WavMustHoldTheDataItsHeaderCounts)
{
    const Bytes wav = test::BuildWav({}, test::Sine(440, 6000, 44100, 1000));
    test::TempDir dir;
    for (const auto& [bytes, whole] : std::vector<std::pair<Bytes, bool>>{
             {wav, true}, {Bytes(wav.begin(), wav.end() - 2), false}, {Bytes(wav.begin(), wav.begin() + 40), false}}) {
        test::WriteAllBytes(dir.File("out.wav"), bytes);
        EXPECT_EQ(WavOutputWhole(dir.File("out.wav")), whole) << bytes.size() << " bytes";
    }
}

}  // namespace
}  // namespace varnook
