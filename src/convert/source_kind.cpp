#include "convert/convert.h"

#include <array>
#include <string_view>

#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "io/text.h"

namespace varnook {
namespace {

constexpr std::array<std::string_view, 7> kConvertedExts{".flac", ".ogg", ".oga", ".opus",
                                                         ".aif", ".aiff", ".aifc"};
constexpr int64_t kFirstChunkAt = 12;
constexpr int64_t kFmtBodyAt = 20;
constexpr int64_t kChunkHeaderBytes = 8;
constexpr int16_t kPcmFormatTag = 1;
constexpr int16_t kPlainBits = 16;
// Streaming recorders leave the data size at its largest value, meaning "up to the end".
constexpr uint32_t kOpenEndedSize = 0xFFFFFFFF;
// A header with more chunks than this before its samples is left to the header check.
constexpr int kMaxChunks = 4096;

bool IsId(const std::array<uint8_t, 4>& bytes, std::string_view id)
{
    return std::equal(id.begin(), id.end(), bytes.begin());
}

template <size_t N>
std::array<uint8_t, N> ReadField(const File& file, int64_t offset)
{
    std::array<uint8_t, N> bytes{};
    file.ReadAt(offset, bytes);
    return bytes;
}

// True when the header is one that today's check takes; false for the layouts it refuses but
// libsndfile reads. Anything in doubt is left to the header check, which says what is wrong.
bool HasPlainHeader(const std::string& path)
{
    const File file(path, File::Mode::Read);
    const auto riff = ReadField<4>(file, 0);
    if (IsId(riff, "RF64")) return false;
    if (!IsId(riff, "RIFF") || !IsId(ReadField<4>(file, 8), "WAVE")) return true;
    if (!IsId(ReadField<4>(file, kFirstChunkAt), "fmt ")) return false;
    const auto fmt = ReadField<16>(file, kFmtBodyAt);
    if (LoadLE16(fmt.data()) != kPcmFormatTag || LoadLE16(fmt.data() + 14) != kPlainBits) return false;

    const int64_t length = file.Size();
    int64_t scan = kFmtBodyAt + LoadLE32(ReadField<4>(file, 16).data());
    for (int chunk = 0; chunk < kMaxChunks && scan >= 0 && length - scan >= kChunkHeaderBytes; ++chunk) {
        const auto header = ReadField<kChunkHeaderBytes>(file, scan);
        const auto size = static_cast<uint32_t>(LoadLE32(header.data() + 4));
        if (std::equal(header.begin(), header.begin() + 4, "data")) return size != kOpenEndedSize;
        scan += kChunkHeaderBytes + size;
    }
    return true;
}

}  // namespace

SourceKind ClassifySource(const std::string& path, const std::string& ext)
{
    if (EqualsNoCase(ext, ".mp3")) return SourceKind::Mp3;
    if (EqualsNoCase(ext, ".wav")) {
        try {
            if (HasPlainHeader(path)) return SourceKind::PlainWav;
        } catch (const FileError&) {
            return SourceKind::PlainWav;  // the header check reports it
        }
        // What libsndfile cannot read either goes to the header check, which says what is wrong.
        const ConvertResult probe = ProbeSource(path);
        return probe.Ok || !probe.Reason.empty() ? SourceKind::Convert : SourceKind::PlainWav;
    }
    for (const std::string_view known : kConvertedExts)
        if (EqualsNoCase(ext, known)) return SourceKind::Convert;
    return SourceKind::Unknown;
}

}  // namespace varnook
