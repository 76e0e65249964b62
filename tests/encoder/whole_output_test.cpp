#include "encoder/whole_output.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace varnook {
namespace {

using Bytes = std::vector<uint8_t>;

// An Info frame counting 5 frames after it (and their bytes), then `frames` plain frames of
// MPEG 1 layer III at 128 kbit/s and 44.1 kHz (417 bytes each), and an ID3v1 tag when asked.
Bytes Stream(size_t frames, bool id3v1)
{
    constexpr size_t kFrame = 417;
    constexpr size_t kInfoAt = 36;  // after the header and a stereo side information
    Bytes stream((frames + 1) * kFrame, 0);
    for (size_t at = 0; at < stream.size(); at += kFrame) std::copy_n("\xFF\xFB\x90\x64", 4, stream.begin() + at);
    std::copy_n("Info\0\0\0\x03\0\0\0\x05\0\0\x09\xC6", 16, stream.begin() + kInfoAt);  // 6 * 417 bytes
    if (id3v1) stream.insert(stream.end(), {'T', 'A', 'G'}), stream.resize(stream.size() + 125, 0);
    return stream;
}

// A disk cuts a file at a page, anywhere in a frame or at its end; only the Info frame's counts
// can tell a stream cut at a frame boundary from a whole one.
TEST(Mp3OutputWhole, EndsOnTheFramesItsInfoFrameCounts)
{
    const Bytes tagged = Stream(5, true);
    for (const auto& [name, bytes, whole] : std::vector<std::tuple<const char*, Bytes, bool>>{
             {"whole", Stream(5, false), true},
             {"whole with ID3v1", tagged, true},
             {"cut inside a frame", Bytes(tagged.begin(), tagged.end() - 200), false},
             {"cut at a frame boundary", Stream(4, false), false},
             {"cut inside the ID3v1 tag", Bytes(tagged.begin(), tagged.end() - 1), false}}) {
        test::TempDir dir;
        test::WriteAllBytes(dir.File("out.mp3"), bytes);
        EXPECT_EQ(Mp3OutputWhole(dir.File("out.mp3")), whole) << name;
    }
}

}  // namespace
}  // namespace varnook
