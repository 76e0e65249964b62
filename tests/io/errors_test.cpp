#include "io/errors.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/recording_host.h"

namespace varnook {
namespace {

TEST(FileErrors, ErrnoMapsToTheProgramsNumbersAndTexts)
{
    EXPECT_EQ(FileErrorFromErrno(ENOENT).LogText(), "53: File not found");
    EXPECT_EQ(FileErrorFromErrno(EACCES).LogText(), "70: Permission denied");
    EXPECT_EQ(FileErrorFromErrno(ENOSPC).LogText(), "61: Disk full");
    EXPECT_EQ(FileErrorFromErrno(ENOTDIR).LogText(), "76: Path not found");
    EXPECT_EQ(FileErrorFromErrno(EXDEV).LogText(), "74: Can't rename with different drive");
}

TEST(FileErrors, UnexpectedErrorShowsTheBoxAndIsRaisedAgain)
{
    test::RecordingHost host;
    EXPECT_THROW(
        {
            try {
                throw ProgramError(program_errors::kDivisionByZero, "Division by zero");
            } catch (...) {
                ShowErrorBoxAndRethrow(host, "WavTime");
            }
        },
        ProgramError);
    ASSERT_EQ(host.errorBoxes.size(), 1u);
    EXPECT_EQ(host.errorBoxes[0], "'WavTime' Error Number: 11\r\nDivision by zero");
}

}  // namespace
}  // namespace varnook
