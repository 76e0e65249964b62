#include "editing/truncate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/read_only.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

std::vector<uint8_t> Counting(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

TEST(TruncateFile, EndsTheFileThereAndKeepsTheBytesBefore)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    const auto original = Counting(1000);
    for (const int32_t newLength : {600, 1000, 1500, 0}) {
        SCOPED_TRACE(newLength);
        test::WriteAllBytes(path, original);
        ASSERT_TRUE(TruncateFile(path, newLength));

        auto expected = original;
        expected.resize(static_cast<size_t>(newLength), 0);  // a longer file grows by zero bytes
        EXPECT_EQ(test::ReadAllBytes(path), expected);
    }
}

TEST(TruncateFile, RefusesWhatItCannotOpenOrALengthBelowZero)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    test::WriteAllBytes(path, Counting(100));

    EXPECT_FALSE(TruncateFile(dir.File("missing.wav"), 10));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.wav")));
    EXPECT_FALSE(TruncateFile(dir.Path().string(), 10));
    EXPECT_FALSE(TruncateFile("", 10));
    EXPECT_FALSE(TruncateFile(path, -1));
    EXPECT_EQ(test::ReadAllBytes(path), Counting(100));

    test::ReadOnlyFile locked(path);
    if (!locked.WritesRefused()) GTEST_SKIP() << "this environment cannot take the write right away";
    EXPECT_FALSE(TruncateFile(path, 10));
    EXPECT_EQ(test::ReadAllBytes(path), Counting(100));
}

TEST(TruncateFile, RefusesAFileAnotherWriterHoldsAndWorksOnceItLetsGo)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    test::WriteAllBytes(path, Counting(100));

    const int other = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(TruncateFile(path, 10));
    EXPECT_EQ(test::ReadAllBytes(path).size(), 100u);

    ::close(other);
    EXPECT_TRUE(TruncateFile(path, 10));
    EXPECT_EQ(test::ReadAllBytes(path).size(), 10u);
}

}  // namespace
}  // namespace varnook
