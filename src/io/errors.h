// Error model shared by every step.
//
// File errors (numbers 52 to 76) are expected: a step catches FileError where its guarded
// stretch ends, logs "<number>: <text>" and returns failure. Anything else is a ProgramError (or
// a standard exception): the step shows the error box "'<Step>' Error Number: ..." and rethrows,
// and the caller of ProcessFile logs it and goes on with the next file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace varnook {

class Host;

class FileError : public std::runtime_error {
public:
    FileError(int number, std::string description);

    int Number() const { return number_; }
    const std::string& Description() const { return description_; }
    // The status line a step logs for it: "53: File not found".
    std::string LogText() const;

private:
    int number_;
    std::string description_;
};

// The standard texts of the file error numbers we use.
namespace file_errors {
inline constexpr int kBadFileName = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIo = 57;
inline constexpr int kFileExists = 58;
inline constexpr int kDiskFull = 61;
inline constexpr int kInputPastEnd = 62;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kRenameAcrossDevices = 74;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
}  // namespace file_errors

// The standard text for a file error number ("File not found" for 53).
std::string FileErrorText(int number);
// A FileError for a failed system call's errno.
FileError FileErrorFromErrno(int err);
// Throws FileErrorFromErrno(errno).
[[noreturn]] void ThrowFileErrorFromErrno();

// An error that is not a file error: a division by zero in a malformed file, an overflow, an
// internal fault. Its number follows the same table of run-time error numbers (11 division by
// zero, 6 overflow, 7 out of memory, 5 invalid argument, 9 subscript out of range, 51 internal).
class ProgramError : public std::runtime_error {
public:
    ProgramError(int number, std::string description);

    int Number() const { return number_; }
    const std::string& Description() const { return description_; }

private:
    int number_;
    std::string description_;
};

namespace program_errors {
inline constexpr int kInvalidArgument = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kInternal = 51;
}  // namespace program_errors

// The number and text of the exception in flight; call only inside a catch block.
struct ErrorDescription {
    int number;
    std::string text;
};
ErrorDescription DescribeCurrentException();

// The text of the error box for an unexpected error in `procedure`:
// "'Leveled' Error Number: 11\r\nDivision by zero".
std::string ErrorBoxText(std::string_view procedure, int number, std::string_view text);

// Shows the error box for the exception in flight and rethrows it. Call only inside a catch
// block that did not catch a FileError the step handles itself.
[[noreturn]] void ShowErrorBoxAndRethrow(Host& host, std::string_view procedure);

}  // namespace varnook
