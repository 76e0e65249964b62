// Inputs the fuzzer found, kept as named regressions.
#include <gtest/gtest.h>

#include <string>

#include "settings/ini_file.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

// A value of one letter followed by stray UTF-8 continuation bytes once counted as a single
// character, so the 254-character cut let thousands of bytes through.
TEST(IniFuzzRegression, StrayContinuationBytesCountOneCharacterEach)
{
    test::TempDir dir;
    const std::string ini = dir.File("varnook.ini");
    test::WriteText(ini, "[Values]\nArguments=a" + std::string(1000, '\xBF') + "\n");
    EXPECT_EQ(ReadIni(ini, "Values", "Arguments", "-h").size(), 254u);
    // Well-formed two-byte characters still count one each and are never split.
    test::WriteText(ini, "[Values]\nArguments=" + std::string(300, 'x').replace(0, 0, "\xC3\xA9") + "\n");
    const std::string cut = ReadIni(ini, "Values", "Arguments", "-h");
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.substr(0, 2), "\xC3\xA9");
}

}  // namespace
}  // namespace varnook
