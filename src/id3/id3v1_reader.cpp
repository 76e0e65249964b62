#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "id3/genres.h"
#include "id3/id3_reader.h"
#include "id3/tag_text.h"
#include "io/errors.h"
#include "io/file.h"

namespace varnook {

namespace {

constexpr size_t kTagSize = 128;
constexpr std::array<uint8_t, 3> kMarker = {'T', 'A', 'G'};

// Positions inside the 128 bytes.
constexpr size_t kTitleAt = 3;
constexpr size_t kArtistAt = 33;
constexpr size_t kAlbumAt = 63;
constexpr size_t kYearAt = 93;
constexpr size_t kCommentAt = 97;
constexpr size_t kGenreAt = 127;
constexpr size_t kTextSize = 30;
constexpr size_t kYearSize = 4;
// The 1.1 form gives up the comment's last two bytes: a zero, then the track number.
constexpr size_t kTrackMarkAt = kCommentAt + 28;
constexpr size_t kTrackAt = kCommentAt + 29;

// A field runs up to its first zero byte; writers pad with zeros or with blanks, so both go.
std::string FieldText(std::span<const uint8_t> tag, size_t at, size_t size)
{
    std::span<const uint8_t> field = tag.subspan(at, size);
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == 0) {
            field = field.first(i);
            break;
        }
    }
    return Latin1ToUtf8(TrimBlanks(field));
}

Id3TagSet ParseTag(std::span<const uint8_t, kTagSize> tag)
{
    Id3TagSet set;
    set.Title = FieldText(tag, kTitleAt, kTextSize);
    set.Artist = FieldText(tag, kArtistAt, kTextSize);
    set.Album = FieldText(tag, kAlbumAt, kTextSize);
    set.Year = FieldText(tag, kYearAt, kYearSize);
    set.Comment = FieldText(tag, kCommentAt, kTextSize);
    if (tag[kTrackMarkAt] == 0 && tag[kTrackAt] != 0) set.Track = std::to_string(tag[kTrackAt]);
    // 255 is the customary "no genre"; every index past the table names nothing.
    if (tag[kGenreAt] < Genres.size()) set.Genre = std::string(Genres[tag[kGenreAt]]);
    return set;
}

}  // namespace

Id3TagSet GetId3v1(const std::string& path)
{
    std::array<uint8_t, kTagSize> tag{};
    try {
        const File file(path, File::Mode::Read);
        const int64_t length = file.Size();
        if (length < static_cast<int64_t>(kTagSize)) return {};
        file.ReadExactAt(length - static_cast<int64_t>(kTagSize), tag);
    } catch (const FileError&) {
        return {};
    }
    if (!std::equal(kMarker.begin(), kMarker.end(), tag.begin())) return {};
    return ParseTag(tag);
}

Id3TagSet GetId3v1(const std::string& path, Host& host)
{
    try {
        return GetId3v1(path);
    } catch (...) {
        ShowErrorBoxAndRethrow(host, "GetId3v1");
    }
}

}  // namespace varnook
