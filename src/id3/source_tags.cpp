#include "id3/source_tags.h"

#include <array>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include "id3/id3_reader.h"
#include "id3/riff_tag_chunks.h"

namespace varnook {
namespace {

struct PropertyField {
    const char* key;
    std::string Id3TagSet::*field;
};

// TagLib's names for the seven fields in every format's tag. Vorbis comments keep the comment
// under COMMENT or DESCRIPTION; the first found wins.
constexpr std::array<PropertyField, 8> kPropertyFields{{
    {"TITLE", &Id3TagSet::Title},
    {"ARTIST", &Id3TagSet::Artist},
    {"ALBUM", &Id3TagSet::Album},
    {"DATE", &Id3TagSet::Year},
    {"COMMENT", &Id3TagSet::Comment},
    {"DESCRIPTION", &Id3TagSet::Comment},
    {"GENRE", &Id3TagSet::Genre},
    {"TRACKNUMBER", &Id3TagSet::Track},
}};

Id3TagSet TagLibTagSet(const std::string& path)
{
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull()) return {};
    const TagLib::PropertyMap properties = ref.file()->properties();
    Id3TagSet set;
    for (const PropertyField& field : kPropertyFields) {
        const auto found = properties.find(field.key);
        if (found == properties.end() || !(set.*field.field).empty()) continue;
        set.*field.field = found->second.toString("/").to8Bit(true);
    }
    return set;
}

}  // namespace

TagReader TagReaderOf(const std::string& path)
{
    const Format* format = FormatOf(path);
    return format != nullptr ? format->Tags : TagReader::TagLib;
}

SourceTagSets ReadSourceTagSets(const std::string& path)
{
    switch (TagReaderOf(path)) {
    case TagReader::Id3: return {GetId3v1(path), GetId3v2(path)};
    case TagReader::Chunks: {
        const RiffTagChunks chunks = ReadRiffTagChunks(path);
        return {chunks.Info, Id3v2FromBytes(chunks.Id3)};
    }
    case TagReader::TagLib: break;
    }
    return {{}, TagLibTagSet(path)};
}

SourceTagSets ReadSourceTagSets(const std::string& path, Host& host)
{
    if (TagReaderOf(path) == TagReader::Id3) return {GetId3v1(path, host), GetId3v2(path, host)};
    return ReadSourceTagSets(path);
}

}  // namespace varnook
