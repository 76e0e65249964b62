#include "io/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "io/errors.h"

namespace varnook {

File::File(const std::string& path, Mode mode) : path_(path)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    // O_EXCL fails on a link at the name, dangling or not; O_NOFOLLOW says so twice.
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    }
    if (path.empty()) throw FileError(file_errors::kBadFileName, FileErrorText(file_errors::kBadFileName));
    // Opened without blocking: a FIFO in a file's place would otherwise wait in open() for a
    // writer that never comes, deaf to Ctrl+C. A FIFO or a socket cannot be read at a position
    // anyway, so they are refused; what is left (files, devices such as /dev/full) gets its
    // blocking mode back.
    do {
        fd_ = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) ThrowFileErrorFromErrno();
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ||
         ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd_);
        fd_ = -1;
        throw FileError(file_errors::kPathFileAccess, FileErrorText(file_errors::kPathFileAccess));
    }
}

File::~File()
{
    if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

int64_t File::Size() const
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ThrowFileErrorFromErrno();
    return static_cast<int64_t>(st.st_size);
}

size_t File::ReadAt(int64_t offset, std::span<uint8_t> buffer) const
{
    if (offset < 0) throw FileError(file_errors::kBadFileName, FileErrorText(file_errors::kBadFileName));
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileErrorFromErrno();
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void File::ReadExactAt(int64_t offset, std::span<uint8_t> buffer) const
{
    if (ReadAt(offset, buffer) != buffer.size())
        throw FileError(file_errors::kInputPastEnd, FileErrorText(file_errors::kInputPastEnd));
}

void File::WriteAt(int64_t offset, std::span<const uint8_t> bytes)
{
    if (offset < 0) throw FileError(file_errors::kBadFileName, FileErrorText(file_errors::kBadFileName));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileErrorFromErrno();
        }
        if (n == 0) throw FileError(file_errors::kDiskFull, FileErrorText(file_errors::kDiskFull));
        done += static_cast<size_t>(n);
    }
}

void File::WriteZerosAt(int64_t offset, int64_t length)
{
    constexpr int64_t kPieceBytes = int64_t{1} << 16;
    const std::vector<uint8_t> zeros(static_cast<size_t>(std::clamp<int64_t>(length, 0, kPieceBytes)), 0);
    for (int64_t done = 0; done < length;) {
        const int64_t n = std::min(length - done, kPieceBytes);
        WriteAt(offset + done, std::span(zeros).first(static_cast<size_t>(n)));
        done += n;
    }
}

void File::MoveTail(int64_t from, int64_t shift)
{
    constexpr int64_t kBlockBytes = int64_t{1} << 20;
    const int64_t length = Size();
    std::vector<uint8_t> block(shift == 0 ? 0 : static_cast<size_t>(std::clamp<int64_t>(length - from, 0, kBlockBytes)));
    const auto moveBlock = [&](int64_t start, int64_t end) {
        const std::span<uint8_t> bytes(block.data(), static_cast<size_t>(end - start));
        ReadExactAt(start, bytes);
        WriteAt(start + shift, bytes);
    };
    if (shift > 0) {
        // From the end backwards, so nothing is overwritten before it has moved.
        for (int64_t end = length; end > from; end = std::max(from, end - kBlockBytes))
            moveBlock(std::max(from, end - kBlockBytes), end);
    } else if (shift < 0) {
        for (int64_t start = from; start < length; start += kBlockBytes)
            moveBlock(start, std::min(length, start + kBlockBytes));
        Truncate(length + shift);
    }
}

void File::Truncate(int64_t length)
{
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) ThrowFileErrorFromErrno();
}

void File::Sync()
{
    if (::fsync(fd_) != 0) ThrowFileErrorFromErrno();
}

void File::Close()
{
    if (fd_ >= 0) {
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR) ThrowFileErrorFromErrno();
    }
}

}  // namespace varnook
