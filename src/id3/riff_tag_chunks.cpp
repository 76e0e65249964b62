#include "id3/riff_tag_chunks.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "id3/tag_text.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

// A real file has a dozen chunks; a chain of tiny forged chunks must not keep us walking.
constexpr int kMaxChunks = 4096;
// An INFO list holds short texts, an ID3 chunk at most a tag (cover art included).
constexpr uint32_t kMaxInfoSize = 1 << 20;
constexpr uint32_t kMaxId3Size = 1 << 28;

uint32_t ChunkSize(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? LoadBE32(p) : static_cast<uint32_t>(LoadLE32(p));
}

// INFO texts end at their first zero byte; writers of today store UTF-8, older ones Latin-1.
std::string InfoText(std::span<const uint8_t> value)
{
    std::string text = DecodeId3Text(kId3Utf8, value.first(std::min(value.size(),
        static_cast<size_t>(std::find(value.begin(), value.end(), uint8_t{0}) - value.begin()))), " ");
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') + 1 - begin);
}

// The sub-chunks of a LIST/INFO body (the "INFO" word already skipped); always little-endian
// in WAV, the only format that has them.
void ReadInfo(std::span<const uint8_t> list, Id3TagSet& info)
{
    constexpr auto kHeaderBytes = static_cast<size_t>(kChunkHeaderBytes);
    size_t at = 0;
    while (list.size() - at >= kHeaderBytes) {
        const uint32_t size = ChunkSize(list.data() + at + kChunkSizeAt, false);
        const size_t dataAt = at + kHeaderBytes;
        if (size > list.size() - dataAt) return;
        for (const InfoField& field : kInfoFields) {
            if (IdAt(list, at, field.id) && (info.*field.field).empty())
                info.*field.field = InfoText(list.subspan(dataAt, size));
        }
        // Chunks start on even offsets: an odd size is followed by a pad byte.
        at = dataAt + size + (size & 1);
        if (at > list.size()) return;
    }
}

RiffTagChunks ReadChunks(const File& file)
{
    RiffTagChunks tags;
    const int64_t length = file.Size();
    std::array<uint8_t, kRiffHeaderBytes> head{};
    if (file.ReadAt(0, head) < head.size()) return tags;
    bool bigEndian = false;
    if (IdAt(head, kRiffIdAt, kRiffId) && IdAt(head, kWaveIdAt, kWaveId)) {
        bigEndian = false;
    } else if (IdAt(head, kRiffIdAt, "FORM") &&
               (IdAt(head, kWaveIdAt, "AIFF") || IdAt(head, kWaveIdAt, "AIFC"))) {
        // AIFF lays out its header and chunks as WAV does, with big-endian numbers.
        bigEndian = true;
    } else {
        return tags;
    }
    int64_t at = kRiffHeaderBytes;
    for (int visited = 0; visited < kMaxChunks && length - at >= kChunkHeaderBytes; ++visited) {
        std::array<uint8_t, kChunkHeaderBytes> header{};
        file.ReadExactAt(at, header);
        const uint32_t size = ChunkSize(header.data() + kChunkSizeAt, bigEndian);
        const int64_t dataAt = at + kChunkHeaderBytes;
        const bool fits = int64_t{size} <= length - dataAt;
        if (fits && IdAt(header, 0, "LIST") && size >= kChunkIdBytes && size <= kMaxInfoSize) {
            std::vector<uint8_t> list(size);
            file.ReadExactAt(dataAt, list);
            if (IdAt(list, 0, "INFO")) ReadInfo(std::span<const uint8_t>(list).subspan(kChunkIdBytes), tags.Info);
        } else if (fits && (IdAt(header, 0, "id3 ") || IdAt(header, 0, "ID3 ")) && tags.Id3.empty() &&
                   size <= kMaxId3Size) {
            tags.Id3.resize(size);
            file.ReadExactAt(dataAt, tags.Id3);
        }
        if (!fits) break;
        at = dataAt + int64_t{size} + (size & 1);
    }
    return tags;
}

}  // namespace

RiffTagChunks ReadRiffTagChunks(const std::string& path)
{
    try {
        const File file(path, File::Mode::Read);
        return ReadChunks(file);
    } catch (const FileError&) {
        return {};
    }
}

}  // namespace varnook
