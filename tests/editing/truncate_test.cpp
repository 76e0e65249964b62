#include "editing/truncate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/param_name.h"
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

struct LengthCase {
    const char* name;
    int32_t newLength;
};
void PrintTo(const LengthCase& row, std::ostream* os) { *os << row.name; }

class TruncateLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(TruncateLength, EndsTheFileThereAndKeepsTheBytesBefore)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    const auto original = Counting(1000);
    test::WriteAllBytes(path, original);

    const int32_t newLength = GetParam().newLength;
    ASSERT_TRUE(TruncateFile(path, newLength));

    const auto after = test::ReadAllBytes(path);
    ASSERT_EQ(after.size(), static_cast<size_t>(newLength));
    const size_t kept = std::min(after.size(), original.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + static_cast<ptrdiff_t>(kept), original.begin()));
    // Growing a file fills the new room with zero bytes, which the trim step relies on never
    // seeing: it writes every byte up to the new end itself.
    for (size_t i = kept; i < after.size(); ++i) ASSERT_EQ(after[i], 0) << "at " << i;
}

INSTANTIATE_TEST_SUITE_P(Lengths, TruncateLength,
                         ::testing::Values(LengthCase{"Shorter", 600}, LengthCase{"Same", 1000},
                                           LengthCase{"Longer", 1500}, LengthCase{"Empty", 0}),
                         test::RowName());

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
