#include "io/errors.h"

#include <cerrno>
#include <exception>
#include <new>

#include "base/host.h"

namespace varnook {

FileError::FileError(int number, std::string description)
    : std::runtime_error(std::to_string(number) + ": " + description),
      number_(number),
      description_(std::move(description))
{
}

std::string FileError::LogText() const
{
    return std::to_string(number_) + ": " + description_;
}

std::string FileErrorText(int number)
{
    using namespace file_errors;
    switch (number) {
    case kBadFileName: return "Bad file name or number";
    case kFileNotFound: return "File not found";
    case kFileAlreadyOpen: return "File already open";
    case kDeviceIo: return "Device I/O error";
    case kFileExists: return "File already exists";
    case kDiskFull: return "Disk full";
    case kInputPastEnd: return "Input past end of file";
    case kTooManyFiles: return "Too many files";
    case kPermissionDenied: return "Permission denied";
    case kRenameAcrossDevices: return "Can't rename with different drive";
    case kPathFileAccess: return "Path/File access error";
    case kPathNotFound: return "Path not found";
    default: return "File error";
    }
}

FileError FileErrorFromErrno(int err)
{
    using namespace file_errors;
    int number = kPathFileAccess;
    switch (err) {
    case ENOENT: number = kFileNotFound; break;
    case ENOTDIR: number = kPathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: number = kPermissionDenied; break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: number = kDiskFull; break;
    case EIO: number = kDeviceIo; break;
    case EEXIST: number = kFileExists; break;
    case EMFILE:
    case ENFILE: number = kTooManyFiles; break;
    case EXDEV: number = kRenameAcrossDevices; break;
    case ENAMETOOLONG:
    case EBADF:
    case EINVAL: number = kBadFileName; break;
    default: number = kPathFileAccess; break;
    }
    return FileError(number, FileErrorText(number));
}

void ThrowFileErrorFromErrno()
{
    throw FileErrorFromErrno(errno);
}

ProgramError::ProgramError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description))
{
}

ErrorDescription DescribeCurrentException()
{
    try {
        throw;
    } catch (const FileError& e) {
        return {e.Number(), e.Description()};
    } catch (const ProgramError& e) {
        return {e.Number(), e.Description()};
    } catch (const std::bad_alloc&) {
        return {program_errors::kOutOfMemory, "Out of memory"};
    } catch (const std::exception& e) {
        return {program_errors::kInternal, e.what()};
    } catch (...) {
        return {program_errors::kInternal, "Unknown error"};
    }
}

std::string ErrorBoxText(std::string_view procedure, int number, std::string_view text)
{
    std::string box = "'";
    box += procedure;
    box += "' Error Number: ";
    box += std::to_string(number);
    box += "\r\n";
    box += text;
    return box;
}

void ShowErrorBoxAndRethrow(Host& host, std::string_view procedure)
{
    std::exception_ptr inFlight = std::current_exception();
    const ErrorDescription error = DescribeCurrentException();
    host.ErrorBox(ErrorBoxText(procedure, error.number, error.text));
    std::rethrow_exception(inFlight);
}

}  // namespace varnook
