#include "id3/source_tags.h"

#include <array>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include "id3/id3_reader.h"
#include "id3/riff_tag_chunks.h"
#include "id3/tag_mapping.h"

namespace varnook {
namespace {

constexpr const char* kAlbumArtistComment = "ALBUMARTIST";
constexpr const char* kSeveralValues = "/";

Id3TagSet TagLibTagSet(const std::string& path, std::string* albumArtist)
{
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull()) return {};
    const TagLib::PropertyMap comments = ref.file()->properties();
    if (albumArtist != nullptr && comments.contains(kAlbumArtistComment))
        *albumArtist = comments[kAlbumArtistComment].toString(kSeveralValues).to8Bit(true);
    return FieldsOfComments(comments);
}

const std::string& Preferred(const std::string& first, const std::string& second)
{
    return first.empty() ? second : first;
}

// The tag sets of `path`, and its album artist when `albumArtist` is given.
SourceTagSets ReadSets(const std::string& path, std::string* albumArtist)
{
    switch (TagReaderOf(path)) {
    case TagReader::Id3:
        return {GetId3v1(path), GetId3v2(path, albumArtist)};
    case TagReader::Chunks: {
        const RiffTagChunks chunks = ReadRiffTagChunks(path);
        return {chunks.Info, Id3v2FromBytes(chunks.Id3, albumArtist)};
    }
    case TagReader::TagLib: break;
    }
    return {{}, TagLibTagSet(path, albumArtist)};
}

}  // namespace

TagReader TagReaderOf(const std::string& path)
{
    const Format* format = FormatOf(path);
    return format != nullptr ? format->Tags : TagReader::TagLib;
}

SourceTagSets ReadSourceTagSets(const std::string& path)
{
    return ReadSets(path, nullptr);
}

AlbumTags ReadAlbumTags(const std::string& path)
{
    std::string albumArtist;
    const SourceTagSets sets = ReadSets(path, &albumArtist);
    return {Preferred(sets.V2.Album, sets.V1.Album),
            Preferred(albumArtist, Preferred(sets.V2.Artist, sets.V1.Artist))};
}

SourceTagSets ReadSourceTagSets(const std::string& path, Host& host)
{
    if (TagReaderOf(path) == TagReader::Id3) return {GetId3v1(path, host), GetId3v2(path, host)};
    return ReadSourceTagSets(path);
}

}  // namespace varnook
