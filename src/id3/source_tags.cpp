#include "id3/source_tags.h"

#include <array>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include "id3/id3_reader.h"
#include "id3/riff_tag_chunks.h"
#include "id3/tag_mapping.h"

namespace varnook {
namespace {


Id3TagSet TagLibTagSet(const std::string& path)
{
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull()) return {};
    return FieldsOfComments(ref.file()->properties());
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
