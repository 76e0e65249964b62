#include "editing/truncate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace varnook {
namespace {

TEST(TruncateFile, EndsTheFileThereOrRefusesAndLeavesItAlone)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    std::vector<uint8_t> original(1000);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7 + 1);
    for (const int32_t newLength : {600, 1500, 0}) {
        SCOPED_TRACE(newLength);
        test::WriteAllBytes(path, original);
        ASSERT_TRUE(TruncateFile(path, newLength));
        auto expected = original;
        expected.resize(static_cast<size_t>(newLength), 0);  // a longer file grows by zero bytes
        EXPECT_EQ(test::ReadAllBytes(path), expected);
    }

    // Refusals leave the file as it was. A file another writer holds is refused too: the trim
    // tests meet that as a failed cut.
    test::WriteAllBytes(path, original);
    EXPECT_FALSE(TruncateFile(path, -1));
    EXPECT_EQ(test::ReadAllBytes(path), original);
    EXPECT_FALSE(TruncateFile(dir.File("missing.wav"), 10));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.wav")));
    EXPECT_FALSE(TruncateFile(dir.Path().string(), 10));
}

}  // namespace
}  // namespace varnook
