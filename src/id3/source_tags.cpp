#include "id3/source_tags.h"

#include <array>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include "id3/id3_reader.h"
#include "id3/riff_tag_chunks.h"
#include "id3/tag_mapping.h"
#include "io/text.h"

namespace varnook {
namespace {

constexpr std::array<const char*, 4> kRiffExtensions{".wav", ".aif", ".aiff", ".aifc"};

Id3TagSet TagLibTagSet(const std::string& path)
{
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull()) return {};
    return FieldsOfComments(ref.file()->properties());
}

}  // namespace

TagSource TagSourceOf(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return TagSource::OtherFormat;
    const std::string_view ext = std::string_view(path).substr(dot);
    if (EqualsNoCase(ext, ".mp3")) return TagSource::Mp3;
    for (const char* riff : kRiffExtensions) {
        if (EqualsNoCase(ext, riff)) return TagSource::RiffChunks;
    }
    return TagSource::OtherFormat;
}

SourceTagSets ReadSourceTagSets(const std::string& path)
{
    switch (TagSourceOf(path)) {
    case TagSource::Mp3: return {GetId3v1(path), GetId3v2(path)};
    case TagSource::RiffChunks: {
        const RiffTagChunks chunks = ReadRiffTagChunks(path);
        return {chunks.Info, Id3v2FromBytes(chunks.Id3)};
    }
    case TagSource::OtherFormat: break;
    }
    return {{}, TagLibTagSet(path)};
}

SourceTagSets ReadSourceTagSets(const std::string& path, Host& host)
{
    if (TagSourceOf(path) == TagSource::Mp3) return {GetId3v1(path, host), GetId3v2(path, host)};
    return ReadSourceTagSets(path);
}

}  // namespace varnook
