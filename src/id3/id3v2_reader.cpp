#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "id3/genres.h"
#include "id3/id3_reader.h"
#include "id3/id3v2_frames.h"
#include "id3/tag_text.h"
#include "io/errors.h"
#include "io/file.h"

namespace varnook {

namespace {

constexpr size_t kHeaderSize = 10;
constexpr std::array<uint8_t, 3> kMarker = {0x49, 0x44, 0x33};  // "ID3"
constexpr size_t kMajorVersionAt = 3;
constexpr size_t kSizeAt = 6;
// A tag body is at most 2^28 - 1 bytes: the size is meant as four 7-bit digits.
constexpr int64_t kTagSizeLimit = int64_t{1} << 28;
// 2.3 and 2.4 frames: identifier 0-3, size 4-7, status flags 8, format flags 9.
constexpr size_t kFormatFlagsOffset = 9;
constexpr char kBlank = ' ';
constexpr size_t kLanguageSize = 3;

// The size digits are taken whole rather than masked to 7 bits. A well-formed header never sets
// their top bits, so only malformed headers read differently, and their claims mostly exceed the
// file and are refused.
int64_t TagSize(std::span<const uint8_t, kHeaderSize> header)
{
    return int64_t{header[kSizeAt]} * (1 << 21) + int64_t{header[kSizeAt + 1]} * (1 << 14) +
           int64_t{header[kSizeAt + 2]} * (1 << 7) + int64_t{header[kSizeAt + 3]};
}

struct TagBody {
    Id3v2Layout layout;
    std::vector<uint8_t> bytes;
};

// The version 2 tag's layout when `header` starts one we can read whose body fits in `length`
// bytes of file (the header's own ten included, as the size check has always counted them).
std::optional<Id3v2Layout> CheckHeader(std::span<const uint8_t, kHeaderSize> header, int64_t length,
                                       int64_t& size)
{
    if (!std::equal(kMarker.begin(), kMarker.end(), header.begin())) return std::nullopt;
    size = TagSize(header);
    if (size >= kTagSizeLimit || size > length) return std::nullopt;
    return Id3v2LayoutFor(header[kMajorVersionAt]);
}

// The tag body, or nothing when there is no tag we can read. The size is checked before the body
// is allocated, so a forged header in a small file costs nothing.
std::optional<TagBody> ReadTagBody(const std::string& path)
{
    const File file(path, File::Mode::Read);
    std::array<uint8_t, kHeaderSize> header{};
    if (file.ReadAt(0, header) < kHeaderSize) return std::nullopt;
    int64_t size = 0;
    const std::optional<Id3v2Layout> layout = CheckHeader(header, file.Size(), size);
    if (!layout) return std::nullopt;
    TagBody body{*layout, std::vector<uint8_t>(static_cast<size_t>(size))};
    // A size within the file's length may still run past its end; what is there is the body.
    body.bytes.resize(file.ReadAt(static_cast<int64_t>(kHeaderSize), body.bytes));
    return body;
}

// "(17)Rock" names its genre twice; the text after the reference is the name. A bare "(17)", as
// taggers write a genre from the list, is that list's name, as in a version 1 tag; any other bare
// reference ("(RX)", "(200)") gives nothing.
std::string GenreText(std::string text)
{
    if (text.empty() || text.front() != '(') return text;
    const size_t close = text.find(')', 1);
    if (close == std::string::npos) return text;
    const size_t begin = text.find_first_not_of(' ', close + 1);
    if (begin != std::string::npos) return text.substr(begin, text.find_last_not_of(' ') + 1 - begin);
    size_t index = 0;
    const auto [end, error] = std::from_chars(text.data() + 1, text.data() + close, index);
    if (error != std::errc{} || end != text.data() + close || index >= Genres.size()) return {};
    return std::string(Genres[index]);
}

// A comment frame holds a language code and a short description before the text. In one-byte
// encodings the description ends at the first zero byte (searched from the language code on,
// so a frame without one keeps all its bytes); in UTF-16 it ends at the first zero character
// after the language code.
std::string CommentText(RawFrame raw, const Id3v2Layout& layout)
{
    const std::span<const uint8_t> bytes = raw.Text;
    if (raw.Encoding == kId3Utf16 || raw.Encoding == kId3Utf16Be) {
        if (bytes.size() < kLanguageSize) return {};
        size_t at = kLanguageSize;
        while (at + 1 < bytes.size() && (bytes[at] != 0 || bytes[at + 1] != 0)) at += 2;
        raw.Text = bytes.subspan(std::min(at + 2, bytes.size()));
    } else {
        const auto zero = std::find(bytes.begin(), bytes.end(), uint8_t{0});
        if (zero != bytes.end()) raw.Text = bytes.subspan(static_cast<size_t>(zero - bytes.begin()) + 1);
    }
    return CleanFrameText(raw, layout);
}

std::string WithoutEndBlanks(std::string text)
{
    const size_t begin = text.find_first_not_of(kBlank);
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(kBlank) + 1 - begin);
}

}  // namespace

