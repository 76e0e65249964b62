#include "io/errors.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/recording_host.h"

namespace varnook {
namespace {

// The common file errors (53, 61, 70) show in the steps' own tests; here the rarer ones and the
// box an unexpected error shows before it is raised again.
TEST(FileErrors, RareNumbersAndTheUnexpectedErrorsBox)
{
    EXPECT_EQ(FileErrorFromErrno(ENOTDIR).LogText(), "76: Path not found");
    EXPECT_EQ(FileErrorFromErrno(EXDEV).LogText(), "74: Can't rename with different drive");
    test::RecordingHost host;
    try {
        throw ProgramError(program_errors::kDivisionByZero, "Division by zero");
    } catch (...) {
        EXPECT_THROW(ShowErrorBoxAndRethrow(host, "WavTime"), ProgramError);
    }
    EXPECT_EQ(host.errorBoxes, std::vector<std::string>{"'WavTime' Error Number: 11\r\nDivision by zero"});
}

}  // namespace
}  // namespace varnook
