#include "io/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/recording_host.h"

namespace varnook {
namespace {

// The common ones (53, 61, 70) show in the steps' own tests.
TEST(FileErrors, ErrnoMapsToTheProgramsNumbersAndTexts)
{
    EXPECT_EQ(FileErrorFromErrno(ENOTDIR).LogText(), "76: Path not found");
    EXPECT_EQ(FileErrorFromErrno(EXDEV).LogText(), "74: Can't rename with different drive");
}

TEST(FileErrors, UnexpectedErrorShowsTheBoxAndIsRaisedAgain)
{
    test::RecordingHost host;
    try {
        throw ProgramError(program_errors::kDivisionByZero, "Division by zero");
    } catch (...) {
        EXPECT_THROW(ShowErrorBoxAndRethrow(host, "WavTime"), ProgramError);
    }
    const std::string box = "'WavTime' Error Number: 11\r\nDivision by zero";
    EXPECT_EQ(host.errorBoxes, std::vector<std::string>{box});
}

}  // namespace
}  // namespace varnook
