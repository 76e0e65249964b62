#include "convert/whole_stream.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>

#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"

namespace varnook {
namespace {

// A FLAC file opens with "fLaC" and its STREAMINFO block (type 0 in the low seven bits of the
// first block header byte), whose 36-bit total-samples field takes the low four bits of the
// byte at kTotalSamplesAt and the four bytes after it.
constexpr std::string_view kFlacMarker = "fLaC";
constexpr size_t kBlockTypeAt = 4;
constexpr uint8_t kBlockTypeMask = 0x7F;
constexpr uint8_t kStreamInfoType = 0;
constexpr size_t kTotalSamplesAt = 21;
constexpr size_t kTotalSamplesBytes = 5;
constexpr uint8_t kTotalSamplesHighBits = 0x0F;

}  // namespace

struct WholeStream::Source {
    explicit Source(File opened) : file(std::move(opened)) {}

    File file;
    int64_t position = 0;
    bool hidesTotal = false;
    uint64_t total = 0;
    std::string readError;

    // What libsndfile reads: the file, with the total-samples field as 0 where it is hidden.
    sf_count_t Read(void* into, sf_count_t count)
    {
        const std::span bytes(static_cast<uint8_t*>(into), static_cast<size_t>(std::max<sf_count_t>(count, 0)));
        size_t read = 0;
        try {
            read = file.ReadAt(position, bytes);
        } catch (const FileError& error) {
            readError = error.LogText();
            return 0;
        }
        if (hidesTotal) {
            const int64_t end = position + static_cast<int64_t>(read);
            for (int64_t at = std::max<int64_t>(position, kTotalSamplesAt);
                 at < std::min<int64_t>(end, kTotalSamplesAt + kTotalSamplesBytes); ++at) {
                uint8_t& byte = bytes[static_cast<size_t>(at - position)];
                byte = at == kTotalSamplesAt ? static_cast<uint8_t>(byte & ~kTotalSamplesHighBits) : 0;
            }
        }
        position += static_cast<int64_t>(read);
        return static_cast<sf_count_t>(read);
    }

    sf_count_t Length()
    {
        try {
            return file.Size();
        } catch (const FileError& error) {
            readError = error.LogText();
            return 0;
        }
    }

    sf_count_t Seek(sf_count_t offset, int whence)
    {
        if (whence == SEEK_CUR) offset += position;
        if (whence == SEEK_END) offset += Length();
        position = std::max<sf_count_t>(offset, 0);
        return position;
    }
};

namespace {

WholeStream::Source& SourceOf(void* data)
{
    return *static_cast<WholeStream::Source*>(data);
}

SF_VIRTUAL_IO kReadOnly{
    [](void* data) { return SourceOf(data).Length(); },
    [](sf_count_t offset, int whence, void* data) { return SourceOf(data).Seek(offset, whence); },
    [](void* into, sf_count_t count, void* data) { return SourceOf(data).Read(into, count); },
    [](const void*, sf_count_t, void*) -> sf_count_t { return 0; },
    [](void* data) -> sf_count_t { return SourceOf(data).position; },
};

}  // namespace

WholeStream::WholeStream(const std::string& path)
{
    try {
        source_ = std::make_unique<Source>(File(path, File::Mode::Read));
        std::array<uint8_t, kTotalSamplesAt + kTotalSamplesBytes> head{};
        if (source_->file.ReadAt(0, head) == head.size() &&
            std::equal(kFlacMarker.begin(), kFlacMarker.end(), head.begin()) &&
            (head[kBlockTypeAt] & kBlockTypeMask) == kStreamInfoType) {
            source_->hidesTotal = true;
            source_->total = static_cast<uint64_t>(head[kTotalSamplesAt] & kTotalSamplesHighBits) << 32 |
                             LoadBE32(head.data() + kTotalSamplesAt + 1);
        }
    } catch (const FileError&) {
        source_.reset();
        return;
    }
    sndFile_ = sf_open_virtual(&kReadOnly, SFM_READ, &info_, source_.get());
}

WholeStream::~WholeStream()
{
    if (sndFile_ != nullptr) sf_close(sndFile_);
}

std::optional<int64_t> WholeStream::HeaderFrames() const
{
    if (!sndFile_) return std::nullopt;
    if (source_->hidesTotal) {
        if (source_->total == 0) return std::nullopt;
        return static_cast<int64_t>(source_->total);
    }
    if (info_.frames <= 0 || info_.frames == SF_COUNT_MAX) return std::nullopt;
    return info_.frames;
}

const std::string& WholeStream::ReadError() const
{
    static const std::string kNone;
    return source_ ? source_->readError : kNone;
}

}  // namespace varnook
