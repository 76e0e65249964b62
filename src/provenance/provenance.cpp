#include "provenance/provenance.h"

#include <sys/stat.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "base/run_request.h"
#include "base/run_settings.h"
#include "id3/id3v2_header.h"
#include "id3/output_tags.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "settings/key_table.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

// A provenance text is a few dozen bytes; anything much longer is not ours.
constexpr uint32_t kMaxTextSize = 1024;
// Enough chunks for any WAV we write (fmt, data, our own, a trailer or two) and a bound for
// a malformed chain.
constexpr int kMaxChunks = 64;
// Our frame follows at most the seven carried-over text frames and lame's own; a tag body is
// read no further than this.
constexpr uint32_t kMaxTagRead = 1 << 16;
constexpr size_t kFrameHeaderSize = 10;
// Between an album's part of the provenance and its gain.
constexpr std::string_view kGainWord = " gain ";

constexpr uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr uint64_t kFnvPrime = 1099511628211ULL;

class Fnv1a {
public:
    void Add(std::string_view text)
    {
        for (const char c : text) {
            hash_ ^= static_cast<uint8_t>(c);
            hash_ *= kFnvPrime;
        }
        // A separator after every field, so "ab","c" and "a","bc" differ.
        hash_ ^= 0xFF;
        hash_ *= kFnvPrime;
    }
    uint64_t Value() const { return hash_; }

private:
    uint64_t hash_ = kFnvOffset;
};