std::optional<Id3v2Layout> Id3v2LayoutFor(uint8_t majorVersion)
{
    switch (majorVersion) {
    case 2:
        return Id3v2Layout{2, 5, 7, false, "TT2", "TP1", "TAL", "TYE", "TCO", "COM", "TRK", "TP2"};
    case 3:
        return Id3v2Layout{3, 7, 11, true, "TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM", "TRCK", "TPE2"};
    case 4:
        return Id3v2Layout{4, 7, 11, true, "TIT2", "TPE1", "TALB", "TDRC", "TCON", "COMM", "TRCK", "TPE2"};
    default:
        return std::nullopt;
    }
}

RawFrame FindTextFrame(std::span<const uint8_t> body, std::string_view id,
                       const Id3v2Layout& layout)
{
    if (id.empty()) return {};
    const auto found = std::search(body.begin(), body.end(), id.begin(), id.end(),
                                   [](uint8_t byte, char c) { return byte == static_cast<uint8_t>(c); });
    if (found == body.end()) return {};
    const std::span<const uint8_t> frame = body.subspan(static_cast<size_t>(found - body.begin()));
    if (frame.size() <= layout.SizeByteOffset) return {};
    // The size counts the encoding byte.
    const int length = int{frame[layout.SizeByteOffset]} - 1;
    if (length < 1) return {};
    if (layout.HasFrameFlags) {
        if (frame.size() <= kFormatFlagsOffset || frame[kFormatFlagsOffset] != 0) return {};
    }
    if (frame.size() <= layout.TextOffset) return {};
    return {frame[layout.TextOffset - 1],
            frame.subspan(layout.TextOffset,
                          std::min(static_cast<size_t>(length), frame.size() - layout.TextOffset))};
}

std::string CleanFrameText(const RawFrame& raw, const Id3v2Layout& layout)
{
    return WithoutEndBlanks(DecodeId3Text(raw.Encoding, raw.Text, layout.MajorVersion >= 4 ? "/" : " "));
}

std::string FrameText(std::span<const uint8_t> body, std::string_view id, const Id3v2Layout& layout)
{
    return CleanFrameText(FindTextFrame(body, id, layout), layout);
}

namespace {

// The seven fields of a tag body, and its album artist when `albumArtist` is given.
Id3TagSet TagSetFromBody(std::span<const uint8_t> body, const Id3v2Layout& layout, std::string* albumArtist)
{
    if (albumArtist != nullptr) albumArtist->clear();
    if (body.empty()) return {};
    if (albumArtist != nullptr) *albumArtist = FrameText(body, layout.AlbumArtist, layout);
    Id3TagSet set;
    set.Title = FrameText(body, layout.Title, layout);
    set.Artist = FrameText(body, layout.Artist, layout);
    set.Album = FrameText(body, layout.Album, layout);
    set.Year = FrameText(body, layout.Year, layout);
    set.Track = FrameText(body, layout.Track, layout);
    set.Genre = GenreText(FrameText(body, layout.Genre, layout));
    set.Comment = CommentText(FindTextFrame(body, layout.Comment, layout), layout);
    return set;
}

}  // namespace

Id3TagSet GetId3v2(const std::string& path, std::string* albumArtist)
{
    std::optional<TagBody> tag;
    try {
        tag = ReadTagBody(path);
    } catch (const FileError&) {
    }
    return tag ? TagSetFromBody(tag->bytes, tag->layout, albumArtist) : TagSetFromBody({}, {}, albumArtist);
}

Id3TagSet Id3v2FromBytes(std::span<const uint8_t> tag, std::string* albumArtist)
{
    int64_t size = 0;
    const std::optional<Id3v2Layout> layout =
        tag.size() < kHeaderSize ? std::nullopt
                                 : CheckHeader(tag.first<kHeaderSize>(), static_cast<int64_t>(tag.size()), size);
    if (!layout) return TagSetFromBody({}, {}, albumArtist);
    const std::span<const uint8_t> body = tag.subspan(kHeaderSize);
    return TagSetFromBody(body.first(std::min(body.size(), static_cast<size_t>(size))), *layout, albumArtist);
}

Id3TagSet GetId3v2(const std::string& path, Host& host)
{
    try {
        return GetId3v2(path);
    } catch (...) {
        ShowErrorBoxAndRethrow(host, "GetId3v2");
    }
}

}  // namespace varnook
