#include "editing/truncate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace varnook {
namespace {

// A longer length grows the file by zero bytes. Refusals leave the file as it was; a file
// another writer holds is refused too, which the trim tests meet as a failed cut.
TEST(TruncateFile, EndsTheFileThereOrRefusesAndLeavesItAlone)
{
    test::TempDir dir;
    const std::string path = dir.File("work.wav");
    std::vector<uint8_t> original(1000);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7 + 1);
    for (const int32_t newLength : {600, 1500, 0, -1}) {
        SCOPED_TRACE(newLength);
        test::WriteAllBytes(path, original);
        EXPECT_EQ(TruncateFile(path, newLength), newLength >= 0);
        auto expected = original;
        if (newLength >= 0) expected.resize(static_cast<size_t>(newLength), 0);
        EXPECT_EQ(test::ReadAllBytes(path), expected);
    }
    EXPECT_FALSE(TruncateFile(dir.File("missing.wav"), 10));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.wav")));
    EXPECT_FALSE(TruncateFile(dir.Path().string(), 10));
}

}  // namespace
}  // namespace varnook