std::string Hex16(uint64_t value)
{
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::optional<struct stat> Stat(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return st;
}

// Reads a text of TXXX's encoding as plain characters: ours is ASCII, so each UTF-16 unit
// above 127 only has to make the text differ. Stops at the terminator; `pos` moves past it.
std::string DecodeTerminated(std::span<const uint8_t> bytes, size_t& pos, uint8_t encoding)
{
    std::string text;
    const bool wide = encoding == 1 || encoding == 2;
    bool littleEndian = encoding == 1;
    if (wide && bytes.size() - pos >= 2) {
        if (bytes[pos] == 0xFF && bytes[pos + 1] == 0xFE) pos += 2;
        else if (bytes[pos] == 0xFE && bytes[pos + 1] == 0xFF) { littleEndian = false; pos += 2; }
    }
    while (pos < bytes.size()) {
        unsigned unit = bytes[pos];
        if (wide) {
            if (bytes.size() - pos < 2) break;
            unit = littleEndian ? (bytes[pos] | bytes[pos + 1] << 8) : (bytes[pos] << 8 | bytes[pos + 1]);
            pos += 2;
        } else {
            ++pos;
        }
        if (unit == 0) break;
        text += unit < 128 ? static_cast<char>(unit) : '?';
    }
    return text;
}

// Our TXXX frame's value in an ID3v2.3 or 2.4 tag body, frame by frame.
std::optional<std::string> FrameValue(std::span<const uint8_t> body, uint8_t major)
{
    size_t pos = 0;
    while (body.size() - pos >= kFrameHeaderSize && body[pos] != 0) {
        const uint8_t* h = body.data() + pos;
        uint32_t size = LoadBE32(h + 4);
        // 2.4 sizes are synchsafe: seven bits a byte.
        if (major == 4) size = Synchsafe32(h + 4);
        pos += kFrameHeaderSize;
        if (size > body.size() - pos) return std::nullopt;
        if (std::string_view(reinterpret_cast<const char*>(h), 4) == "TXXX" && size > 1) {
            const std::span<const uint8_t> frame = body.subspan(pos, size);
            size_t at = 1;
            const std::string description = DecodeTerminated(frame, at, frame[0]);
            if (description == kProvenanceFrameDescription) return DecodeTerminated(frame, at, frame[0]);
        }
        pos += size;
    }
    return std::nullopt;
}

std::optional<std::string> TagProvenance(const File& file)
{
    std::array<uint8_t, kId3v2HeaderSize> header{};
    if (file.ReadAt(0, header) != header.size() || !IsId3v2Header(header)) return std::nullopt;
    const uint8_t major = header[kId3v2MajorVersionAt];
    if (major != 3 && major != 4) return std::nullopt;
    const uint32_t size = Synchsafe32(header.data() + kId3v2SizeAt);
    std::vector<uint8_t> body(std::min(size, kMaxTagRead));
    body.resize(file.ReadAt(kId3v2HeaderSize, body));
    return FrameValue(body, major);
}

// Where a provenance chunk starts (its header) and its body's size.
struct ChunkSpan {
    int64_t At;
    uint32_t Size;
};

// The first provenance chunk after the WAV header, within the file and of a provenance's size.
std::optional<ChunkSpan> FindProvenanceChunk(const File& file)
{
    std::array<uint8_t, kRiffHeaderBytes> riff{};
    if (file.ReadAt(0, riff) != riff.size() || !IdAt(riff, kRiffIdAt, kRiffId)) return std::nullopt;
    const int64_t fileSize = file.Size();
    int64_t pos = kRiffHeaderBytes;
    for (int i = 0; i < kMaxChunks && fileSize - pos >= kChunkHeaderBytes; ++i) {
        std::array<uint8_t, kChunkHeaderBytes> h{};
        file.ReadExactAt(pos, h);
        const auto size = static_cast<uint32_t>(LoadLE32(h.data() + kChunkSizeAt));
        if (IdAt(h, 0, kProvenanceId)) {
            if (size > kMaxTextSize || fileSize - pos - kChunkHeaderBytes < size) return std::nullopt;
            return ChunkSpan{pos, size};
        }
        pos += kChunkHeaderBytes + size + (size & 1);
    }
    return std::nullopt;
}

// The provenance `outputPath` carries when it exists and is newer than `sourcePath`.
std::optional<std::string> ProvenanceOfNewer(const std::string& outputPath, const std::string& sourcePath)
{
    const std::optional<struct stat> output = Stat(outputPath);
    const std::optional<struct stat> source = Stat(sourcePath);
    if (!output || !source) return std::nullopt;
    const auto newer = [](const timespec& a, const timespec& b) {
        return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
    };
    if (!newer(output->st_mtim, source->st_mtim)) return std::nullopt;
    return ReadProvenance(outputPath);
}

std::optional<std::string> ChunkProvenance(const File& file)
{
    const std::optional<ChunkSpan> chunk = FindProvenanceChunk(file);
    if (!chunk) return std::nullopt;
    std::string text(chunk->Size, '\0');
    file.ReadExactAt(chunk->At + kChunkHeaderBytes, std::span(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    return text;
}

// Takes the chunk out of the file, moving what follows it down; returns the file's new size.
int64_t RemoveChunk(File& file, const ChunkSpan& chunk)
{
    const int64_t size = file.Size();
    const int64_t length = std::min(kChunkHeaderBytes + chunk.Size + (chunk.Size & 1), size - chunk.At);
    file.MoveTail(chunk.At + length, -length);
    return size - length;
}

}  // namespace

std::string SettingsHash(const RunSettings& settings)
{
    // FieldText needs fields it may point into; no row that shapes an output is a request's.
    RunSettings values = settings;
    RunRequest request;
    Fnv1a hash;
    for (const KeyRow& row : KeyTable()) {
        if (!row.ShapesOutput) continue;
        // The value as the settings file holds it, "." for the separator whatever the locale.
        hash.Add(row.SettingsKey);
        hash.Add(std::string_view(FieldText(row, '.', values, request)));
    }
    return Hex16(hash.Value());
}

std::string ProvenanceText(const RunSettings& settings, const std::string& sourcePath)
{
    const std::optional<struct stat> st = Stat(sourcePath);
    if (!st) return {};
    return "varnook " VARNOOK_VERSION " settings " + SettingsHash(settings) + " size " +
           std::to_string(st->st_size) + " mtime " + std::to_string(st->st_mtim.tv_sec) + "." +
           std::to_string(st->st_mtim.tv_nsec);
}

std::vector<std::string> ProvenanceLameOptions(const std::string& text)
{
    return {"--tv", "TXXX=" + std::string(kProvenanceFrameDescription) + "=" + text};
}

void MarkWavProvenance(const std::string& path, const std::string& text)
{
    File file(path, File::Mode::ReadWrite);
    int64_t end = file.Size();
    bool changed = false;
    for (int i = 0; i < kMaxChunks; ++i) {
        const std::optional<ChunkSpan> stale = FindProvenanceChunk(file);
        if (!stale) break;
        end = RemoveChunk(file, *stale);
        changed = true;
    }
    if (!text.empty()) {
        // Chunks start on even offsets; a data chunk of odd size may lack its pad byte.
        std::vector<uint8_t> bytes(static_cast<size_t>(end % 2));
        for (const char c : kProvenanceId) bytes.push_back(static_cast<uint8_t>(c));
        bytes.resize(bytes.size() + kChunkSizeBytes);
        StoreLE32(bytes.data() + bytes.size() - kChunkSizeBytes, static_cast<int32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        if (text.size() % 2 != 0) bytes.push_back(0);
        file.WriteAt(end, bytes);
        end += static_cast<int64_t>(bytes.size());
        changed = true;
    }
    if (changed) {
        std::array<uint8_t, kChunkSizeBytes> riffSize{};
        StoreLE32(riffSize.data(), static_cast<int32_t>(static_cast<uint32_t>(end - kChunkHeaderBytes)));
        file.WriteAt(kRiffSizeAt, riffSize);
    }
    file.Close();
}

std::optional<std::string> ReadProvenance(const std::string& path)
{
    try {
        const File file(path, File::Mode::Read);
        if (std::optional<std::string> tag = TagProvenance(file)) return tag;
        if (std::optional<std::string> chunk = ChunkProvenance(file)) return chunk;
    } catch (const FileError&) {
        return std::nullopt;
    }
    return ReadProvenanceComment(path);
}

bool UpToDate(const std::string& outputPath, const std::string& sourcePath, const std::string& expected)
{
    return !expected.empty() && ProvenanceOfNewer(outputPath, sourcePath) == expected;
}

std::string AlbumProvenanceText(const std::vector<std::string>& memberPaths)
{
    Fnv1a hash;
    for (const std::string& path : memberPaths) {
        const std::optional<struct stat> st = Stat(path);
        if (!st) return {};
        hash.Add(std::string_view(path).substr(path.find_last_of('/') + 1));
        hash.Add(std::string_view(std::to_string(st->st_size)));
        hash.Add(std::string_view(std::to_string(st->st_mtim.tv_sec) + "." + std::to_string(st->st_mtim.tv_nsec)));
    }
    return " album " + Hex16(hash.Value());
}

std::string AlbumGainText(double gain)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, gain);
    return std::string(kGainWord) + std::string(buffer, result.ptr);
}

std::optional<double> UpToDateAlbumGain(const std::string& outputPath, const std::string& sourcePath,
                                        const std::string& expected)
{
    const std::optional<std::string> carried = ProvenanceOfNewer(outputPath, sourcePath);
    const std::string prefix = expected + std::string(kGainWord);
    if (expected.empty() || !carried || !carried->starts_with(prefix)) return std::nullopt;
    double gain = 0;
    const char* end = carried->data() + carried->size();
    const auto [at, error] = std::from_chars(carried->data() + prefix.size(), end, gain);
    if (error != std::errc{} || at != end) return std::nullopt;
    return gain;
}

}  // namespace varnook
