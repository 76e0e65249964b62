// A file opened for positioned reads and writes. Every failure throws FileError with the
// number that matches the system's errno, so steps handle all file trouble in one catch.
// The file is closed when the object goes: no step keeps a file open beyond its own call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace varnook {

class File {
public:
    enum class Mode {
        Read,            // existing file, read only
        ReadWrite,       // existing file, read and write, not truncated
        CreateTruncate,  // created or emptied, read and write
        CreateNew,       // created, read and write; fails when anything is at the name
    };

    File(const std::string& path, Mode mode);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    int64_t Size() const;
    // Reads up to buffer.size() bytes at offset; returns how many were read (fewer at the end).
    size_t ReadAt(int64_t offset, std::span<uint8_t> buffer) const;
    // Reads exactly buffer.size() bytes or throws "Input past end of file".
    void ReadExactAt(int64_t offset, std::span<uint8_t> buffer) const;
    // Writes all bytes at offset (a short write is retried; no space throws "Disk full").
    void WriteAt(int64_t offset, std::span<const uint8_t> bytes);
    // Writes `length` zero bytes at offset, a piece at a time, as WriteAt writes.
    void WriteZerosAt(int64_t offset, int64_t length);
    void Truncate(int64_t length);
    // Moves the bytes from `from` to the end by `shift` bytes, up or down (the file then ends
    // `shift` bytes later or earlier), in blocks of 1 MiB; what lies between from + shift and
    // from is left as it was when the bytes move up.
    void MoveTail(int64_t from, int64_t shift);
    // Flushes the data to the disk, so a rename after it never exposes a half-written file.
    void Sync();
    void Close();

    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace varnook
